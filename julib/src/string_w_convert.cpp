// JuStringW to and from narrow text: bytes of a code-page kind in, a cached
// narrow copy (UTF-8 or the ANSI code page) out.

#include <unicode/ustring.h>

#include <climits>
#include <cstdint>

#include "julib/errors.h"
#include "julib/strings.h"
#include "platform/ansi.h"
#include "string_buffers.h"

namespace ji = julib::internal;

namespace {

// Handed out when the narrow copy cannot be allocated; never freed.
constexpr char kOutOfMemoryText[] = "Out Of Memory";

int clampToInt(size_t n) { return n > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n); }

// The ANSI code page, one character at a time, so that a lead byte without
// its trail byte at the end is dropped rather than converted. Returns the
// units written (the block holds at least n + 1).
size_t widenAnsi(const char* bytes, size_t n, char16_t* out, size_t capacity) {
  size_t written = 0;
  for (size_t i = 0; i < n;) {
    const unsigned char byte = static_cast<unsigned char>(bytes[i]);
    if (byte < 0x80) {
      out[written++] = byte;
      ++i;
      continue;
    }
    const size_t step = juCharLen(bytes + i, JuCodePageKind::kAnsi);
    if (step > n - i) break;
    const int produced = platform::multiByteToWide(platform::kCodePageAnsi, bytes + i, static_cast<int>(step),
                                                   out + written, clampToInt(capacity - written - 1));
    if (produced > 0) written += static_cast<size_t>(produced);
    i += step;
  }
  return written;
}

}  // namespace

// The new buffer replaces the old one only once the conversion has read the
// bytes; an allocation failure leaves the string empty, without a buffer.
int JuStringW::assignFromMultiByte(const char* bytes, size_t n, JuCodePageKind kind) {
  if (bytes == nullptr) n = 0;
  if (kind == JuCodePageKind::kUtf16) {
    // Already UTF-16: the n bytes hold n / 2 whole units (an odd last byte is
    // no unit), copied bytewise (the bytes need not be aligned).
    return assign(reinterpret_cast<const char16_t*>(bytes), juStrNCharCount(bytes, n, kind));
  }
  const bool ansi = kind == JuCodePageKind::kAnsi;  // every other kind is taken as UTF-8
  size_t units;
  bool sizeOk = ansi ? ji::sizeSum(&units, n, n, 1) : ji::sizeSum(&units, n, 1);
  if (sizeOk && !ansi && n > static_cast<size_t>(INT32_MAX)) {
    juReportOutOfMemory();  // beyond what the UTF-8 converter takes in one piece
    sizeOk = false;
  }
  char16_t* block = sizeOk ? ji::allocateUnits<char16_t>(units) : nullptr;
  if (block == nullptr) {
    release();
    owns = 1;
    return 1;
  }
  size_t produced = 0;
  int status = 0;
  if (ansi) {
    produced = widenAnsi(bytes, n, block, units);
  } else {
    UErrorCode error = U_ZERO_ERROR;
    int32_t count = 0;
    u_strFromUTF8(reinterpret_cast<UChar*>(block), static_cast<int32_t>(n), &count, bytes, static_cast<int32_t>(n),
                  &error);
    if (U_FAILURE(error)) {
      status = 1;
    } else {
      produced = static_cast<size_t>(count);
    }
  }
  block[produced] = 0;
  freeBuffer();
  data = block;
  capacity = units;
  length = produced;
  owns = 1;
  if (status != 0) juPostError(kJuMsgConversionFailed)->setSqlState("01004", kJuSqlStateTruncation);
  return status;
}

// The cache is rebuilt on every call, so a changed string never hands out a
// stale copy. 3 bytes a unit hold any UTF-8 form; the ANSI code page needs
// at most 2.
const char* JuStringW::narrow(JuCodePageKind kind) {
  freeNarrowCache();
  const size_t n = data == nullptr ? 0 : length;
  size_t size;
  if (!julib::internal::arraySize(&size, n, 3, 1)) return kOutOfMemoryText;
  char* cache = static_cast<char*>(juMallocChecked(size));
  if (cache == nullptr) return kOutOfMemoryText;
  narrowCache = cache;
  narrowCacheSize = size;
  cache[0] = 0;
  if (n == 0) return cache;
  if (kind == JuCodePageKind::kUtf8) {
    UErrorCode error = U_ZERO_ERROR;
    int32_t count = 0;
    if (3 * n <= static_cast<size_t>(INT32_MAX)) {
      u_strToUTF8(cache, static_cast<int32_t>(3 * n), &count, reinterpret_cast<const UChar*>(data),
                  static_cast<int32_t>(n), &error);
    } else {
      error = U_BUFFER_OVERFLOW_ERROR;
    }
    if (U_FAILURE(error)) {
      // Text that is not valid UTF-16 still gives something readable.
      juWStrNNarrowCopyBounded(cache, size, data, n);
    } else {
      cache[static_cast<size_t>(count) < 3 * n ? static_cast<size_t>(count) : 3 * n] = 0;
    }
    return cache;
  }
  int count = 0;
  if (2 * n <= static_cast<size_t>(INT_MAX)) {
    count = platform::wideToMultiByte(platform::kCodePageAnsi, data, static_cast<int>(n), cache,
                                      static_cast<int>(2 * n));
  }
  cache[count > 0 ? static_cast<size_t>(count) : 0] = 0;
  return cache;
}
