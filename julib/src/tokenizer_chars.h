// One character of the tokenizer's source, and the tests on character codes
// that need no scanner: digits, run breaks and the operator table. Internal
// to the library.
#ifndef JULIB_SRC_TOKENIZER_CHARS_H
#define JULIB_SRC_TOKENIZER_CHARS_H

#include "julib/tokenizer.h"

#include <unicode/uchar.h>

#include <cstddef>
#include <cstdint>

namespace julib::internal::scan {

// The code of a character of more than one unit: equal to no setting.
inline constexpr uint32_t kLongChar = 0xFFFFFFFF;

// One character of the source.
struct Char {
  size_t at;       // offset of its first unit
  size_t length;   // units, never reaching past the source length
  uint32_t first;  // its first unit, unsigned
  uint32_t code;   // `first` for a one-unit character, else kLongChar
};

// The operator table as the scanner searches it: (first entry, count
// including the closing 0).
struct OperatorTable {
  const uint32_t* entries;
  size_t count;
};
inline constexpr OperatorTable kOperators{juScannerOperators, 44};

inline bool isDigitUnit(uint32_t unit) { return u_isdigit(static_cast<UChar32>(unit)) != 0; }

// Characters that neither start nor continue a run.
inline bool isRunBreak(uint32_t code) {
  return code == ',' || code == '/' || code == '(' || code == ')' || code == '|';
}

// The type of the operator that starts with the one-unit character `code`
// when `next` follows it: a pair whose second character is `next` itself,
// else the character's own entry; 0 when the character is not in the table.
// Only units up to 0xFF can equal an entry, so no wider unit is read as an
// ASCII pair.
inline uint32_t operatorType(uint32_t code, uint32_t next) {
  if (code == 0 || code > 0xFF) return 0;  // 0 closes the table; it is no entry
  const uint32_t* table = kOperators.entries;
  const size_t count = kOperators.count;
  size_t i = 0;
  while (i < count && table[i] != code) ++i;
  if (i == count) return 0;
  for (size_t j = i + 1; j < count && table[j] != 0; ++j) {
    const uint32_t entry = table[j];
    const uint32_t entryFirst = entry > 0xFF ? entry >> 8 : entry;
    if (entryFirst != code) break;
    if (entry > 0xFF && (entry & 0xFF) == next) return entry;
  }
  return code;
}

}  // namespace julib::internal::scan

#endif  // JULIB_SRC_TOKENIZER_CHARS_H
