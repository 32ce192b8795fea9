// Narrow text of one code page to another, one character at a time, so that
// when the output does not fit it is cut at a character boundary and the
// size the whole text needs is measured.

#include <unicode/ucnv.h>
#include <unicode/utf16.h>

#include <algorithm>

#include "codepage_workers.h"
#include "julib/codepage.h"

using julib::internal::icuResult;
using julib::internal::isIcuLength;
using julib::internal::kIcuMaxCallBytes;
using julib::internal::pinCapacity;

namespace {

bool argumentsUsable(char* dst, int64_t size, const char* src, int64_t length, UConverter* source, UConverter* target) {
  return dst != nullptr && size > 0 && src != nullptr && isIcuLength(length) && source != nullptr && target != nullptr;
}

// The target side: characters go into the destination while they fit; from
// the first that does not, the output is cut where that character began and
// every byte after it is only counted.
class MeasuringOutput {
 public:
  MeasuringOutput(UConverter* target, char* dst, int64_t room)
      : target_(target), dst_(dst), out_(dst), limit_(dst + pinCapacity(room, kIcuMaxCallBytes)) {}

  // Converts `n` units (n = 0 with flush: the end of the text, where a
  // stateful target returns to its initial state). Returns the result code.
  int32_t put(const char16_t* units, size_t n, bool flush) {
    const char16_t* in = units;
    const char16_t* const end = units + n;
    UErrorCode error = U_ZERO_ERROR;
    if (cut_ == nullptr) {
      char* const start = out_;
      ucnv_fromUnicode(target_, &out_, limit_, &in, end, nullptr, flush, &error);
      if (error != U_BUFFER_OVERFLOW_ERROR) return icuResult(error);
      cut_ = start;
      counted_ = out_ - dst_;  // includes the part of this character that fitted
      error = U_ZERO_ERROR;
    }
    for (;;) {
      char scratch[8];
      char* scratchEnd = scratch;
      ucnv_fromUnicode(target_, &scratchEnd, scratch + sizeof scratch, &in, end, nullptr, flush, &error);
      counted_ += scratchEnd - scratch;
      if (error != U_BUFFER_OVERFLOW_ERROR) return icuResult(error);
      error = U_ZERO_ERROR;
    }
  }

  bool wasCut() const { return cut_ != nullptr; }
  // Where the terminator goes.
  char* end() const { return cut_ != nullptr ? cut_ : out_; }
  // The bytes written, or after a cut the bytes the whole text needs.
  int64_t count() const { return cut_ != nullptr ? counted_ : out_ - dst_; }

 private:
  UConverter* target_;
  char* dst_;
  char* out_;
  char* limit_;
  char* cut_ = nullptr;
  int64_t counted_ = 0;
};

// Writes `zeros` zero bytes at `at`, as far as they lie inside the destination.
void terminate(char* dst, int64_t size, char* at, int64_t zeros) {
  for (int64_t i = at - dst; i < size && i < at - dst + zeros; ++i) dst[i] = 0;
}

// The per-character loop. `zeros` is the terminator's size, kept free at the
// end of the destination; `cutOnNotTerminated` makes the "not terminated"
// warning of the source a cut.
int32_t convertPerCharacter(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                            UConverter* source, UConverter* target, int64_t zeros, bool cutOnNotTerminated) {
  ucnv_reset(source);
  if (target != source) ucnv_reset(target);
  MeasuringOutput output(target, dst, std::max<int64_t>(size - zeros, 0));
  const char* in = src;
  const char* const end = src + length;
  int32_t result = kJuConvOk;
  while (in < end && result == kJuConvOk) {
    UErrorCode error = U_ZERO_ERROR;
    const UChar32 c = ucnv_getNextUChar(source, &in, end, &error);
    // Shift bytes at the end of a stateful source hold no character.
    if (error == U_INDEX_OUTOFBOUNDS_ERROR && in == end) break;
    if (U_FAILURE(error) || (cutOnNotTerminated && error == U_STRING_NOT_TERMINATED_WARNING)) {
      terminate(dst, size, output.end(), zeros);
      if (written != nullptr) *written = output.wasCut() ? output.count() : 0;
      return icuResult(error);
    }
    char16_t units[2];
    size_t n = 0;
    U16_APPEND_UNSAFE(units, n, c);
    result = output.put(units, n, false);
  }
  if (result == kJuConvOk) result = output.put(nullptr, 0, true);
  terminate(dst, size, output.end(), zeros);
  if (written != nullptr) *written = output.count();
  if (result == kJuConvOk && output.wasCut()) result = kJuConvTruncated;
  return result;
}

}  // namespace

int32_t juConvCodePageMeasured(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                               UConverter* source, UConverter* target) {
  if (!argumentsUsable(dst, size, src, length, source, target)) return kJuConvFailed;
  return convertPerCharacter(dst, size, src, length, written, source, target, 1, false);
}

int32_t juConvCodePageChars(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                            UConverter* source, UConverter* target) {
  if (!argumentsUsable(dst, size, src, length, source, target)) return kJuConvFailed;
  return convertPerCharacter(dst, size, src, length, written, source, target, ucnv_getMinCharSize(target), false);
}

int32_t juConvCodePageSafe(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                           UConverter* target, UConverter* source) {
  if (!argumentsUsable(dst, size, src, length, source, target)) return kJuConvFailed;
  // The output may not fit: go character by character to cut it cleanly.
  if (static_cast<int64_t>(ucnv_getMaxCharSize(target)) * length >= size) {
    return convertPerCharacter(dst, size, src, length, written, source, target, 1, true);
  }
  return juConvCodePageBytes(dst, size, src, length, written, nullptr, target, source);
}
