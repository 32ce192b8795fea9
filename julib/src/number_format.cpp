// Integers to decimal text in every character width, and fixed-width fields.
//
// The formatters write no terminator and nothing at all when the digits do
// not fit; the "juFormat..." forms write into kJuNumberBufferSize characters
// and terminate.

#include <algorithm>
#include <cstring>

#include "julib/numbers.h"

namespace {

// The longest decimal text: "-9223372036854775808" and "18446744073709551615"
// both have 20 characters.
constexpr size_t kMaxDecimalChars = 20;
static_assert(kMaxDecimalChars + 1 <= kJuNumberBufferSize, "terminated forms must hold every value");

// How each character width spells a digit and the minus sign.
struct Narrow {
  using Char = char;
  static Char digit(unsigned d) { return static_cast<Char>('0' + d); }
  static Char minus() { return '-'; }
};
struct Wide {
  using Char = char16_t;
  static Char digit(unsigned d) { return static_cast<Char>(u'0' + d); }
  static Char minus() { return u'-'; }
};
struct Wide32 {
  using Char = char32_t;
  static Char digit(unsigned d) { return static_cast<Char>(U'0' + d); }
  static Char minus() { return U'-'; }
};
// Big-endian UTF-16 read as little-endian units: '7' is 0x3700.
struct WideSwapped {
  using Char = char16_t;
  static Char digit(unsigned d) { return static_cast<Char>((0x30 + d) << 8); }
  static Char minus() { return 0x2D00; }
};

size_t countDigits(uint64_t value) {
  size_t digits = 1;
  for (; value >= 10; value /= 10) ++digits;
  return digits;
}

template <typename Form>
size_t formatUnsigned(typename Form::Char* buffer, size_t size, uint64_t value) {
  const size_t digits = countDigits(value);
  if (size < digits) return 0;
  for (size_t i = digits; i-- > 0; value /= 10) buffer[i] = Form::digit(static_cast<unsigned>(value % 10));
  return digits;
}

template <typename Form>
size_t formatSigned(typename Form::Char* buffer, size_t size, int64_t value) {
  if (value >= 0) return formatUnsigned<Form>(buffer, size, static_cast<uint64_t>(value));
  if (size < 2) return 0;
  // Negated as unsigned, so the minimum has its magnitude too.
  const uint64_t magnitude = uint64_t{0} - static_cast<uint64_t>(value);
  const size_t digits = formatUnsigned<Form>(buffer + 1, size - 1, magnitude);
  if (digits == 0) return 0;
  buffer[0] = Form::minus();
  return digits + 1;
}

// Terminates what a formatter wrote into a kJuNumberBufferSize buffer; the
// formatter was given one character less, so the terminator always fits.
template <typename Char>
size_t terminate(Char* buffer, size_t written) {
  buffer[written] = 0;
  return written;
}

constexpr size_t kTerminatedRoom = kJuNumberBufferSize - 1;

// At most this many digit positions in a fixed-width field.
constexpr size_t kFixedMaxDigits = 10;

}  // namespace

// ---------------------------------------------------------------------------
// Formatters.
// ---------------------------------------------------------------------------

size_t juUInt32ToStr(char* buffer, size_t size, uint32_t value) { return formatUnsigned<Narrow>(buffer, size, value); }
size_t juUInt64ToStr(char* buffer, size_t size, uint64_t value) { return formatUnsigned<Narrow>(buffer, size, value); }
size_t juInt32ToStr(char* buffer, size_t size, int32_t value) { return formatSigned<Narrow>(buffer, size, value); }
size_t juInt64ToStr(char* buffer, size_t size, int64_t value) { return formatSigned<Narrow>(buffer, size, value); }

size_t juUInt32ToStr32(char32_t* buffer, size_t size, uint32_t value) {
  return formatUnsigned<Wide32>(buffer, size, value);
}
size_t juUInt64ToStr32(char32_t* buffer, size_t size, uint64_t value) {
  return formatUnsigned<Wide32>(buffer, size, value);
}
size_t juInt64ToStr32(char32_t* buffer, size_t size, int64_t value) {
  return formatSigned<Wide32>(buffer, size, value);
}

size_t juUInt32ToWStr(char16_t* buffer, size_t size, uint32_t value) {
  return formatUnsigned<Wide>(buffer, size, value);
}
size_t juUInt64ToWStr(char16_t* buffer, size_t size, uint64_t value) {
  return formatUnsigned<Wide>(buffer, size, value);
}
size_t juInt32ToWStr(char16_t* buffer, size_t size, int32_t value) { return formatSigned<Wide>(buffer, size, value); }
size_t juInt64ToWStr(char16_t* buffer, size_t size, int64_t value) { return formatSigned<Wide>(buffer, size, value); }

size_t juUInt32ToWStrSwapped(char16_t* buffer, size_t size, uint32_t value) {
  return formatUnsigned<WideSwapped>(buffer, size, value);
}
size_t juUInt64ToWStrSwapped(char16_t* buffer, size_t size, uint64_t value) {
  return formatUnsigned<WideSwapped>(buffer, size, value);
}
size_t juInt32ToWStrSwapped(char16_t* buffer, size_t size, int32_t value) {
  return formatSigned<WideSwapped>(buffer, size, value);
}
size_t juInt64ToWStrSwapped(char16_t* buffer, size_t size, int64_t value) {
  return formatSigned<WideSwapped>(buffer, size, value);
}

// ---------------------------------------------------------------------------
// Terminated forms.
// ---------------------------------------------------------------------------

size_t juFormatInt64(char* buffer, int64_t value) {
  return terminate(buffer, juInt64ToStr(buffer, kTerminatedRoom, value));
}
size_t juFormatUInt64(char* buffer, uint64_t value) {
  return terminate(buffer, juUInt64ToStr(buffer, kTerminatedRoom, value));
}
size_t juFormatUInt32Str32(char32_t* buffer, uint32_t value) {
  return terminate(buffer, juUInt32ToStr32(buffer, kTerminatedRoom, value));
}
size_t juFormatInt32W(char16_t* buffer, int32_t value) {
  return terminate(buffer, juInt32ToWStr(buffer, kTerminatedRoom, value));
}
size_t juFormatUInt32W(char16_t* buffer, uint32_t value) {
  return terminate(buffer, juUInt32ToWStr(buffer, kTerminatedRoom, value));
}
size_t juFormatInt64W(char16_t* buffer, int64_t value) {
  return terminate(buffer, juInt64ToWStr(buffer, kTerminatedRoom, value));
}
size_t juFormatUInt64W(char16_t* buffer, uint64_t value) {
  return terminate(buffer, juUInt64ToWStr(buffer, kTerminatedRoom, value));
}

// ---------------------------------------------------------------------------
// Fixed-width fields.
// ---------------------------------------------------------------------------

size_t juFormatFixed(char* buffer, uint16_t width, uint64_t value, int16_t leftAlign) {
  std::memset(buffer, ' ', width);
  buffer[width] = '\0';
  // The digit positions: the whole field, or its first or last ten.
  const size_t positions = std::min<size_t>(width, kFixedMaxDigits);
  const size_t first = leftAlign != 0 ? 0 : width - positions;
  const size_t digits = value == 0 ? 0 : countDigits(value);
  if (digits > positions) {
    std::memset(buffer + first, '*', positions);
    return 0;
  }
  const size_t start = leftAlign != 0 ? first : first + positions - digits;
  for (size_t i = digits; i-- > 0; value /= 10) buffer[start + i] = static_cast<char>('0' + value % 10);
  return digits;
}

// The magnitude goes into the field's last width - 1 positions, the sign in
// front of it. The field's first position is set too (blank, '-' or '*'),
// and a field of width 0 gets only its terminator.
size_t juFormatFixedInt64(char* buffer, uint16_t width, int64_t value, int16_t leftAlign) {
  if (value >= 0) return juFormatFixed(buffer, width, static_cast<uint64_t>(value), leftAlign);
  if (width == 0) {
    buffer[0] = '\0';
    return 0;
  }
  const uint64_t magnitude = uint64_t{0} - static_cast<uint64_t>(value);
  const uint16_t inner = static_cast<uint16_t>(width - 1);
  buffer[0] = ' ';
  const size_t digits = juFormatFixed(buffer + 1, inner, magnitude, leftAlign);
  if (digits == 0) {
    // The magnitude did not fit: the sign's position joins the run of '*'
    // instead of standing after it.
    const size_t positions = std::min<size_t>(inner, kFixedMaxDigits);
    buffer[leftAlign != 0 ? 0 : width - positions - 1] = '*';
    return 0;
  }
  buffer[leftAlign != 0 ? 0 : width - digits - 1] = '-';
  return digits;
}
