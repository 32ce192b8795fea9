// Conversions of the profile layer between narrow code pages and UTF-16.

#include <climits>

#include "platform/ansi.h"
#include "profile_internal.h"

namespace julib::profile {
namespace {

static_assert(kProfileAnsi == platform::kCodePageAnsi && kProfileUtf8 == platform::kCodePageUtf8);

// The converters count in int.
bool fitsInt(size_t n) { return n <= static_cast<size_t>(INT_MAX); }

}  // namespace

bool fromCodePage(uint32_t codePage, const char* text, size_t n, Scratch<char16_t, 1024>* out, size_t* units) {
  *units = 0;
  if (n == 0) return true;
  if (!fitsInt(n)) return false;
  const int count = static_cast<int>(n);
  // A byte never becomes more than one unit.
  if (!out->reserve(n)) return false;
  const int written = platform::multiByteToWide(codePage, text, count, out->data(), count);
  if (written <= 0) return false;
  *units = static_cast<size_t>(written);
  return true;
}

bool toCodePage(uint32_t codePage, const char16_t* text, size_t n, Scratch<char, 2048>* out, size_t* bytes) {
  *bytes = 0;
  if (n == 0) return true;
  if (!fitsInt(n)) return false;
  const int count = static_cast<int>(n);
  const int needed = platform::wideToMultiByte(codePage, text, count, nullptr, 0);
  if (needed <= 0 || !out->reserve(static_cast<size_t>(needed))) return false;
  const int written = platform::wideToMultiByte(codePage, text, count, out->data(), needed);
  if (written <= 0) return false;
  *bytes = static_cast<size_t>(written);
  return true;
}

Widened::Widened(const char* text, uint32_t codePage) {
  if (text == nullptr) return;
  const size_t n = textLength(text) + 1;
  // Converted through the terminator, so the result is terminated; a byte
  // never becomes more than one unit.
  if (!fitsInt(n) || !buffer_.reserve(n) ||
      platform::multiByteToWide(codePage, text, static_cast<int>(n), buffer_.data(), static_cast<int>(n)) <= 0) {
    failed_ = true;
    return;
  }
  text_ = buffer_.data();
}

Narrowed::Narrowed(const char16_t* text, bool exact, uint32_t codePage) {
  if (text == nullptr) return;
  const size_t n = textLength(text) + 1;
  if (!fitsInt(n)) {
    failed_ = true;
    return;
  }
  const int needed = platform::wideToMultiByte(codePage, text, static_cast<int>(n), nullptr, 0);
  if (needed <= 0 || !buffer_.reserve(static_cast<size_t>(needed)) ||
      platform::wideToMultiByte(codePage, text, static_cast<int>(n), buffer_.data(), needed) <= 0) {
    failed_ = true;
    return;
  }
  if (exact) {
    // A character without a form in the code page came out as another one;
    // converting back shows it.
    Widened back(buffer_.data(), codePage);
    if (back.failed() || textLength(back.get()) + 1 != n ||
        std::char_traits<char16_t>::compare(back.get(), text, n) != 0) {
      failed_ = true;
      return;
    }
  }
  text_ = buffer_.data();
}

}  // namespace julib::profile
