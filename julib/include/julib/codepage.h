// Code-page helpers shared by the conversions and their callers: lengths,
// code-point encoding and UTF-16 byte swapping.
#ifndef JULIB_CODEPAGE_H
#define JULIB_CODEPAGE_H

#include <cstddef>
#include <cstdint>

// Units before the first zero unit.
size_t juWStrLen(const char16_t* text);
// 0 for null text, else units before the first zero, at most `maximum`.
size_t juWStrNLen(const char16_t* text, size_t maximum);
size_t juU32StrLen(const char32_t* text);
// A copy in a block of 2 * length + 4 bytes (text and four zero bytes);
// null (out of memory posted) on failure.
char16_t* juWStrDup(const char16_t* text);

// First unit in the low 16 bits, second (if any) in the high 16 bits; 0
// above U+10FFFF.   juCodePointToUtf16(0x1F600) -> 0xDE00D83D
uint32_t juCodePointToUtf16(uint32_t codePoint);
// Writes 1 to 4 bytes; returns the position after them.
char* juUtf8EncodeChar(char* dst, uint32_t codePoint);
// UTF-8 bytes packed first byte lowest.   juCodePointToUtf8Packed(0xE9) -> 0xA9C3
uint32_t juCodePointToUtf8Packed(uint32_t codePoint);
// Each unit with its bytes exchanged; dst may be src.
void juSwapUtf16(char16_t* dst, const char16_t* src, size_t n);

#endif  // JULIB_CODEPAGE_H
