// Arbitrary input to the hexadecimal conversions: as digit text of every
// width (bytes, bytes widened, raw 16- and 32-bit units) and in the doubling
// form, each checked against a plain decoder with an output buffer of exactly
// the size it needs; and as bytes to digits of every form, into another
// buffer and in place, and back again.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "julib/errors.h"
#include "julib/numbers.h"
#include "julib/threads.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

template <typename Unit>
int digitValue(Unit unit) {
  const uint64_t u = static_cast<uint64_t>(unit);
  if (u >= '0' && u <= '9') return static_cast<int>(u - '0');
  if (u >= 'a' && u <= 'f') return static_cast<int>(u - 'a' + 10);
  if (u >= 'A' && u <= 'F') return static_cast<int>(u - 'A' + 10);
  return -1;
}

// What a decoder must produce: the bytes before the first bad digit (an odd
// last digit gives a high nibble), complete bytes equal to `marker` twice.
template <typename Unit>
std::vector<uint8_t> referenceDecode(const Unit* digits, size_t n, int marker, int* status) {
  std::vector<uint8_t> out;
  *status = 0;
  for (size_t i = 0; i < n; i += 2) {
    const int high = digitValue(digits[i]);
    const int low = i + 1 < n ? digitValue(digits[i + 1]) : 0;
    if (high < 0 || low < 0) {
      *status = 1;
      break;
    }
    out.push_back(static_cast<uint8_t>(high << 4 | low));
    if (i + 1 < n && out.back() == marker) out.push_back(out.back());
  }
  return out;
}

// Runs a decoder into a buffer of exactly the expected size, so that a byte
// written past it is caught, and checks its result and what it posted.
template <typename Unit, typename Decode>
void checkDecoder(const Unit* digits, size_t n, int marker, Decode decode) {
  int status = 0;
  const std::vector<uint8_t> expected = referenceDecode(digits, n, marker, &status);
  std::unique_ptr<uint8_t[]> out(new uint8_t[expected.size()]);
  JuErrorList* errors = JuErrorList::current();
  const uint64_t before = errors->count;
  size_t written = expected.size();
  check(decode(out.get(), digits, n, &written) == status);
  check(written == expected.size());
  check(expected.empty() || std::memcmp(out.get(), expected.data(), expected.size()) == 0);
  check(errors->count == before + (status != 0 ? 1 : 0));
  if (status != 0) check(static_cast<JuError*>(errors->pointerAt(errors->count - 1))->messageId == kJuMsgInvalidHex);
}

void checkAllDecoders(const char* digits, size_t n) {
  checkDecoder(digits, n, -1,
               [](uint8_t* out, const char* d, size_t k, size_t*) { return juHexStrToBytes(out, d, k); });
  // Every byte value as the marker would be too slow; take the first digit
  // pair's own value when it has one, so doubling really happens.
  int marker = 0x00;
  if (n >= 2 && digitValue(digits[0]) >= 0 && digitValue(digits[1]) >= 0) {
    marker = digitValue(digits[0]) << 4 | digitValue(digits[1]);
  }
  checkDecoder(digits, n, marker, [marker](uint8_t* out, const char* d, size_t k, size_t* count) {
    return juHexStrToBytesDoubling(out, d, k, static_cast<uint8_t>(marker), count);
  });
}

void checkAllDecoders(const char16_t* digits, size_t n) {
  checkDecoder(digits, n, -1,
               [](uint8_t* out, const char16_t* d, size_t k, size_t*) { return juHexWStrToBytes(out, d, k); });
}

void checkAllDecoders(const char32_t* digits, size_t n) {
  checkDecoder(digits, n, -1,
               [](uint8_t* out, const char32_t* d, size_t k, size_t*) { return juHex32StrToBytes(out, d, k); });
}

// The input as units of a wider type: each byte widened (digits stay
// digits), and the raw bytes taken as units (units whose low byte is a digit).
template <typename Unit>
void fuzzDigits(const uint8_t* data, size_t size) {
  std::unique_ptr<Unit[]> widened(new Unit[size]);
  for (size_t i = 0; i < size; ++i) widened[i] = static_cast<Unit>(data[i]);
  checkAllDecoders(widened.get(), size);
  const size_t units = size / sizeof(Unit);
  std::unique_ptr<Unit[]> raw(new Unit[units]);
  std::memcpy(raw.get(), data, units * sizeof(Unit));
  checkAllDecoders(raw.get(), units);
}

// Bytes to digits into a buffer of exactly 2n units, then in place over the
// bytes' own buffer; both must agree and decode back to the bytes.
template <typename Unit, typename Encode, typename Decode>
void roundTrip(const uint8_t* data, size_t n, const char* alphabet, Encode encode, Decode decode) {
  std::unique_ptr<Unit[]> digits(new Unit[2 * n]);
  check(encode(digits.get(), data, n) == 2 * n * sizeof(Unit));
  for (size_t i = 0; i < n; ++i) {
    check(digits[2 * i] == static_cast<Unit>(alphabet[data[i] >> 4]));
    check(digits[2 * i + 1] == static_cast<Unit>(alphabet[data[i] & 15]));
  }
  std::unique_ptr<uint8_t[]> back(new uint8_t[n]);
  check(decode(back.get(), digits.get(), 2 * n) == 0);
  check(std::memcmp(back.get(), data, n) == 0);

  std::unique_ptr<Unit[]> inPlace(new Unit[2 * n]);
  std::memcpy(inPlace.get(), data, n);
  check(encode(inPlace.get(), reinterpret_cast<const uint8_t*>(inPlace.get()), n) == 2 * n * sizeof(Unit));
  check(std::memcmp(inPlace.get(), digits.get(), 2 * n * sizeof(Unit)) == 0);
}

void fuzzRoundTrips(const uint8_t* data, size_t size) {
  static const char kUpper[] = "0123456789ABCDEF";
  static const char kLower[] = "0123456789abcdef";
  roundTrip<char>(data, size, kUpper, juBytesToHexStr, juHexStrToBytes);
  roundTrip<char>(data, size, kLower, juBytesToHexStrLower, juHexStrToBytes);
  roundTrip<char16_t>(data, size, kUpper, juBytesToHexWStr, juHexWStrToBytes);
  roundTrip<char32_t>(data, size, kUpper, juBytesToHex32Str, juHex32StrToBytes);
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
  checkAllDecoders(reinterpret_cast<const char*>(data), size);
  fuzzDigits<char16_t>(data, size);
  fuzzDigits<char32_t>(data, size);
  fuzzRoundTrips(data, size);
  JuErrorList::popCurrent();
  return 0;
}
