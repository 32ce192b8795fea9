// Steps shared by the narrow and the wide decimal parsers.
#ifndef JULIB_SRC_NUMBER_PARSE_UTIL_H
#define JULIB_SRC_NUMBER_PARSE_UTIL_H

#include <cstdint>

namespace julib::internal {

inline constexpr uint64_t kMaxUInt32 = UINT32_MAX;
inline constexpr uint64_t kMaxUInt64 = UINT64_MAX;

// value = 10 * value + digit unless that exceeds `max`; false (value kept)
// when it would. For UINT64_MAX the test is "above 1844674407370955161, or
// equal to it with a digit above 5".
inline bool accumulateDigit(uint64_t& value, unsigned digit, uint64_t max) {
  if (value > max / 10 || (value == max / 10 && digit > max % 10)) return false;
  value = value * 10 + digit;
  return true;
}

// The signed value of a magnitude and a sign for a type of `bits` bits.
// A magnitude with the type's top bit set is only the exact minimum after a
// '-'; false for anything else. The negation runs in unsigned arithmetic so
// that the minimum never passes through a signed overflow.
inline bool signedFromMagnitude(uint64_t magnitude, bool negative, unsigned bits, int64_t* out) {
  const uint64_t topBit = uint64_t{1} << (bits - 1);
  if (magnitude >= topBit && !(negative && magnitude == topBit)) return false;
  if (!negative || magnitude == 0) {
    *out = static_cast<int64_t>(magnitude);
  } else {
    // -(m - 1) - 1 == -m, and m - 1 always fits the signed type.
    *out = -static_cast<int64_t>(magnitude - 1) - 1;
  }
  return true;
}

// The low 16 bits of a value as a signed 16-bit number, without relying on
// an implementation-defined narrowing.
inline int16_t lowSigned16(int64_t value) {
  const uint16_t low = static_cast<uint16_t>(static_cast<uint64_t>(value));
  return low >= 0x8000 ? static_cast<int16_t>(static_cast<int32_t>(low) - 0x10000) : static_cast<int16_t>(low);
}

}  // namespace julib::internal

#endif  // JULIB_SRC_NUMBER_PARSE_UTIL_H
