// UTF-16 views (JuSubStringW) and the owning strings JuStringW and
// JuStringWEx: the narrow family's twins, in units.

#include <cstring>

#include "julib/codepage.h"
#include "julib/errors.h"
#include "julib/strings.h"
#include "string_buffers.h"
#include "string_edits.h"
#include "string_lines.h"
#include "string_scans.h"

namespace ji = julib::internal;

// ---------------------------------------------------------------------------
// JuSubStringW
// ---------------------------------------------------------------------------

JuSubStringW::JuSubStringW(const char16_t* text) : JuSubStringW(text, text == nullptr ? 0 : juWStrLen(text)) {}

JuSubStringW::JuSubStringW(const char16_t* text, size_t length) : length(length), data(const_cast<char16_t*>(text)) {}

JuSubStringW::~JuSubStringW() = default;

int16_t JuSubStringW::compare(const JuObject& other) const {
  const auto& view = static_cast<const JuSubStringW&>(other);
  return static_cast<int16_t>(juWStrNICompare(data, length, view.data, view.length));
}

void JuSubStringW::attach(const char16_t* text, size_t n) {
  data = const_cast<char16_t*>(text);
  length = n;
}

size_t JuSubStringW::findChar(char16_t c, size_t from) const { return ji::findCharIn(*this, c, from); }

size_t JuSubStringW::find(const char16_t* pattern, size_t from) const {
  return ji::findPatternIn(*this, pattern, from);
}

uint16_t JuSubStringW::countChar(char16_t c) const { return ji::countCharIn(*this, c); }

int JuSubStringW::needsBraces() const { return ji::needsBracesIn(*this); }

int JuSubStringW::isBraced() const { return ji::isBracedIn(*this); }

int JuSubStringW::unbraceInto(JuStringW& destination) const { return ji::unbraceText(*this, destination); }

int JuSubStringW::unquoteInto(JuStringW& destination, char16_t quote) const {
  return ji::unquoteText(*this, destination, quote);
}

void JuSubStringW::trimRight() { ji::trimRightIn(*this); }

int JuSubStringW::splitLines(JuArray& lines) const { return ji::splitLinesOf(*this, lines); }

size_t JuSubStringW::indexIn(const char16_t* const* table, uint16_t count) const {
  for (uint16_t i = 0; i < count; ++i) {
    if (table[i] != nullptr && juWStrNEqualZ(data, length, table[i]) != 0) return i;
  }
  return count;
}

size_t JuSubStringW::indexInNoCase(const char16_t* const* table, uint16_t count) const {
  for (uint16_t i = 0; i < count; ++i) {
    if (table[i] != nullptr && juWStrNIEqualZ(data, length, table[i]) != 0) return i;
  }
  return count;
}

// ---------------------------------------------------------------------------
// JuStringW: pointing and assigning
// ---------------------------------------------------------------------------

JuStringW::~JuStringW() {
  freeBuffer();
  freeNarrowCache();
}

void JuStringW::freeBuffer() {
  if (owns != 0 && data != nullptr) juFree(data);
}

void JuStringW::freeNarrowCache() {
  juFree(narrowCache);
  narrowCache = nullptr;
  narrowCacheSize = 0;
}

int JuStringW::reserve(size_t newCapacity) { return ji::reserveUnits(*this, newCapacity, false); }

int JuStringW::makeRoom(size_t needed) { return ji::makeRoomFor(*this, needed); }

int JuStringW::assign(const char16_t* text) { return assign(text, text == nullptr ? 0 : juWStrLen(text)); }

// As the narrow assign: copy first, then let the previous buffer go; on
// failure the string is empty, without a buffer.
int JuStringW::assign(const char16_t* text, size_t n) {
  if (text == nullptr) n = 0;
  char16_t* block = ji::newTerminatedCopy(text, n);
  freeBuffer();
  owns = 1;
  if (block == nullptr) {
    data = nullptr;
    length = capacity = 0;
    return 1;
  }
  data = block;
  length = n;
  capacity = n + 1;
  return 0;
}

int JuStringW::allocate(size_t newCapacity) {
  size_t units;
  char16_t* block = ji::sizeSum(&units, newCapacity, 1) ? ji::allocateUnits<char16_t>(units) : nullptr;
  freeBuffer();
  owns = 1;
  length = 0;
  if (block == nullptr) {
    data = nullptr;
    capacity = 0;
    return 1;
  }
  block[0] = 0;
  data = block;
  capacity = units;
  return 0;
}

void JuStringW::adopt(char16_t* buffer, size_t newCapacity, size_t newLength) {
  if (buffer != data) freeBuffer();
  data = buffer;
  capacity = newCapacity;
  length = newLength;
  owns = 1;
}

void JuStringW::attachBuffer(char16_t* buffer, size_t newCapacity, size_t newLength) {
  if (buffer != data) freeBuffer();
  data = buffer;
  capacity = newCapacity;
  length = newLength;
  owns = 0;
}

void JuStringW::release() {
  freeBuffer();
  data = nullptr;
  length = capacity = 0;
}

void JuStringW::shrinkToFit() {
  if (owns == 0 || data == nullptr || length == SIZE_MAX || capacity == length + 1) return;
  (void)reserve(length + 1);  // on failure the old buffer and its capacity stay
}

// ---------------------------------------------------------------------------
// JuStringW: growing, appending, editing
// ---------------------------------------------------------------------------

int JuStringW::ensureFree(size_t n) {
  size_t needed;
  if (!ji::sizeSum(&needed, length, n, 1)) return 1;
  return makeRoom(needed);
}

int JuStringW::appendChar(char16_t c) { return ji::appendUnits(*this, &c, 1); }

int JuStringW::append(const char16_t* text) { return append(text, text == nullptr ? 0 : juWStrLen(text)); }

int JuStringW::append(const char16_t* text, size_t n) { return ji::appendUnits(*this, text, n); }

int JuStringW::append(int64_t value) { return ji::appendDecimal(*this, value); }

int JuStringW::append(uint64_t value) { return ji::appendDecimal(*this, value); }

int JuStringW::appendNarrow(const char* bytes, size_t n) {
  if (bytes == nullptr) n = 0;
  size_t needed;
  ji::StableSource<char> source;  // bytes in the buffer would be written over
  if (!ji::sizeSum(&needed, length, n, 1) || !source.hold(bytes, n, *this) || makeRoom(needed) != 0) return 1;
  for (size_t i = 0; i < n; ++i) data[length + i] = static_cast<unsigned char>(bytes[i]);
  length += n;
  return 0;
}

int JuStringW::appendQuoted(const JuSubStringW& view, char16_t q) { return ji::appendQuotedText(*this, view, q); }

int JuStringW::quote(char16_t q) { return ji::quoteInPlace(*this, q); }

size_t JuStringW::unquote() { return ji::unquoteInPlace(*this); }

int JuStringW::replace(size_t pos, size_t oldLen, const char16_t* text, size_t newLen) {
  return ji::replaceUnits(*this, pos, oldLen, text, newLen);
}

int JuStringW::replace(const JuSubStringW& range, const char16_t* text, size_t n) {
  return ji::replaceViewRange(*this, range, text, n);
}

int JuStringW::replaceAll(const char16_t* find, const char16_t* replacement) {
  return replaceAll(find, find == nullptr ? 0 : juWStrLen(find), replacement,
                    replacement == nullptr ? 0 : juWStrLen(replacement));
}

int JuStringW::replaceAll(const char16_t* find, size_t findLength, const char16_t* replacement,
                          size_t replacementLength) {
  return ji::replaceEvery(*this, find, findLength, replacement, replacementLength);
}

int JuStringW::ensureTrailingLineBreaks(size_t n) { return ji::ensureTrailingBreaks(*this, n); }

int JuStringW::wrap(size_t width, char16_t q1, char16_t q2, char16_t q3) {
  return ji::wrapText(*this, width, q1, q2, q3);
}

int JuStringW::joinLines(char16_t q1, char16_t q2, char16_t q3) {
  return ji::joinText(*this, ji::Separator::kCrLf, q1, q2, q3);
}

int JuStringW::joinLineBreaks(char16_t q1, char16_t q2, char16_t q3) {
  return ji::joinText(*this, ji::Separator::kLineBreak, q1, q2, q3);
}

int JuStringW::joinTabs(char16_t q1, char16_t q2, char16_t q3) {
  return ji::joinText(*this, ji::Separator::kTab, q1, q2, q3);
}

// ---------------------------------------------------------------------------
// JuStringWEx: the buffer and the narrow copy are zeroed before release.
// ---------------------------------------------------------------------------

JuStringWEx::~JuStringWEx() {
  freeBuffer();
  data = nullptr;
  freeNarrowCache();
}

void JuStringWEx::freeBuffer() {
  if (owns != 0) ji::freeWiped(data, capacity);
}

void JuStringWEx::freeNarrowCache() {
  ji::freeWiped(narrowCache, narrowCacheSize);
  narrowCache = nullptr;
  narrowCacheSize = 0;
}

int JuStringWEx::reserve(size_t newCapacity) { return ji::reserveUnits(*this, newCapacity, true); }

// ---------------------------------------------------------------------------
// Free functions
// ---------------------------------------------------------------------------

uint64_t juHashSubStringW(const JuSubStringW& view) {
  const size_t n = view.data == nullptr ? 0 : (view.length < 6 ? view.length : 6);
  char16_t upper[7];
  for (size_t i = 0; i < n; ++i) upper[i] = view.data[i];
  upper[n] = 0;
  juWStrNUpper(upper, n);  // counted: a zero unit inside the view is no end
  uint64_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum += static_cast<uint64_t>(upper[i]) << (3 * i);
  return sum;
}

void juMemMoveBounded(void* dst, const void* dstEnd, const void* src, size_t n) {
  const uintptr_t start = reinterpret_cast<uintptr_t>(dst);
  const uintptr_t end = reinterpret_cast<uintptr_t>(dstEnd);
  const size_t room = end > start ? static_cast<size_t>(end - start) : 0;
  const size_t count = n < room ? n : room;
  if (count != 0) std::memmove(dst, src, count);
}
