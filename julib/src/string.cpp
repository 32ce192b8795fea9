// Narrow views (JuSubString) and the owning strings JuString and JuStringEx:
// pointing, assigning, growing, appending and replacing.

#include <cstring>

#include "julib/errors.h"
#include "julib/strings.h"
#include "platform/ansi.h"
#include "string_buffers.h"
#include "string_edits.h"
#include "string_scans.h"

namespace ji = julib::internal;

// ---------------------------------------------------------------------------
// JuSubString
// ---------------------------------------------------------------------------

JuSubString::JuSubString(const char* text) : JuSubString(text, JuCodePageKind::kAnsi) {}

JuSubString::JuSubString(const char* text, JuCodePageKind kind)
    : JuSubString(text, text == nullptr ? 0 : juStrLen(text), kind) {}

JuSubString::JuSubString(const char* text, size_t length) : JuSubString(text, length, JuCodePageKind::kAnsi) {}

JuSubString::JuSubString(const char* text, size_t length, JuCodePageKind kind)
    : length(length), initialLength(length), data(const_cast<char*>(text)), kind(kind) {}

JuSubString::~JuSubString() = default;

int16_t JuSubString::compare(const JuObject& other) const {
  const auto& view = static_cast<const JuSubString&>(other);
  return juStrNICompare(data, length, view.data, view.length);
}

void JuSubString::attach(const char* text, size_t n) { attach(text, n, JuCodePageKind::kAnsi); }

void JuSubString::attach(const char* text, size_t n, JuCodePageKind newKind) {
  data = const_cast<char*>(text);
  length = n;
  initialLength = n;
  kind = newKind;
}

size_t JuSubString::findChar(char c, size_t from) const { return ji::findCharIn(*this, c, from); }

size_t JuSubString::find(const char* pattern, size_t from) const { return ji::findPatternIn(*this, pattern, from); }

uint16_t JuSubString::countChar(char c) const { return ji::countCharIn(*this, c); }

int JuSubString::needsBraces() const { return ji::needsBracesIn(*this); }

int JuSubString::isBraced() const { return ji::isBracedIn(*this); }

void JuSubString::trimRight() { ji::trimRightIn(*this); }

size_t JuSubString::indexIn(const char* const* table, uint16_t count) const {
  for (uint16_t i = 0; i < count; ++i) {
    if (table[i] == nullptr) continue;
    const size_t n = juStrLen(table[i]);
    if (n == length && (n == 0 || juMemEqual(data, table[i], n) != 0)) return i;
  }
  return count;
}

size_t JuSubString::indexInNoCase(const char* const* table, uint16_t count) const {
  for (uint16_t i = 0; i < count; ++i) {
    if (table[i] == nullptr) continue;
    if (juStrNICompare(data, length, table[i], juStrLen(table[i])) == 0) return i;
  }
  return count;
}

// ---------------------------------------------------------------------------
// JuString: pointing and assigning
// ---------------------------------------------------------------------------

JuString::~JuString() { freeBuffer(); }

void JuString::freeBuffer() {
  if (owns != 0 && data != nullptr) juFree(data);
}

int JuString::reserve(size_t newCapacity) { return ji::reserveUnits(*this, newCapacity, false); }

int JuString::makeRoom(size_t needed) { return ji::makeRoomFor(*this, needed); }

int JuString::assign(const char* text) { return assign(text, JuCodePageKind::kAnsi); }

int JuString::assign(const char* text, JuCodePageKind newKind) {
  return assign(text, text == nullptr ? 0 : juStrLen(text), newKind);
}

int JuString::assign(const char* text, size_t n) { return assign(text, n, JuCodePageKind::kAnsi); }

// The copy is made before the previous buffer goes, so a string can be
// assigned its own text. On failure the string is left empty, without a
// buffer.
int JuString::assign(const char* text, size_t n, JuCodePageKind newKind) {
  if (text == nullptr) n = 0;
  char* block = ji::newTerminatedCopy(text, n);
  freeBuffer();
  kind = newKind;
  owns = 1;
  if (block == nullptr) {
    data = nullptr;
    length = initialLength = capacity = 0;
    return 1;
  }
  data = block;
  length = initialLength = n;
  capacity = n + 1;
  return 0;
}

int JuString::allocate(size_t newCapacity) { return allocate(newCapacity, JuCodePageKind::kAnsi); }

int JuString::allocate(size_t newCapacity, JuCodePageKind newKind) {
  size_t units;
  char* block = ji::sizeSum(&units, newCapacity, 1) ? ji::allocateUnits<char>(units) : nullptr;
  freeBuffer();
  kind = newKind;
  owns = 1;
  length = initialLength = 0;
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

void JuString::adopt(char* buffer, size_t newCapacity, JuCodePageKind newKind, size_t newLength) {
  if (buffer != data) freeBuffer();
  data = buffer;
  capacity = newCapacity;
  kind = newKind;
  length = initialLength = newLength;
  owns = 1;
}

void JuString::attachBuffer(char* buffer, size_t newCapacity, size_t newLength) {
  attachBuffer(buffer, newCapacity, JuCodePageKind::kAnsi, newLength);
}

void JuString::attachBuffer(char* buffer, size_t newCapacity, JuCodePageKind newKind, size_t newLength) {
  if (buffer != data) freeBuffer();
  data = buffer;
  capacity = newCapacity;
  kind = newKind;
  length = initialLength = newLength;
  owns = 0;
}

void JuString::release() {
  freeBuffer();
  data = nullptr;
  length = initialLength = capacity = 0;
}

// ---------------------------------------------------------------------------
// JuString: growing, appending, replacing
// ---------------------------------------------------------------------------

int JuString::ensureFree(size_t n) {
  size_t needed;
  if (!ji::sizeSum(&needed, length, n, 1)) return 1;
  return makeRoom(needed);
}

int JuString::appendChar(char c) { return ji::appendUnits(*this, &c, 1); }

int JuString::append(const char* text) { return append(text, text == nullptr ? 0 : juStrLen(text)); }

int JuString::append(const char* text, size_t n) { return ji::appendUnits(*this, text, n); }

int JuString::append(int64_t value) { return ji::appendDecimal(*this, value); }

int JuString::append(uint64_t value) { return ji::appendDecimal(*this, value); }

int JuString::replace(size_t pos, size_t oldLen, const char* text, size_t newLen) {
  return ji::replaceUnits(*this, pos, oldLen, text, newLen);
}

int JuString::replace(const JuSubString& range, const char* text, size_t n) {
  return ji::replaceViewRange(*this, range, text, n);
}

int JuString::replaceAll(const char* find, const char* replacement) {
  return replaceAll(find, find == nullptr ? 0 : juStrLen(find), replacement,
                    replacement == nullptr ? 0 : juStrLen(replacement));
}

int JuString::replaceAll(const char* find, size_t findLength, const char* replacement, size_t replacementLength) {
  return ji::replaceEvery(*this, find, findLength, replacement, replacementLength);
}

// ---------------------------------------------------------------------------
// JuStringEx: every buffer it lets go of is zeroed first.
// ---------------------------------------------------------------------------

JuStringEx::~JuStringEx() {
  freeBuffer();
  data = nullptr;
}

void JuStringEx::freeBuffer() {
  if (owns != 0) ji::freeWiped(data, capacity);
}

int JuStringEx::reserve(size_t newCapacity) { return ji::reserveUnits(*this, newCapacity, true); }

// ---------------------------------------------------------------------------
// Free functions
// ---------------------------------------------------------------------------

uint64_t juHashSubString(const JuSubString& view) {
  const size_t n = view.data == nullptr ? 0 : (view.length < 5 ? view.length : 5);
  if (n == 0) return 0;
  char upper[5];
  std::memcpy(upper, view.data, n);
  platform::upperInPlace(upper, n);
  uint64_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum += static_cast<unsigned char>(upper[i]);
  return sum;
}

void juMemMoveMin(void* dst, size_t dstSize, const void* src, size_t srcSize) {
  const size_t n = dstSize < srcSize ? dstSize : srcSize;
  if (n != 0) std::memmove(dst, src, n);
}
