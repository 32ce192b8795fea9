// Heap texts of the branding tool.

#include "text/brand_text.h"

#include <cstring>
#include <string_view>

#include "julib/cstring.h"
#include "julib/object.h"
#include "julib/strings.h"
#include "platform/checked_size.h"
#include "platform/utf16.h"

namespace brandtext {

namespace {

namespace utf16 = platform::utf16;

// A block of `count` items of T, or null with out of memory recorded.
template <typename T>
T* allocateItems(size_t count) {
  size_t bytes = 0;
  if (!platform::multiplySizes(&bytes, count, sizeof(T))) {
    juReportOutOfMemory();
    return nullptr;
  }
  return static_cast<T*>(juMallocChecked(bytes));
}

}  // namespace

char* copy(const char* text, size_t n) {
  if (text == nullptr) return nullptr;
  return juStrNDup(text, n);
}

char* copy(const char* text) { return text == nullptr ? nullptr : copy(text, std::strlen(text)); }

char16_t* copy(const char16_t* text) {
  if (text == nullptr) return nullptr;
  const size_t units = utf16::unitLength(text);
  size_t count = 0;
  char16_t* out = platform::addSizes(&count, units, 1) ? allocateItems<char16_t>(count) : nullptr;
  if (out != nullptr) std::memcpy(out, text, (units + 1) * sizeof(char16_t));
  return out;
}

char16_t* widenUtf8(const char* text) {
  if (text == nullptr) return nullptr;
  const std::string_view bytes(text);
  size_t count = 0;
  char16_t* out = platform::addSizes(&count, bytes.size(), 1) ? allocateItems<char16_t>(count) : nullptr;
  if (out != nullptr) out[utf16::utf8ToUtf16(bytes, out)] = 0;
  return out;
}

char* toUtf8(const char16_t* text, size_t units) {
  if (text == nullptr) return nullptr;
  size_t count = 0;
  if (!platform::multiplySizes(&count, units, 3) || !platform::addSizes(&count, count, 1)) {
    juReportOutOfMemory();
    return nullptr;
  }
  char* out = allocateItems<char>(count);
  if (out != nullptr) out[utf16::utf16ToUtf8(std::u16string_view(text, units), out)] = 0;
  return out;
}

void lowerUtf8(char* text) {
  if (text == nullptr) return;
  const std::string_view bytes(text);
  for (size_t i = 0; i < bytes.size();) {
    const utf16::Utf8Char c = utf16::decodeUtf8(bytes, i);
    if (c.codePoint != utf16::kReplacementChar) {
      char lower[4];
      if (utf16::encodeUtf8(juCharToLower(c.codePoint), lower) == c.bytes) std::memcpy(text + i, lower, c.bytes);
    }
    i += c.bytes;
  }
}

char* join(const char* const* parts, size_t count) {
  size_t total = 1;
  for (size_t i = 0; i < count; ++i) {
    if (!platform::addSizes(&total, total, std::strlen(orEmpty(parts[i])))) {
      juReportOutOfMemory();
      return nullptr;
    }
  }
  char* out = allocateItems<char>(total);
  if (out == nullptr) return nullptr;
  char* end = out;
  for (size_t i = 0; i < count; ++i) {
    const size_t n = std::strlen(orEmpty(parts[i]));
    std::memcpy(end, orEmpty(parts[i]), n);
    end += n;
  }
  *end = 0;
  return out;
}

int format(JuStringW& out, const char16_t* pattern, const char* const* params, size_t count) {
  const std::u16string_view text(orEmpty(pattern));
  if (out.assign(u"") != 0) return 1;
  size_t next = 0;
  size_t from = 0;
  for (size_t at = text.find(u"%s"); at != std::u16string_view::npos && next < count; at = text.find(u"%s", from)) {
    char16_t* param = widenUtf8(orEmpty(params[next++]));
    const int failed = param == nullptr || out.append(text.data() + from, at - from) != 0 || out.append(param) != 0;
    juFree(param);
    if (failed) return 1;
    from = at + 2;
  }
  if (out.append(text.data() + from, text.size() - from) != 0) return 1;
  // Appends keep room for a terminator but do not write it.
  out.data[out.length] = 0;
  return 0;
}

}  // namespace brandtext
