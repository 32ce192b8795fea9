// The argument renderer: the text of one argument of a call record after
// its label in a trace record. Handles and pointers show as addresses,
// integers as numbers with the name of the ODBC constant they hold, untyped
// value buffers by what their attribute says they hold, character data as
// quoted text. Application memory is read only through the platform's
// memory probe, so a bad pointer prints a failure text ("BADMEM", "<Bad
// null-terminated string!>", ...) and never faults.
//
// Every operation writes into `buffer` of `room` characters (the record
// buffer from its current position), cuts what does not fit, and returns
// the characters it wrote (never more than `room`). Every argument's text
// ends its line with "\n" as far as the room allows.
#ifndef VRTRACE_RENDER_H
#define VRTRACE_RENDER_H

#include <cstddef>
#include <cstdint>

struct TraceCallRecord;

// The render code of an SQLGetData buffer type (SQL_C_CHAR 1 -> 30,
// SQL_C_WCHAR -8 -> 34, SQL_C_DOUBLE 8 -> 38, unknown -> 0). Type codes and
// the renderer's own codes are TraceCode's (trace_codes.h).
uint32_t TraceBufferTypeRenderCode(int16_t bufferType);

// One argument's text by its type code (or a render code). `noOutput` is 1
// in ENTER records and in EXIT records of failed calls: handle pointers are
// then not followed and output text is not shown.
//   SQLFreeStmt option 1, code 7 -> "          1 <SQL_DROP>\n"
size_t TraceFormatArg(const TraceCallRecord& record, uint32_t argIndex, int noOutput, char* buffer, size_t room,
                      uint32_t typeCode);

// The name of the constant an integer argument holds: "<SQL_DROP>\n",
// "<unknown>\n" when its table lacks the value, "\n" when it has no table.
size_t TraceFormatConstant(char* buffer, size_t room, const TraceCallRecord& record, uint32_t argIndex);

// An untyped pointer argument (codes 9, 18, 25): by the buffer type of
// SQLGetData, by the kind of the attribute or info type it belongs to, or
// as a plain address.
size_t TraceFormatValueBuffer(char* buffer, size_t room, const TraceCallRecord& record, uint32_t argIndex,
                              int noOutput);

// A character argument: its address, then (where its direction is shown in
// this record) "[length] " and the quoted text. `wide` 1: UTF-16 text.
//   SQLExecDirect "abc", SQL_NTS, ENTER -> " 0x... [      -3] \"abc\\x00\"\n"
size_t TraceFormatStringArg(char* buffer, size_t room, const TraceCallRecord& record, uint32_t argIndex,
                            int noOutput, int wide);

// What a text's values must not show in the log.
enum class TraceSecret : uint8_t {
  kNone,
  kWhole,          // a password argument: all of it
  kConnectString,  // the values of the password keys of a connect string
};

// One text to dump: lengths in bytes (two a UTF-16 unit); a text length of
// -3 (SQL_NTS) is measured up to its terminator.
struct TraceText {
  uint64_t address;
  int64_t textLength;
  int64_t bufferLength;
  bool wide;
  // A text given by its length (input shown): with SQL_NTS as the text
  // length, a buffer length of 0 or more is the text's length; otherwise
  // the buffer length only bounds the search for the terminator.
  bool lengthGiven;
  TraceSecret secret;
};

enum class TraceMeasured { kTerminated, kLimit, kUnreadable };

// Searches terminated text (narrow, or UTF-16 when `wide`) at `address`
// within `limit` bytes, copying it out through the memory probe a block at
// a time and touching no page past the one that holds the terminator.
// `bytes` gets the length up to and including the terminator (kTerminated),
// `limit` (kLimit: no terminator within it), or the bytes readable before
// the text could not be read on (kUnreadable).
//   "abc", narrow, limit 100 -> kTerminated, 4;  limit 2 -> kLimit, 2
TraceMeasured TraceMeasureText(uint64_t address, bool wide, uint64_t limit, uint64_t* bytes);

// Measures, converts (UTF-16 to the ANSI code page), masks and quotes a
// text, or writes why it cannot: "<empty string>\n", "<zero length>\n",
// "<Bad null-terminated string!>\n", "<Invalid string length!>\n",
// "<Buffer at 0x%016p isn't %d bytes long>\n".
size_t TraceDumpText(char* buffer, size_t room, const TraceText& text);

// Quotes `count` bytes at `bytes` of application memory: printable bytes as
// themselves, others as "\x%02x" of the byte sign-extended ("\xffffffe9"),
// "..." when the room ends first, then "\"\n";
// "...<BAD MEMORY after 0x%016p [len=%ld]!>\n" when they cannot be read.
size_t TraceQuoteBytes(char* buffer, size_t room, uint64_t bytes, int64_t count);

#endif  // VRTRACE_RENDER_H
