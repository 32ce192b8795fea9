// The renderer's numbers, addresses, constant names and value buffers; text
// is render_text.cpp. What an argument points to is copied out through the
// memory probe after its access test, never read in place.

#include "render.h"

#include <cstring>

#include "constants.h"
#include "odbc_headers.h"
#include "platform/memory.h"
#include "render_out.h"
#include "trace.h"
#include "trace_codes.h"

namespace {

uint64_t valueOf(const TraceCallRecord& record, uint32_t argIndex) {
  return TraceHasArg(record, argIndex) ? record.values[argIndex] : 0;
}

// " 0x%016p\n".
void appendAddressLine(RenderOut& out, uint64_t value) {
  out.append(' ');
  out.appendAddress(value);
  out.append('\n');
}

const void* pointerOf(uint64_t value) { return reinterpret_cast<const void*>(static_cast<uintptr_t>(value)); }

// ---------------------------------------------------------------------------
// Pointed values.
// ---------------------------------------------------------------------------

// How a pointed value is read and shown.
enum class Pointed : uint8_t { kInt8, kUInt8, kInt16, kUInt16, kInt32, kUInt32, kInt64, kUInt64, kMask32, kHandle };

size_t widthOf(Pointed kind) {
  switch (kind) {
    case Pointed::kInt8:
    case Pointed::kUInt8:
      return 1;
    case Pointed::kInt16:
    case Pointed::kUInt16:
      return 2;
    case Pointed::kInt32:
    case Pointed::kUInt32:
    case Pointed::kMask32:
      return 4;
    case Pointed::kInt64:
    case Pointed::kUInt64:
    case Pointed::kHandle:
      break;
  }
  return 8;
}

// " 0x%016p (value)\n" for a pointer to a value of `kind`, read only after
// a write test of its width passes; " 0x%016p\n" with 0 for a null
// pointer; " 0x%016p (BADMEM)\n" when the test or the read fails.
void appendPointed(RenderOut& out, uint64_t pointer, Pointed kind) {
  if (pointer == 0) {
    appendAddressLine(out, pointer);
    return;
  }
  out.append(' ');
  out.appendAddress(pointer);
  const size_t width = widthOf(kind);
  unsigned char bytes[8] = {};
  if (!platform::copyWritable(bytes, pointerOf(pointer), width)) {
    out.append(" (BADMEM)\n");
    return;
  }
  uint64_t raw = 0;
  std::memcpy(&raw, bytes, sizeof raw);  // little-endian: the low bytes are the value
  out.append(" (");
  switch (kind) {
    case Pointed::kInt8:
      out.appendSigned(static_cast<int8_t>(raw));
      break;
    case Pointed::kUInt8:
      out.appendUnsigned(static_cast<uint8_t>(raw));
      break;
    case Pointed::kInt16:
      out.appendSigned(static_cast<int16_t>(raw));
      break;
    case Pointed::kUInt16:
      out.appendUnsigned(static_cast<uint16_t>(raw));
      break;
    case Pointed::kInt32:
      out.appendSigned(static_cast<int32_t>(raw));
      break;
    case Pointed::kUInt32:
      out.appendUnsigned(static_cast<uint32_t>(raw));
      break;
    case Pointed::kInt64:
      out.appendSigned(static_cast<int64_t>(raw));
      break;
    case Pointed::kUInt64:
      out.appendUnsigned(raw);
      break;
    case Pointed::kMask32:
      out.append("0x");
      out.appendHex(raw, 8, true);
      break;
    case Pointed::kHandle:
      out.append(' ');
      out.appendAddress(raw);
      break;
  }
  out.append(")\n");
}

// An output buffer's address (a handle pointer's too), and where outputs
// are shown the value the call returned in it.
void appendReturned(RenderOut& out, uint64_t pointer, int noOutput, Pointed kind) {
  if (noOutput != 0) {
    appendAddressLine(out, pointer);
    return;
  }
  appendPointed(out, pointer, kind);
}

// ---------------------------------------------------------------------------
// Value buffers.
// ---------------------------------------------------------------------------

// The C type behind the integer render codes of SQLGetData's buffer types.
bool getDataInteger(uint32_t renderCode, Pointed* kind) {
  switch (renderCode) {
    case TraceCode::kSqlSmallInt:
      *kind = Pointed::kInt16;
      return true;
    case TraceCode::kUWord:
      *kind = Pointed::kUInt16;
      return true;
    case TraceCode::kSqlInteger:
    case TraceCode::kSDWord:
      *kind = Pointed::kInt32;
      return true;
    case TraceCode::kUDWord:
      *kind = Pointed::kUInt32;
      return true;
    case TraceCode::kBool:  // SQL_C_BIT: one byte
      *kind = Pointed::kUInt8;
      return true;
    default:
      return false;
  }
}

// SQLGetData's value buffer, by the buffer type in argument 2. It is an
// output: integers show what the call returned in it, text as text.
size_t formatGetDataBuffer(RenderOut& out, const TraceCallRecord& record, uint32_t argIndex, int noOutput) {
  const uint32_t code = TraceBufferTypeRenderCode(static_cast<int16_t>(valueOf(record, 2)));
  Pointed kind;
  if (getDataInteger(code, &kind)) {
    appendReturned(out, valueOf(record, argIndex), noOutput, kind);
    return out.length();
  }
  out.advance(TraceFormatArg(record, argIndex, noOutput, out.end(), out.room(), code));
  return out.length();
}

// Functions whose value buffer is an output the call fills, not a value it
// is given.
bool isGetter(uint32_t functionId) {
  switch (functionId) {
    case SQL_API_SQLCOLATTRIBUTE:
    case SQL_API_SQLGETINFO:
    case SQL_API_SQLGETCONNECTATTR:
    case SQL_API_SQLGETENVATTR:
    case SQL_API_SQLGETSTMTATTR:
      return true;
    default:
      return false;
  }
}

// Handle-valued results among those shown as addresses (the rest are
// 32-bit masks).
bool isHandleResult(uint32_t functionId, int32_t key) {
  struct Row {
    uint32_t functionId;
    int32_t key;
  };
  static constexpr Row kRows[] = {
      {SQL_API_SQLGETINFO, SQL_DRIVER_HDBC},  {SQL_API_SQLGETINFO, SQL_DRIVER_HENV},
      {SQL_API_SQLGETINFO, SQL_DRIVER_HSTMT}, {SQL_API_SQLGETINFO, SQL_DRIVER_HLIB},
      {SQL_API_SQLGETINFO, SQL_DRIVER_HDESC}, {SQL_API_SQLGETCONNECTATTR, SQL_ATTR_QUIET_MODE},
  };
  for (const Row& row : kRows) {
    if (row.functionId == functionId && row.key == key) return true;
  }
  return false;
}

// A getter's value buffer: the value the call returned through it, read
// where outputs are shown, by the kind of its attribute.
void formatGetterBuffer(RenderOut& out, const TraceCallRecord& record, uint32_t argIndex, int noOutput,
                        const TraceValueKindResult& kind) {
  const uint64_t pointer = valueOf(record, argIndex);
  if (kind.renderCode == TraceCode::kSqlCharPtr || kind.renderCode == TraceCode::kSqlWCharPtr) {
    if (record.functionId == SQL_API_SQLCOLATTRIBUTE) {
      // A text attribute is returned in argument 3; this one is unused.
      appendAddressLine(out, pointer);
      return;
    }
    out.advance(TraceFormatStringArg(out.end(), out.room(), record, argIndex, noOutput,
                                     kind.renderCode == TraceCode::kSqlWCharPtr ? 1 : 0));
    return;
  }
  Pointed pointed = Pointed::kUInt32;
  if (record.functionId == SQL_API_SQLCOLATTRIBUTE) {
    pointed = Pointed::kInt64;  // the numeric attribute is an SQLLEN
  } else if (kind.renderCode == TraceCode::kUWord) {
    pointed = Pointed::kUInt16;
  } else if (kind.renderCode == TraceCode::kAddress) {
    pointed = isHandleResult(record.functionId, kind.key) ? Pointed::kHandle : Pointed::kMask32;
  }
  appendReturned(out, pointer, noOutput, pointed);
}

// SQLColAttribute's character attribute (argument 3): text when the field
// in argument 2 is a text field, else a plain address.
bool formatColAttributeText(RenderOut& out, const TraceCallRecord& record, uint32_t argIndex, int noOutput) {
  if (record.functionId != SQL_API_SQLCOLATTRIBUTE || argIndex != 3 || !TraceHasArg(record, 6)) return false;
  const TraceValueKindResult kind = TraceLookupValueKind(record, 6);
  if (kind.outcome != TraceLookup::kFound ||
      (kind.renderCode != TraceCode::kSqlCharPtr && kind.renderCode != TraceCode::kSqlWCharPtr)) {
    return false;
  }
  out.advance(TraceFormatStringArg(out.end(), out.room(), record, argIndex, noOutput,
                                   kind.renderCode == TraceCode::kSqlWCharPtr ? 1 : 0));
  return true;
}

// ---------------------------------------------------------------------------
// Integers.
// ---------------------------------------------------------------------------

// "   %8hd " style: three blanks, the number right-aligned in 8, a blank,
// then the constant's name.
void appendNamedInteger(RenderOut& out, const TraceCallRecord& record, uint32_t argIndex, int64_t value,
                        bool isUnsigned) {
  out.append("   ");
  if (isUnsigned) {
    out.appendUnsigned(static_cast<uint64_t>(value), 8);
  } else {
    out.appendSigned(value, 8);
  }
  out.append(' ');
  out.advance(TraceFormatConstant(out.end(), out.room(), record, argIndex));
}

void appendNumberLine(RenderOut& out, int64_t value, bool isUnsigned) {
  out.append(' ');
  if (isUnsigned) {
    out.appendUnsigned(static_cast<uint64_t>(value), 10);
  } else {
    out.appendSigned(value, 10);
  }
  out.append('\n');
}

}  // namespace

// ---------------------------------------------------------------------------
// Public operations.
// ---------------------------------------------------------------------------

uint32_t TraceBufferTypeRenderCode(int16_t bufferType) {
  const int32_t at = int32_t{bufferType} - traceBufferTypeCodeFirst;
  if (at < 0 || static_cast<size_t>(at) >= traceBufferTypeCodeCount) return TraceCode::kNone;
  return traceBufferTypeCodes[at];
}

size_t TraceFormatConstant(char* buffer, size_t room, const TraceCallRecord& record, uint32_t argIndex) {
  RenderOut out(buffer, room);
  const TraceNameResult name = TraceLookupName(record, argIndex);
  switch (name.outcome) {
    case TraceLookup::kFound:
      out.append('<');
      out.append(name.name != nullptr ? name.name : "");
      out.append(">\n");
      break;
    case TraceLookup::kNotFound:
      out.append("<unknown>\n");
      break;
    case TraceLookup::kNoTable:
      out.append('\n');
      break;
  }
  return out.length();
}

size_t TraceFormatValueBuffer(char* buffer, size_t room, const TraceCallRecord& record, uint32_t argIndex,
                              int noOutput) {
  RenderOut out(buffer, room);
  if (record.functionId == SQL_API_SQLGETDATA && argIndex == 3) {
    return formatGetDataBuffer(out, record, argIndex, noOutput);
  }
  if (formatColAttributeText(out, record, argIndex, noOutput)) return out.length();
  const TraceValueKindResult kind = TraceLookupValueKind(record, argIndex);
  switch (kind.outcome) {
    case TraceLookup::kFound:
      if (isGetter(record.functionId)) {
        formatGetterBuffer(out, record, argIndex, noOutput, kind);
      } else {
        // A value the call is given: the argument itself holds it (or
        // points to its text).
        out.advance(TraceFormatArg(record, argIndex, noOutput, out.end(), out.room(), kind.renderCode));
      }
      break;
    case TraceLookup::kNotFound:
      out.append(" [Unknown attribute ");
      out.appendSigned(kind.key);
      out.append("]\n");
      break;
    case TraceLookup::kNoTable:
      out.appendAddress(valueOf(record, argIndex));
      out.append('\n');
      break;
  }
  return out.length();
}

size_t TraceFormatArg(const TraceCallRecord& record, uint32_t argIndex, int noOutput, char* buffer, size_t room,
                      uint32_t typeCode) {
  RenderOut out(buffer, room);
  const uint64_t value = valueOf(record, argIndex);
  switch (typeCode) {
    case TraceCode::kNone:
      out.append(" <unknown type>\n");
      break;
    case TraceCode::kHenv:  // handles and the window handle
    case TraceCode::kHdbc:
    case TraceCode::kHstmt:
    case TraceCode::kHwnd:
    case TraceCode::kSqlHandle:
    case TraceCode::kSqlHStmt:
    case TraceCode::kSqlHDesc:
    case TraceCode::kSqlHDbc:
    case TraceCode::kSqlHEnv:
      appendAddressLine(out, value);
      break;
    case TraceCode::kHdbcPtr:  // pointers to handles
    case TraceCode::kHenvPtr:
    case TraceCode::kHstmtPtr:
    case TraceCode::kSqlHandlePtr:
      appendReturned(out, value, noOutput, Pointed::kHandle);
      break;
    case TraceCode::kUWord:
      appendNamedInteger(out, record, argIndex, static_cast<uint16_t>(value), true);
      break;
    case TraceCode::kSWord:
    case TraceCode::kSqlSmallInt:
      appendNamedInteger(out, record, argIndex, static_cast<int16_t>(value), false);
      break;
    case TraceCode::kBool:  // 32-bit: shown whole, not by their low 16 bits
    case TraceCode::kSqlInteger:
      appendNamedInteger(out, record, argIndex, static_cast<int32_t>(value), false);
      break;
    case TraceCode::kPtr:  // untyped pointers
    case TraceCode::kPtrPtr:
    case TraceCode::kSqlPointer:
      out.advance(TraceFormatValueBuffer(out.end(), out.room(), record, argIndex, noOutput));
      break;
    case TraceCode::kSDWord:
      appendNumberLine(out, static_cast<int32_t>(value), false);
      break;
    case TraceCode::kSqlLen:  // all 64 bits
      appendNumberLine(out, static_cast<int64_t>(value), false);
      break;
    case TraceCode::kUDWord:
      appendNumberLine(out, static_cast<uint32_t>(value), true);
      break;
    case TraceCode::kSqlULen:  // all 64 bits
      appendNumberLine(out, static_cast<int64_t>(value), true);
      break;
    case TraceCode::kSDWordPtr:
    case TraceCode::kSqlIntegerPtr:
      appendPointed(out, value, Pointed::kInt32);
      break;
    case TraceCode::kSWordPtr:
    case TraceCode::kSqlSmallIntPtr:
      appendPointed(out, value, Pointed::kInt16);
      break;
    case TraceCode::kUDWordPtr:
      appendPointed(out, value, Pointed::kUInt32);
      break;
    case TraceCode::kUWordPtr:
      appendPointed(out, value, Pointed::kUInt16);
      break;
    case TraceCode::kSqlLenPtr:
      appendPointed(out, value, Pointed::kInt64);
      break;
    case TraceCode::kSqlULenPtr:
      appendPointed(out, value, Pointed::kUInt64);
      break;
    case TraceCode::kUCharPtr:
    case TraceCode::kSqlCharPtr:
      out.advance(TraceFormatStringArg(out.end(), out.room(), record, argIndex, noOutput, 0));
      break;
    case TraceCode::kWCharPtr:
    case TraceCode::kSqlWCharPtr:
      out.advance(TraceFormatStringArg(out.end(), out.room(), record, argIndex, noOutput, 1));
      break;
    default:
      // Floating-point, tiny and big integer, date and time buffers, and
      // codes no export stores, show no value; the line still ends.
      out.append('\n');
      break;
  }
  return out.length();
}
