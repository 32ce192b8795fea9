// Feeds arbitrary bytes to the narrow parsers (as bytes) and the UTF-16
// parsers (as units); every value parsed successfully must come back
// through the formatters and parse again to the same value.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "julib/errors.h"
#include "julib/numbers.h"
#include "julib/threads.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

void roundTripNarrow(uint64_t value) {
  char text[kJuNumberBufferSize];
  const size_t n = juFormatUInt64(text, value);
  uint64_t again = 0;
  check(n > 0 && juStrToUInt64(text, &again) == 0 && again == value);
  check(juStrNToUInt64(text, static_cast<uint16_t>(n), &again) == 0 && again == value);
}

void roundTripNarrowSigned(int64_t value) {
  char text[kJuNumberBufferSize];
  const size_t n = juFormatInt64(text, value);
  int64_t again = 0;
  check(n > 0 && juStrToInt64(text, &again) == 0 && again == value);
  check(juStrNToInt64(text, static_cast<uint16_t>(n), &again) == 0 && again == value);
}

void roundTripWide(uint64_t value) {
  char16_t text[kJuNumberBufferSize];
  const size_t n = juFormatUInt64W(text, value);
  uint64_t again = 0;
  check(n > 0 && juWStrToUInt64(text, &again) == 0 && again == value);
  check(juWStrNToUInt64(text, n, &again) == 0 && again == value);
}

void roundTripWideSigned(int64_t value) {
  char16_t text[kJuNumberBufferSize];
  const size_t n = juFormatInt64W(text, value);
  int64_t again = 0;
  check(n > 0 && juWStrToInt64(text, &again) == 0 && again == value);
  check(juWStrNToInt64(text, n, &again) == 0 && again == value);
}

void fuzzNarrow(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);  // terminated copy
  const uint16_t length = static_cast<uint16_t>(size > UINT16_MAX ? UINT16_MAX : size);
  uint64_t u = 0;
  int64_t s = 0;
  uint32_t u32 = 0;
  int32_t s32 = 0;
  int16_t s16 = 0;
  if (juStrToUInt64(text.c_str(), &u) == 0) roundTripNarrow(u);
  if (juStrNToUInt64(text.data(), length, &u) == 0) roundTripNarrow(u);
  if (juStrToInt64(text.c_str(), &s) == 0) roundTripNarrowSigned(s);
  if (juStrNToInt64(text.data(), length, &s) == 0) roundTripNarrowSigned(s);
  if (juStrToInt32(text.c_str(), &s32) == 0) roundTripNarrowSigned(s32);
  if (juStrNToInt32(text.data(), length, &s32) == 0) roundTripNarrowSigned(s32);
  if (juStrNToUInt32(text.data(), length, &u32) == 0) roundTripNarrow(u32);
  if (juStrNToInt16(text.data(), length, &s16) == 0) roundTripNarrowSigned(s16);
}

void fuzzWide(const uint8_t* data, size_t size) {
  std::u16string text(size / 2, u'\0');
  std::memcpy(text.data(), data, text.size() * 2);
  uint64_t u = 0;
  int64_t s = 0;
  uint32_t u32 = 0;
  int32_t s32 = 0;
  int16_t s16 = 0;
  if (juWStrToUInt64(text.c_str(), &u) == 0) roundTripWide(u);
  if (juWStrNToUInt64(text.data(), text.size(), &u) == 0) roundTripWide(u);
  if (juWStrToInt64(text.c_str(), &s) == 0) roundTripWideSigned(s);
  if (juWStrNToInt64(text.data(), text.size(), &s) == 0) roundTripWideSigned(s);
  if (juWStrToUInt32(text.c_str(), &u32) == 0) roundTripWide(u32);
  if (juWStrNToInt32(text.data(), text.size(), &s32) == 0) roundTripWideSigned(s32);
  if (juWStrToInt16(text.c_str(), &s16) == 0) roundTripWideSigned(s16);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  juStartProgram(&juLibraryModule, nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A list of its own for each input, so that posted errors do not pile up.
  JuErrorList errors(0, 1);
  JuErrorList::pushCurrent(&errors);
  fuzzNarrow(data, size);
  fuzzWide(data, size);
  JuErrorList::popCurrent();
  return 0;
}
