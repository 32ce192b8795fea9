// Hexadecimal digit text to bytes and back, in every character width, and
// one 64-bit value in hexadecimal. Nothing here allocates.

#include <algorithm>
#include <functional>
#include <type_traits>

#include "julib/errors.h"
#include "julib/numbers.h"

namespace {

constexpr char kUpperDigits[] = "0123456789ABCDEF";
constexpr char kLowerDigits[] = "0123456789abcdef";

// The value of a hexadecimal digit, -1 for anything else. The whole unit
// counts: 0x0141 is no digit although its low byte is 'A'.
template <typename Unit>
int hexValue(Unit unit) {
  const uint32_t u = static_cast<std::make_unsigned_t<Unit>>(unit);
  if (u >= '0' && u <= '9') return static_cast<int>(u - '0');
  if (u >= 'A' && u <= 'F') return static_cast<int>(u - 'A' + 10);
  if (u >= 'a' && u <= 'f') return static_cast<int>(u - 'a' + 10);
  return -1;
}

// No byte value is -1: marker kNoMarker doubles nothing.
constexpr int kNoMarker = -1;

// Digit pairs to bytes, high nibble first; an odd last digit is a byte with
// a zero low nibble, never doubled. A complete byte equal to `marker` is
// written twice. `written` receives the bytes written, also on failure.
template <typename Unit>
int hexToBytes(uint8_t* out, const Unit* digits, size_t n, int marker, size_t* written) {
  size_t w = 0;
  int status = 0;
  for (size_t i = 0; i < n; i += 2) {
    const int high = hexValue(digits[i]);
    if (high < 0) {
      status = 1;
      break;
    }
    if (i + 1 == n) {
      out[w++] = static_cast<uint8_t>(high << 4);
      break;
    }
    const int low = hexValue(digits[i + 1]);
    if (low < 0) {
      status = 1;
      break;
    }
    const uint8_t byte = static_cast<uint8_t>(high << 4 | low);
    out[w++] = byte;
    if (byte == marker) out[w++] = byte;
  }
  if (written != nullptr) *written = w;
  if (status != 0) juPostError(kJuMsgInvalidHex);
  return status;
}

// Bytes to digit pairs. When the output starts at or after the input (the
// in-place expansion) the pairs are written from the last byte backwards:
// pair i lands at or beyond byte i, so no byte is overwritten unread.
template <typename Unit>
size_t bytesToHex(Unit* out, const uint8_t* bytes, size_t n, const char* alphabet) {
  auto put = [&](size_t i) {
    const uint8_t byte = bytes[i];
    out[2 * i] = static_cast<Unit>(alphabet[byte >> 4]);
    out[2 * i + 1] = static_cast<Unit>(alphabet[byte & 0x0F]);
  };
  if (std::less<const void*>()(static_cast<const void*>(out), bytes)) {
    for (size_t i = 0; i < n; ++i) put(i);
  } else {
    for (size_t i = n; i-- > 0;) put(i);
  }
  return 2 * n * sizeof(Unit);
}

}  // namespace

int juHexStrToBytes(uint8_t* out, const char* digits, size_t n) {
  return hexToBytes(out, digits, n, kNoMarker, nullptr);
}

int juHexWStrToBytes(uint8_t* out, const char16_t* digits, size_t n) {
  return hexToBytes(out, digits, n, kNoMarker, nullptr);
}

int juHex32StrToBytes(uint8_t* out, const char32_t* digits, size_t n) {
  return hexToBytes(out, digits, n, kNoMarker, nullptr);
}

int juHexStrToBytesDoubling(uint8_t* out, const char* digits, size_t n, uint8_t marker, size_t* outCount) {
  return hexToBytes(out, digits, n, marker, outCount);
}

size_t juBytesToHexStr(char* out, const uint8_t* bytes, size_t n) { return bytesToHex(out, bytes, n, kUpperDigits); }

size_t juBytesToHexStrLower(char* out, const uint8_t* bytes, size_t n) {
  return bytesToHex(out, bytes, n, kLowerDigits);
}

size_t juBytesToHexWStr(char16_t* out, const uint8_t* bytes, size_t n) {
  return bytesToHex(out, bytes, n, kUpperDigits);
}

size_t juBytesToHex32Str(char32_t* out, const uint8_t* bytes, size_t n) {
  return bytesToHex(out, bytes, n, kUpperDigits);
}

// The digits are the value's nibbles (none for 0) behind enough leading
// zeros to reach minDigits, and at least one digit. They are written
// straight into the caller's buffer and cut to it, as a bounded copy would:
// at most size - 1 digits and a NUL, nothing for size 0. A minimum of any
// size is honoured without a stack buffer to overrun.
uint16_t juUInt64ToHexStr(char* buffer, size_t size, uint64_t value, uint16_t minDigits) {
  size_t nibbles = 0;
  for (uint64_t rest = value; rest != 0; rest >>= 4) ++nibbles;
  const size_t total = std::max<size_t>({nibbles, minDigits, 1});
  if (size != 0) {
    const size_t shown = std::min(total, size - 1);
    for (size_t k = 0; k < shown; ++k) {
      const size_t fromRight = total - 1 - k;  // nibble index of position k
      buffer[k] = fromRight >= nibbles ? '0' : kUpperDigits[(value >> (4 * fromRight)) & 0x0F];
    }
    buffer[shown] = '\0';
  }
  return static_cast<uint16_t>(total);
}
