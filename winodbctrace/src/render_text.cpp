// The renderer's character data: which text arguments a record shows and
// with which lengths, and the dump of a text: measured, copied out of the
// application through the memory probe a block at a time, converted from
// UTF-16, masked where it holds a password, and quoted.

#include <algorithm>
#include <cstring>

#include "odbc_headers.h"
#include "platform/ansi.h"
#include "platform/memory.h"
#include "platform/utf16.h"
#include "render.h"
#include "render_out.h"
#include "render_secrets.h"
#include "trace.h"
#include "trace_codes.h"

namespace {

// The returned length of an SWORD * that cannot be read.
constexpr int64_t kUnreadableLength = -9999;
// Bytes copied out of the application at a time.
constexpr size_t kBlockBytes = 1024;
// The smallest page size there is.
constexpr uint64_t kPageBlock = 4096;

// ---------------------------------------------------------------------------
// Text rules: which direction of a text argument a record shows, and where
// its lengths are. Offsets count from the text's own argument; 0 is none.
// ---------------------------------------------------------------------------

constexpr int32_t kAnyArgument = -1;

struct TextRule {
  uint32_t functionId;
  int32_t argIndex;
  bool input;
  bool output;
  uint8_t bufferLengthOffset;
  uint8_t returnedLengthOffset;
};

// First match wins; functions not listed take their text as input, with
// its length in the next argument.
constexpr TextRule kTextRules[] = {
    {SQL_API_SQLCONNECT, kAnyArgument, true, true, 1, 1},
    {SQL_API_SQLERROR, 3, false, true, 0, 0},                     // the SQLSTATE
    {SQL_API_SQLERROR, kAnyArgument, false, true, 1, 2},          // the message
    {SQL_API_SQLGETCURSORNAME, kAnyArgument, false, true, 1, 2},
    {SQL_API_SQLGETDATA, kAnyArgument, false, true, 1, 2},
    {SQL_API_SQLDATASOURCES, kAnyArgument, false, true, 1, 2},
    {SQL_API_SQLGETDESCREC, kAnyArgument, false, true, 1, 2},
    {SQL_API_SQLGETENVATTR, kAnyArgument, false, true, 1, 2},
    {SQL_API_SQLGETINFO, kAnyArgument, false, true, 1, 1},
    {SQL_API_SQLBROWSECONNECT, 3, false, true, 1, 2},             // the result
    {SQL_API_SQLBROWSECONNECT, kAnyArgument, true, false, 1, 0},  // the request
    {SQL_API_SQLGETDIAGREC, 3, false, true, 0, 0},                // the SQLSTATE
    {SQL_API_SQLGETDIAGREC, kAnyArgument, false, true, 1, 0},     // the message
    {SQL_API_SQLNATIVESQL, 3, false, true, 0, 0},                 // the result
    {SQL_API_SQLNATIVESQL, kAnyArgument, false, true, 1, 0},      // the statement
    // Output buffers that an ENTER record must not show (they hold what the
    // application left there) and that a successful EXIT shows.
    {SQL_API_SQLDESCRIBECOL, 2, false, true, 1, 2},               // the column name
    {SQL_API_SQLDRIVERCONNECT, 4, false, true, 1, 2},             // the completed string
    {SQL_API_SQLDRIVERS, kAnyArgument, false, true, 1, 2},
    {SQL_API_SQLGETCONNECTATTR, kAnyArgument, false, true, 1, 2},
    {SQL_API_SQLGETSTMTATTR, kAnyArgument, false, true, 1, 2},
    {SQL_API_SQLCOLATTRIBUTE, 3, false, true, 1, 2},              // a text attribute
};
constexpr TextRule kInputText = {0, kAnyArgument, true, false, 1, 0};

const TextRule& textRule(const TraceCallRecord& record, uint32_t argIndex) {
  for (const TextRule& rule : kTextRules) {
    if (rule.functionId == record.functionId &&
        (rule.argIndex == kAnyArgument || rule.argIndex == static_cast<int32_t>(argIndex))) {
      return rule;
    }
  }
  return kInputText;
}

// Which of a connect call's texts hide passwords.
TraceSecret secretOf(const TraceCallRecord& record, uint32_t argIndex) {
  switch (record.functionId) {
    case SQL_API_SQLCONNECT:  // the password
      return argIndex == 5 ? TraceSecret::kWhole : TraceSecret::kNone;
    case SQL_API_SQLDRIVERCONNECT:  // the connect string and its completion
      return argIndex == 2 || argIndex == 4 ? TraceSecret::kConnectString : TraceSecret::kNone;
    case SQL_API_SQLBROWSECONNECT:  // the request and the result
      return argIndex == 1 || argIndex == 3 ? TraceSecret::kConnectString : TraceSecret::kNone;
    default:
      return TraceSecret::kNone;
  }
}

// A buffer length argument: SWORD by its low 16 bits, SDWORD by its low
// 32; false for every other type, SQLSMALLINT and SQLINTEGER among them,
// whose texts are measured up to their terminator instead.
bool bufferLength(const TraceCallRecord& record, uint32_t argIndex, int64_t* length) {
  if (!TraceHasArg(record, argIndex)) return false;
  const uint64_t value = record.values[argIndex];
  switch (record.typeCodes[argIndex]) {
    case TraceCode::kSWord:
      *length = static_cast<int16_t>(value);
      return true;
    case TraceCode::kSDWord:
      *length = static_cast<int32_t>(value);
      return true;
    default:
      return false;
  }
}

// What a returned-length pointer holds: a 32-bit length (SDWORD *,
// SQLINTEGER *), or SQL_NTS when it cannot be read; a 16-bit one (SWORD *
// only), or -9999 when it cannot be read; SQL_NTS for every other argument,
// an SQLSMALLINT * among them. A null pointer (the caller did not ask for
// the length) gives SQL_NTS: the text is then measured within its buffer.
int64_t returnedLength(const TraceCallRecord& record, uint32_t argIndex) {
  if (!TraceHasArg(record, argIndex)) return SQL_NTS;
  const void* pointer = reinterpret_cast<const void*>(static_cast<uintptr_t>(record.values[argIndex]));
  switch (record.typeCodes[argIndex]) {
    case TraceCode::kSDWordPtr:
    case TraceCode::kSqlIntegerPtr: {
      int32_t value;
      if (pointer == nullptr || !platform::copyWritable(&value, pointer, sizeof value)) {
        return SQL_NTS;
      }
      return value;
    }
    case TraceCode::kSWordPtr: {
      int16_t value;
      if (pointer == nullptr) return SQL_NTS;
      if (!platform::copyWritable(&value, pointer, sizeof value)) {
        return kUnreadableLength;
      }
      return value;
    }
    default:
      return SQL_NTS;
  }
}

// ---------------------------------------------------------------------------
// Reading text out of the application.
// ---------------------------------------------------------------------------

// `count` units at `address`, copied through the memory probe a block at a
// time as they are asked for.
template <typename Unit>
class MemoryUnits {
 public:
  MemoryUnits(uint64_t address, size_t count) : address_(address), count_(count) {}
  MemoryUnits(const MemoryUnits&) = delete;
  MemoryUnits& operator=(const MemoryUnits&) = delete;

  bool peek(Unit& out) {
    if (at_ == loaded_ && !load()) return false;
    out = block_[at_];
    return true;
  }
  bool next(Unit& out) {
    if (!peek(out)) return false;
    ++at_;
    return true;
  }
  // True when the text could not be read to its end.
  bool failed() const { return failed_; }

  // Reads the first block now and tells whether all `bytes` at the text's
  // address can be read: the block's copy answers for the bytes it holds,
  // a probe for the rest. A short text thus costs one read of the
  // application's memory, test included.
  bool prefetch(uint64_t bytes) {
    uint64_t held = 0;
    if (count_ > 0) {
      if (!load() || loaded_ < std::min(kBlockUnits, count_)) return false;
      held = loaded_ * sizeof(Unit);
    }
    return held >= bytes ||
           platform::isReadable(reinterpret_cast<const void*>(static_cast<uintptr_t>(address_ + held)),
                                static_cast<size_t>(bytes - held));
  }

 private:
  static constexpr size_t kBlockUnits = kBlockBytes / sizeof(Unit);

  bool load() {
    if (done_ == count_ || failed_) return false;
    const size_t want = std::min(kBlockUnits, count_ - done_);
    const void* from = reinterpret_cast<const void*>(static_cast<uintptr_t>(address_ + done_ * sizeof(Unit)));
    const size_t got = platform::copyMemory(block_, from, want * sizeof(Unit)) / sizeof(Unit);
    if (got == 0) {
      failed_ = true;
      return false;
    }
    done_ += got;
    loaded_ = got;
    at_ = 0;
    return true;
  }

  uint64_t address_;
  size_t count_;
  size_t done_ = 0;
  Unit block_[kBlockUnits];
  size_t loaded_ = 0;
  size_t at_ = 0;
  bool failed_ = false;
};

// UTF-16 units of `Source` as bytes of the process ANSI code page, a few
// hundred units at a time and never splitting a surrogate pair.
template <typename Source>
class AnsiBytes {
 public:
  explicit AnsiBytes(Source& source) : source_(source) {}
  AnsiBytes(const AnsiBytes&) = delete;
  AnsiBytes& operator=(const AnsiBytes&) = delete;

  bool next(uint8_t& out) {
    if (at_ == length_ && !convert()) return false;
    out = bytes_[at_++];
    return true;
  }
  bool failed() const { return source_.failed(); }

 private:
  static constexpr size_t kUnits = 128;

  bool convert() {
    size_t n = 0;
    while (n < kUnits && source_.next(units_[n])) ++n;
    if (n == 0) return false;
    // A high surrogate at the end takes its partner along.
    if (platform::utf16::isHighSurrogate(units_[n - 1]) && source_.next(units_[n])) ++n;
    int written = platform::wideToMultiByte(platform::kCodePageAnsi, units_, static_cast<int>(n),
                                            reinterpret_cast<char*>(bytes_), static_cast<int>(sizeof bytes_));
    if (written <= 0) {
      // Unit by unit, so one bad unit costs one '?'.
      written = 0;
      for (size_t i = 0; i < n; ++i) {
        char piece[8];
        const int k = platform::wideToMultiByte(platform::kCodePageAnsi, &units_[i], 1, piece, sizeof piece);
        if (k <= 0) {
          bytes_[written++] = '?';
        } else {
          std::memcpy(bytes_ + written, piece, static_cast<size_t>(k));
          written += k;
        }
      }
    }
    length_ = static_cast<size_t>(written);
    at_ = 0;
    return length_ > 0;
  }

  Source& source_;
  char16_t units_[kUnits + 1];
  uint8_t bytes_[(kUnits + 1) * 8];
  size_t length_ = 0;
  size_t at_ = 0;
};

// Narrow units as bytes.
template <typename Source>
class NarrowBytes {
 public:
  explicit NarrowBytes(Source& source) : source_(source) {}
  bool next(uint8_t& out) {
    char c;
    if (!source_.next(c)) return false;
    out = static_cast<uint8_t>(c);
    return true;
  }
  bool failed() const { return source_.failed(); }

 private:
  Source& source_;
};

// ---------------------------------------------------------------------------
// Quoting.
// ---------------------------------------------------------------------------

void appendBadMemory(RenderOut& out, uint64_t address, int64_t count) {
  out.append("...<BAD MEMORY after ");
  out.appendAddress(address);
  out.append(" [len=");
  out.appendSigned(count);
  out.append("]!>\n");
}

// The quoted bytes of `source`, as far as the room allows (an escape takes
// up to ten characters, so the loop stops with six left). `address` and
// `count` name the text when it cannot be read to its end.
template <typename Source>
void quote(RenderOut& out, Source& source, uint64_t address, int64_t count) {
  out.append('"');
  uint8_t byte;
  bool more = source.next(byte);
  while (more && out.room() >= 6) {
    if (byte >= 0x20 && byte < 0x7F) {
      out.append(static_cast<char>(byte));
    } else {
      // "\x%02x" of the byte sign-extended to 32 bits.
      const auto extended = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(byte)));
      out.append("\\x");
      out.appendHex(extended, byte < 0x80 ? 2 : 8, false);
    }
    more = source.next(byte);
  }
  if (source.failed()) {
    appendBadMemory(out, address, count);
    return;
  }
  if (more && out.room() > 3) out.append("...");
  if (out.room() >= 3) out.append("\"\n");
}

// `n` bytes of text at `address`, masked as `secret` says, quoted; false,
// with nothing written, when the `n` bytes cannot all be read.
bool quoteText(RenderOut& out, uint64_t address, uint64_t n, bool wide, TraceSecret secret) {
  if (wide) {
    MemoryUnits<char16_t> units(address, static_cast<size_t>(n / 2));
    if (!units.prefetch(n)) return false;
    TraceMaskedText<MemoryUnits<char16_t>, char16_t> masked(units, secret);
    AnsiBytes<decltype(masked)> bytes(masked);
    quote(out, bytes, address, static_cast<int64_t>(n));
  } else {
    MemoryUnits<char> units(address, static_cast<size_t>(n));
    if (!units.prefetch(n)) return false;
    TraceMaskedText<MemoryUnits<char>, char> masked(units, secret);
    NarrowBytes<decltype(masked)> bytes(masked);
    quote(out, bytes, address, static_cast<int64_t>(n));
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Public operations.
// ---------------------------------------------------------------------------

TraceMeasured TraceMeasureText(uint64_t address, bool wide, uint64_t limit, uint64_t* bytes) {
  const size_t unit = wide ? 2 : 1;
  limit -= limit % unit;
  char block[kBlockBytes];
  uint64_t done = 0;
  *bytes = 0;
  while (done < limit) {
    // Blocks end at page boundaries (pages are multiples of 4096 bytes),
    // so no page past the terminator's is touched; only a UTF-16 unit that
    // straddles two pages is read across.
    const uint64_t toPageEnd = kPageBlock - (address + done) % kPageBlock;
    uint64_t span = std::min<uint64_t>({sizeof block, limit - done, std::max<uint64_t>(toPageEnd, unit)});
    span -= span % unit;
    const auto want = static_cast<size_t>(span);
    const void* from = reinterpret_cast<const void*>(static_cast<uintptr_t>(address + done));
    const size_t got = platform::copyMemory(block, from, want);
    const size_t whole = got - got % unit;
    for (size_t i = 0; i < whole; i += unit) {
      if (block[i] == 0 && (unit == 1 || block[i + 1] == 0)) {
        *bytes = done + i + unit;
        return TraceMeasured::kTerminated;
      }
    }
    done += whole;
    *bytes = done;
    if (got < want) return TraceMeasured::kUnreadable;
  }
  *bytes = limit;
  return TraceMeasured::kLimit;
}

size_t TraceQuoteBytes(char* buffer, size_t room, uint64_t bytes, int64_t count) {
  RenderOut out(buffer, room);
  if (count < 0 || !quoteText(out, bytes, static_cast<uint64_t>(count), false, TraceSecret::kNone)) {
    appendBadMemory(out, bytes, count);
  }
  return out.length();
}

size_t TraceDumpText(char* buffer, size_t room, const TraceText& text) {
  RenderOut out(buffer, room);
  int64_t textLength = text.textLength;
  int64_t bufferLength = text.bufferLength;
  if (text.address == 0) {
    out.append("<empty string>\n");
    return out.length();
  }
  if (textLength == SQL_NTS && text.lengthGiven && bufferLength >= 0) {
    // Input text with a length: that many bytes, terminator or not.
    textLength = bufferLength;
  } else if (textLength == SQL_NTS) {
    // Searched within the buffer when its length is known, else far enough
    // to fill the room (a UTF-16 character may take four bytes of text
    // for one byte of the log); a longer text shows as cut.
    const uint64_t limit = bufferLength >= 0 ? static_cast<uint64_t>(bufferLength) : uint64_t{room} * 4 + 8;
    uint64_t bytes = 0;
    if (TraceMeasureText(text.address, text.wide, limit, &bytes) == TraceMeasured::kUnreadable) {
      out.append("<Bad null-terminated string!>\n");
      return out.length();
    }
    textLength = bufferLength = static_cast<int64_t>(bytes);
  }
  if (textLength == 0) {
    out.append("<zero length>\n");
    return out.length();
  }
  if (textLength < 0 || bufferLength < 0) {
    out.append("<Invalid string length!>\n");
    return out.length();
  }
  const int64_t n = std::min(textLength, bufferLength);
  if (!quoteText(out, text.address, static_cast<uint64_t>(n), text.wide, text.secret)) {
    out.append("<Buffer at ");
    out.appendAddress(text.address);
    out.append(" isn't ");
    out.appendSigned(n);
    out.append(" bytes long>\n");
  }
  return out.length();
}

size_t TraceFormatStringArg(char* buffer, size_t room, const TraceCallRecord& record, uint32_t argIndex,
                            int noOutput, int wide) {
  RenderOut out(buffer, room);
  const uint64_t address = TraceHasArg(record, argIndex) ? record.values[argIndex] : 0;
  out.append(' ');
  out.appendAddress(address);
  out.append(' ');
  const TextRule& rule = textRule(record, argIndex);
  if (noOutput != 0 ? !rule.input : !rule.output) {
    out.append('\n');
    return out.length();
  }
  int64_t given = 0;
  const bool hasBufferLength =
      rule.bufferLengthOffset != 0 && bufferLength(record, argIndex + rule.bufferLengthOffset, &given);
  const int64_t returned =
      rule.returnedLengthOffset != 0 ? returnedLength(record, argIndex + rule.returnedLengthOffset) : SQL_NTS;
  const int64_t shown = hasBufferLength ? given : returned;
  out.append('[');
  out.appendSigned(std::min(returned, shown), 8);
  out.append("] ");

  // A text argument of a wide function counts its lengths in characters;
  // a value buffer counts bytes.
  const uint32_t code = TraceHasArg(record, argIndex) ? record.typeCodes[argIndex] : 0;
  const bool characters = wide != 0 && (code == TraceCode::kUCharPtr || code == TraceCode::kSqlCharPtr ||
                                        code == TraceCode::kWCharPtr || code == TraceCode::kSqlWCharPtr);
  auto bytes = [characters](int64_t length) { return characters && length > 0 ? length * 2 : length; };
  const TraceText text{address, bytes(returned), bytes(shown), wide != 0, noOutput != 0, secretOf(record, argIndex)};
  out.advance(TraceDumpText(out.end(), out.room(), text));
  return out.length();
}
