// The process ANSI code page and conversions between Windows code pages and
// UTF-16, over ICU.
#ifndef PLATFORM_ANSI_H
#define PLATFORM_ANSI_H

#include <cstddef>
#include <cstdint>

namespace platform {

// Code page numbers with a special meaning, as Windows gives them.
inline constexpr uint32_t kCodePageAnsi = 0;       // CP_ACP
inline constexpr uint32_t kCodePageOem = 1;        // CP_OEMCP
inline constexpr uint32_t kCodePageThread = 3;     // CP_THREAD_ACP
inline constexpr uint32_t kCodePageUtf8 = 65001;   // CP_UTF8

// The process ANSI code page: a single- or double-byte Windows code page,
// 1252 unless the environment variable JU_ACP names another at first use.
uint32_t ansiCodePage() noexcept;

// Makes `codePage` the process ANSI code page (tests, and programs that
// must match a peer). Returns false, changing nothing, when ICU has no
// converter for it or it is not a single- or double-byte code page.
bool setAnsiCodePage(uint32_t codePage) noexcept;

// IsDBCSLeadByte: true when `byte` starts a two-byte character in the ANSI
// code page (never for a single-byte code page).
bool isLeadByte(uint8_t byte) noexcept;
// The same as a table of 256 entries, for scans that test every byte; it
// stays valid for the life of the process (a later code page has its own).
const bool* leadByteTable() noexcept;

// The longest prefix of `n` ANSI bytes, at most `limit` long, that ends on a
// character boundary (a lead byte as the last of the n bytes counts alone).
//   in 932: ansiPrefixLength("a\x82\xA0", 3, 2) -> 1
size_t ansiPrefixLength(const char* text, size_t n, size_t limit) noexcept;

// CharPrevA: the start of the character before `position`, counting whole
// characters from `start`; `start` itself when position <= start.
const char* charPrev(const char* start, const char* position) noexcept;

// CharUpperA/CharUpperBuffA and their lower-case twins: map the single-byte
// characters of `n` bytes in place, keeping every byte length (double-byte
// characters are left alone). upperByte/lowerByte map one single byte.
void upperInPlace(char* text, size_t n) noexcept;
void lowerInPlace(char* text, size_t n) noexcept;
uint8_t upperByte(uint8_t byte) noexcept;
uint8_t lowerByte(uint8_t byte) noexcept;

// lstrcmpA / lstrcmpiA: byte order, after case folding for the second.
// NUL-terminated texts; -1, 0 or 1.
int compareAnsi(const char* a, const char* b) noexcept;
int compareAnsiNoCase(const char* a, const char* b) noexcept;

// MultiByteToWideChar: converts `n` bytes (n < 0: through the NUL, which is
// converted too) of `codePage` into `dst` of `dstUnits` units. dstUnits 0
// returns the units needed. Returns the units written, 0 on failure (unknown
// code page, bad argument, or a destination too small). Bytes without a
// mapping become U+FFFD; no terminator is added beyond the source's own.
int multiByteToWide(uint32_t codePage, const char* src, int n, char16_t* dst, int dstUnits) noexcept;

// WideCharToMultiByte: the reverse; characters without a mapping become '?'.
// dstBytes 0 returns the bytes needed.
int wideToMultiByte(uint32_t codePage, const char16_t* src, int n, char* dst, int dstBytes) noexcept;

}  // namespace platform

#endif  // PLATFORM_ANSI_H
