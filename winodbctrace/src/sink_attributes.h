// Reading the sinks' attribute strings: parsing with separator ";" and
// numeric values as unsigned 64-bit decimals. Internal to the sinks.
#ifndef VRTRACE_SINK_ATTRIBUTES_H
#define VRTRACE_SINK_ATTRIBUTES_H

#include <cstddef>
#include <cstdint>

#include "julib/valueparser.h"

namespace vrtrace::sinks {

inline constexpr char kSinkSeparator = ';';

// What readNumber found.
enum class NumberRead { kAbsent, kFound, kInvalid };

// The value of `key` (ignoring case) as an unsigned decimal: blanks and "+"
// before the digits are skipped, an empty value is 0. kInvalid means the
// parser's error (2701 / 2702) is posted. *textLength receives the length of
// the value's text as written (when not null).
//   {ODBCTraceMaxNumFiles: 100} -> kFound, 100, textLength 3
NumberRead readNumber(JuValueParser& parser, const char* key, uint64_t* value, size_t* textLength = nullptr);

}  // namespace vrtrace::sinks

#endif  // VRTRACE_SINK_ATTRIBUTES_H
