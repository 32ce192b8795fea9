// Parameter strings: message templates whose numbered markers ("%s1",
// "%d2", "%sx10") are filled one parameter at a time.
//
// A marker matches only as a whole: "%s1" is not the start of "%s10", since
// a match followed by a digit of the template is no match. A parameter's
// text is never searched for later markers: the string remembers the ranges
// that parameters filled and the search steps over them.

#include <algorithm>
#include <cstring>
#include <string>

#include "julib/internal/filled_ranges.h"
#include "julib/numbers.h"
#include "julib/object.h"
#include "julib/strings.h"
#include "array_growth.h"
#include "cstring_internal.h"
#include "param_string_internal.h"
#include "string_buffers.h"

namespace julib::internal {

void FilledRanges::clear() {
  juFree(items);
  items = nullptr;
  count = 0;
  capacity = 0;
}

int FilledRanges::reserveOne() {
  if (count < capacity) return 0;
  const size_t grown = nextCapacity(capacity, 4);
  if (grown == 0 || !resizeArray(items, grown)) return 1;
  capacity = grown;
  return 0;
}

void FilledRanges::insert(size_t index, TextRange range) {
  std::memmove(items + index + 1, items + index, (count - index) * sizeof(TextRange));
  items[index] = range;
  ++count;
}

}  // namespace julib::internal

namespace {

using julib::internal::FilledRanges;
using julib::internal::TextRange;

// "%" type ["x"] counter, terminated; the "x" from 10 on keeps "%s1" from
// being the start of the tenth marker. Returns its length.
template <typename Char>
size_t makeMarker(Char* out, Char type, uint16_t counter) {
  size_t n = 0;
  out[n++] = '%';
  out[n++] = type;
  if (counter >= 10) out[n++] = 'x';
  char digits[8];
  const size_t d = juUInt32ToStr(digits, sizeof digits, counter);
  for (size_t i = 0; i < d; ++i) out[n++] = static_cast<Char>(digits[i]);
  out[n] = 0;
  return n;
}

// Room for '%', the type, 'x', five digits and the terminator.
constexpr size_t kMarkerSize = 9;

template <typename Char>
bool isDigit(Char c) {
  return c >= '0' && c <= '9';
}

// Replaces every occurrence of `marker` outside the filled ranges by
// (text, n) and records each inserted range. The search resumes after the
// inserted text; a text from the string's own buffer is read as it was at
// the call. 0, or 1 when the string or the range list cannot grow; the
// replacements made before stay.
template <typename Str, typename Char>
int fillMarker(Str& s, FilledRanges& filled, const Char* marker, size_t markerLength, const Char* text, size_t n) {
  julib::internal::StableSource<Char> source;
  if (!source.hold(text, n, s)) return 1;
  size_t k = 0;  // first range that ends after the candidate
  size_t from = 0;
  while (from < s.length) {
    const size_t pos = s.find(marker, from);
    if (pos >= s.length) break;
    const size_t end = pos + markerLength;
    while (k < filled.count && filled.items[k].end <= pos) ++k;
    if (k < filled.count && filled.items[k].start < end) {
      // The candidate lies in, or reaches into, a parameter's text.
      from = std::max(filled.items[k].end, pos + 1);
      continue;
    }
    // A template digit right after it makes it the start of a longer
    // marker; a digit that a parameter put there does not.
    const bool rangeFollows = k < filled.count && filled.items[k].start == end;
    if (end < s.length && isDigit(s.data[end]) && !rangeFollows) {
      from = pos + 1;
      continue;
    }
    if (filled.reserveOne() != 0) return 1;
    // replace measures a text given with length 0: pass none to delete.
    if (s.replace(pos, markerLength, n != 0 ? text : nullptr, n) != 0) return 1;
    for (size_t j = k; j < filled.count; ++j) {
      filled.items[j].start = filled.items[j].start - markerLength + n;
      filled.items[j].end = filled.items[j].end - markerLength + n;
    }
    filled.insert(k++, TextRange{pos, pos + n});
    from = pos + n;
  }
  return 0;
}

template <typename Char>
size_t textLength(const Char* text) {
  return text == nullptr ? 0 : std::char_traits<Char>::length(text);
}

}  // namespace

// ===========================================================================
// JuParamString
// ===========================================================================

JuParamString::~JuParamString() = default;

using julib::internal::setTemplate;

int JuParamString::assign(const char* text) {
  return setTemplate(*this, filled_, [&] { return JuString::assign(text); });
}

int JuParamString::assign(const char* text, JuCodePageKind kind) {
  return setTemplate(*this, filled_, [&] { return JuString::assign(text, kind); });
}

int JuParamString::assign(const char* text, size_t n) {
  return setTemplate(*this, filled_, [&] { return JuString::assign(text, n); });
}

int JuParamString::assign(const char* text, size_t n, JuCodePageKind kind) {
  return setTemplate(*this, filled_, [&] { return JuString::assign(text, n, kind); });
}

int JuParamString::allocate(size_t capacity) {
  return setTemplate(*this, filled_, [&] { return JuString::allocate(capacity); });
}

int JuParamString::allocate(size_t capacity, JuCodePageKind kind) {
  return setTemplate(*this, filled_, [&] { return JuString::allocate(capacity, kind); });
}

int JuParamString::fillNext(char type, const char* text, size_t n) {
  ++paramCounter;
  char marker[kMarkerSize];
  const size_t markerLength = makeMarker(marker, type, paramCounter);
  if (fillMarker(*this, filled_, marker, markerLength, text, n) != 0) {
    flags |= kErrorFlag;
    return 1;
  }
  return 0;
}

int JuParamString::addParam(const JuSubString& view) { return fillNext('s', view.data, view.length); }

int JuParamString::addParam(const char* text) { return fillNext('s', text, textLength(text)); }

int JuParamString::addParam(int64_t value) {
  char digits[kJuNumberBufferSize];
  return fillNext('d', digits, juFormatInt64(digits, value));
}

int JuParamString::addParam(uint64_t value) {
  char digits[kJuNumberBufferSize];
  return fillNext('d', digits, juFormatUInt64(digits, value));
}

int JuParamString::addQuotedParam(const char* text, char quote) {
  JuString quoted(kind);
  if (quoted.assign(text != nullptr ? text : "", kind) != 0 || quoted.quote(quote) != 0) {
    flags |= kErrorFlag;
    return 1;
  }
  return addParam(quoted);
}

JuParamString& JuParamString::operator<<(const JuSubString& view) {
  if ((flags & kErrorFlag) == 0) addParam(view);
  return *this;
}

JuParamString& JuParamString::operator<<(const char* text) {
  if ((flags & kErrorFlag) == 0) addParam(text);
  return *this;
}

JuParamString& JuParamString::operator<<(int64_t value) {
  if ((flags & kErrorFlag) == 0) addParam(value);
  return *this;
}

JuParamString& JuParamString::operator<<(uint64_t value) {
  if ((flags & kErrorFlag) == 0) addParam(value);
  return *this;
}

// ===========================================================================
// JuParamStringW
// ===========================================================================

JuParamStringW::~JuParamStringW() = default;

int JuParamStringW::assign(const char16_t* text) {
  return setTemplate(*this, filled_, [&] { return JuStringW::assign(text); });
}

int JuParamStringW::assign(const char16_t* text, size_t n) {
  return setTemplate(*this, filled_, [&] { return JuStringW::assign(text, n); });
}

int JuParamStringW::allocate(size_t capacity) {
  return setTemplate(*this, filled_, [&] { return JuStringW::allocate(capacity); });
}

int JuParamStringW::assignFromMultiByte(const char* text, JuCodePageKind kind) {
  const size_t n = julib::internal::terminatedBytes(text, kind);
  return setTemplate(*this, filled_,
                     [&] { return JuStringW::assignFromMultiByte(text != nullptr ? text : "", n, kind); });
}

int JuParamStringW::fillNext(char16_t type, const char16_t* text, size_t n) {
  ++paramCounter;
  char16_t marker[kMarkerSize];
  const size_t markerLength = makeMarker(marker, type, paramCounter);
  if (fillMarker(*this, filled_, marker, markerLength, text, n) != 0) {
    flags |= kErrorFlag;
    return 1;
  }
  return 0;
}

int JuParamStringW::addParam(const JuSubStringW& view) { return fillNext(u's', view.data, view.length); }

int JuParamStringW::addParam(const char16_t* text) { return fillNext(u's', text, textLength(text)); }

int JuParamStringW::addParam(int64_t value) {
  char16_t digits[kJuNumberBufferSize];
  return fillNext(u'd', digits, juFormatInt64W(digits, value));
}

int JuParamStringW::addParam(uint64_t value) {
  char16_t digits[kJuNumberBufferSize];
  return fillNext(u'd', digits, juFormatUInt64W(digits, value));
}

int JuParamStringW::addQuotedParam(const char16_t* text, char16_t quote) {
  JuStringW quoted;
  if (quoted.assign(text != nullptr ? text : u"") != 0 || quoted.quote(quote) != 0) {
    flags |= kErrorFlag;
    return 1;
  }
  return addParam(quoted);
}

JuParamStringW& JuParamStringW::operator<<(const JuSubStringW& view) {
  if ((flags & kErrorFlag) == 0) addParam(view);
  return *this;
}

JuParamStringW& JuParamStringW::operator<<(const char16_t* text) {
  if ((flags & kErrorFlag) == 0) addParam(text);
  return *this;
}

JuParamStringW& JuParamStringW::operator<<(int64_t value) {
  if ((flags & kErrorFlag) == 0) addParam(value);
  return *this;
}

JuParamStringW& JuParamStringW::operator<<(uint64_t value) {
  if ((flags & kErrorFlag) == 0) addParam(value);
  return *this;
}
