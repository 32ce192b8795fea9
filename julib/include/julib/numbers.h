// Decimal and hexadecimal text to numbers and back.
//
// Parsers return 0, or 1 after posting 2701 "Number too large: %s1" (value
// beyond the type) or 2702 "Number contains an invalid character: %s1"; the
// result is written only on success (except the wide 16-bit signed forms).
// Narrow parsers take empty or blank text as 0 and skip any mix of blanks
// and '+'; wide parsers reject empty or blank text and take one '+' only as
// the first unit; their digits are the decimal digits of every script, each
// with its own value (U+0663 is 3). Formatters never post: they return the
// characters written, 0 when the buffer is too small, and write no
// terminator.
#ifndef JULIB_NUMBERS_H
#define JULIB_NUMBERS_H

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Parsers. Narrow counted text has a 16-bit length; wide counted a 64-bit one.
// ---------------------------------------------------------------------------

//   juStrToUInt64(" +7 ", &v) -> 0, v = 7
[[nodiscard]] int juStrToUInt64(const char* text, uint64_t* result);
[[nodiscard]] int juStrNToUInt64(const char* text, uint16_t length, uint64_t* result);
[[nodiscard]] int juStrNToUInt32(const char* text, uint16_t length, uint32_t* result);
[[nodiscard]] int juWStrToUInt64(const char16_t* text, uint64_t* result);
[[nodiscard]] int juWStrToUInt32(const char16_t* text, uint32_t* result);
[[nodiscard]] int juWStrNToUInt64(const char16_t* text, uint64_t length, uint64_t* result);
[[nodiscard]] int juWStrNToUInt32(const char16_t* text, uint64_t length, uint32_t* result);

[[nodiscard]] int juStrToInt8(const char* text, int8_t* result);
[[nodiscard]] int juStrToUInt8(const char* text, uint8_t* result);
[[nodiscard]] int juStrToInt16(const char* text, int16_t* result);
[[nodiscard]] int juStrToUInt16(const char* text, uint16_t* result);
//   juStrToInt32("--5", &v) -> 0, v = 5 (two signs cancel)
[[nodiscard]] int juStrToInt32(const char* text, int32_t* result);
// A '-' after leading blanks posts 2702; `result` may be null.
[[nodiscard]] int juStrToUInt32(const char* text, uint32_t* result);
[[nodiscard]] int juStrToInt64(const char* text, int64_t* result);
[[nodiscard]] int juStrNToInt16(const char* text, uint16_t length, int16_t* result);
[[nodiscard]] int juStrNToUInt16(const char* text, uint16_t length, uint16_t* result);
[[nodiscard]] int juStrNToInt32(const char* text, uint16_t length, int32_t* result);
[[nodiscard]] int juStrNToInt64(const char* text, uint16_t length, int64_t* result);
// Out of range: posts 2701, returns 1 and still stores the low 16 bits.
[[nodiscard]] int juWStrToInt16(const char16_t* text, int16_t* result);
[[nodiscard]] int juWStrToUInt16(const char16_t* text, uint16_t* result);
[[nodiscard]] int juWStrToInt32(const char16_t* text, int32_t* result);
[[nodiscard]] int juWStrToInt64(const char16_t* text, int64_t* result);
[[nodiscard]] int juWStrNToInt16(const char16_t* text, uint64_t length, int16_t* result);
[[nodiscard]] int juWStrNToUInt16(const char16_t* text, uint64_t length, uint16_t* result);
[[nodiscard]] int juWStrNToInt32(const char16_t* text, uint64_t length, int32_t* result);
[[nodiscard]] int juWStrNToInt64(const char16_t* text, uint64_t length, int64_t* result);

// ---------------------------------------------------------------------------
// Formatters: (buffer, size in characters, value) -> characters written.
//   juUInt32ToStr(buf, 4, 12345) -> 0; juInt32ToStr(buf, 2, -5) -> 2 ("-5")
// ---------------------------------------------------------------------------

size_t juUInt32ToStr(char* buffer, size_t size, uint32_t value);
size_t juUInt64ToStr(char* buffer, size_t size, uint64_t value);
size_t juInt32ToStr(char* buffer, size_t size, int32_t value);
size_t juInt64ToStr(char* buffer, size_t size, int64_t value);
size_t juUInt32ToStr32(char32_t* buffer, size_t size, uint32_t value);
size_t juUInt64ToStr32(char32_t* buffer, size_t size, uint64_t value);
size_t juInt64ToStr32(char32_t* buffer, size_t size, int64_t value);
size_t juUInt32ToWStr(char16_t* buffer, size_t size, uint32_t value);
size_t juUInt64ToWStr(char16_t* buffer, size_t size, uint64_t value);
size_t juInt32ToWStr(char16_t* buffer, size_t size, int32_t value);
size_t juInt64ToWStr(char16_t* buffer, size_t size, int64_t value);
// Byte-swapped UTF-16: digit d is 0x3000 + 0x100 * d, '-' is 0x2D00.
size_t juUInt32ToWStrSwapped(char16_t* buffer, size_t size, uint32_t value);
size_t juUInt64ToWStrSwapped(char16_t* buffer, size_t size, uint64_t value);
size_t juInt32ToWStrSwapped(char16_t* buffer, size_t size, int32_t value);
size_t juInt64ToWStrSwapped(char16_t* buffer, size_t size, int64_t value);

// Terminated forms into a buffer of 32 characters; result = characters before
// the terminator.
inline constexpr size_t kJuNumberBufferSize = 32;
size_t juFormatInt64(char* buffer, int64_t value);
size_t juFormatUInt64(char* buffer, uint64_t value);
size_t juFormatUInt32Str32(char32_t* buffer, uint32_t value);
size_t juFormatInt32W(char16_t* buffer, int32_t value);
size_t juFormatUInt32W(char16_t* buffer, uint32_t value);
size_t juFormatInt64W(char16_t* buffer, int64_t value);
size_t juFormatUInt64W(char16_t* buffer, uint64_t value);

// A field of `width` blanks and a NUL at buffer[width] (buffer holds width+1
// bytes) with the digits right-aligned (or left-aligned); at most 10 digit
// positions; '*' in every position when the value does not fit; 0 writes no
// digit. Returns the digits written.
//   juFormatFixed(buf, 3, 42, 0) -> " 42", 2
size_t juFormatFixed(char* buffer, uint16_t width, uint64_t value, int16_t leftAlign);
// Negative values get a '-' before the digits (or in the first position with
// left-align); the result does not count it. A magnitude that does not fit
// shows as '*' in the sign's position too; width 0 writes only the NUL.
//   juFormatFixedInt64(buf, 5, -42, 0) -> "  -42", 2
size_t juFormatFixedInt64(char* buffer, uint16_t width, int64_t value, int16_t leftAlign);

// ---------------------------------------------------------------------------
// Hexadecimal text.
// ---------------------------------------------------------------------------

// Digit pairs to bytes, high nibble first; an odd last digit gives a byte
// with a zero low nibble. A non-digit posts 2708 and returns 1 (bytes before
// it are written).   juHexStrToBytes(out, "abc", 3) -> AB C0
[[nodiscard]] int juHexStrToBytes(uint8_t* out, const char* digits, size_t n);
[[nodiscard]] int juHexWStrToBytes(uint8_t* out, const char16_t* digits, size_t n);
[[nodiscard]] int juHex32StrToBytes(uint8_t* out, const char32_t* digits, size_t n);
// As juHexStrToBytes; every complete byte equal to `marker` is written twice.
// *outCount receives the bytes written.
[[nodiscard]] int juHexStrToBytesDoubling(uint8_t* out, const char* digits, size_t n, uint8_t marker, size_t* outCount);
// Bytes to 2n digits, no terminator; `out` may be the bytes' own buffer.
// Result: output size in bytes (2n, 4n, 8n).
size_t juBytesToHexStr(char* out, const uint8_t* bytes, size_t n);
size_t juBytesToHexStrLower(char* out, const uint8_t* bytes, size_t n);
size_t juBytesToHexWStr(char16_t* out, const uint8_t* bytes, size_t n);
size_t juBytesToHex32Str(char32_t* out, const uint8_t* bytes, size_t n);
// Upper-case digits, at least minDigits (leading zeros, any count), cut to
// the buffer as juStrCopyBounded cuts: at most size - 1 digits and a NUL,
// nothing for size 0. Returns the digits made.   (255, min 4) -> "00FF", 4
uint16_t juUInt64ToHexStr(char* buffer, size_t size, uint64_t value, uint16_t minDigits);

#endif  // JULIB_NUMBERS_H
