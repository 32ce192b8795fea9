// JuAssociation and its four key classes: the entries of the sequential
// dictionaries. An entry compares string keys by asking the other entry's
// slot with its own key, so entries of different key classes never match.

#include <cstdint>

#include "julib/containers.h"
#include "julib/cstring.h"
#include "julib/strings.h"

namespace {

// Slot 14 of the string-key entries. Storing the value the entry already
// holds only takes the new flag: deleting it first would leave the entry
// pointing at freed memory.
template <typename Entry>
void replaceValue(Entry& entry, JuObject* value, uint32_t ownsValue) {
  if (entry.ownsValue && entry.value != nullptr && entry.value != value) delete entry.value;
  entry.value = value;
  entry.ownsValue = ownsValue;
}

// Slot 17 of the string-key entries. What was released is forgotten, so a
// second call cannot delete it again; a key given as its own value is
// deleted once.
template <typename Entry>
void releaseKeyAndValue(Entry& entry) {
  JuObject* key = entry.ownsKey ? entry.key : nullptr;
  JuObject* value = entry.ownsValue ? entry.value : nullptr;
  if (value == key) value = nullptr;
  delete key;
  delete value;
  if (entry.ownsKey) entry.key = nullptr;
  if (entry.ownsValue) entry.value = nullptr;
  entry.ownsKey = 0;
  entry.ownsValue = 0;
}

// Exact and no-case matches of counted keys; different lengths never match.
// A null key (an entry made without one) matches nothing.
int sameBytes(const JuSubString* mine, const JuSubString& other) {
  return mine != nullptr && mine->length == other.length && juMemEqual(mine->data, other.data, other.length) ? 1 : 0;
}

int sameUnits(const JuSubStringW* mine, const JuSubStringW& other) {
  // Every unit counts, also those after an embedded zero.
  return mine != nullptr && mine->length == other.length &&
                 juMemEqual(mine->data, other.data, other.length * sizeof(char16_t))
             ? 1
             : 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// JuAssociation: the base answers 0, null or nothing.
// ---------------------------------------------------------------------------

JuAssociation::~JuAssociation() = default;

int JuAssociation::equalsInt(int64_t) const { return 0; }
int JuAssociation::equals(const JuSubString&) const { return 0; }
int JuAssociation::equalsW(const JuSubStringW&) const { return 0; }
int JuAssociation::equalsNoCase(const JuSubString&) const { return 0; }
int JuAssociation::equalsNoCaseW(const JuSubStringW&) const { return 0; }
int JuAssociation::equalsKeyOfNoCase(const JuAssociation&) const { return 0; }
int64_t JuAssociation::intKey() const { return 0; }
int64_t JuAssociation::intValue() const { return 0; }
JuSubString* JuAssociation::subStringKey() const { return nullptr; }
JuSubStringW* JuAssociation::subStringWKey() const { return nullptr; }
JuObject* JuAssociation::ptrValue() const { return nullptr; }
void JuAssociation::setPtrValue(JuObject*, uint32_t) {}
void JuAssociation::setIntValue(int64_t) {}

// ---------------------------------------------------------------------------
// Integer keys.
// ---------------------------------------------------------------------------

JuIntIntKey::~JuIntIntKey() = default;

int JuIntIntKey::equalsInt(int64_t other) const { return key == other ? 1 : 0; }
int JuIntIntKey::equalsKeyOf(const JuAssociation& other) const { return other.equalsInt(key); }
int64_t JuIntIntKey::intKey() const { return key; }
int64_t JuIntIntKey::intValue() const { return value; }
void JuIntIntKey::setIntValue(int64_t newValue) { value = newValue; }
uint64_t JuIntIntKey::hash() const { return static_cast<uint64_t>(key); }
void JuIntIntKey::releaseOwned() {}

JuIntPtrKey::~JuIntPtrKey() = default;

int JuIntPtrKey::equalsInt(int64_t other) const { return key == other ? 1 : 0; }
int JuIntPtrKey::equalsKeyOf(const JuAssociation& other) const { return other.equalsInt(key); }
int64_t JuIntPtrKey::intKey() const { return key; }
JuObject* JuIntPtrKey::ptrValue() const { return value; }
uint64_t JuIntPtrKey::hash() const { return static_cast<uint64_t>(key); }

void JuIntPtrKey::releaseOwned() {
  delete value;
  value = nullptr;
}

// ---------------------------------------------------------------------------
// Narrow string keys.
// ---------------------------------------------------------------------------

JuSubPtrKey::~JuSubPtrKey() = default;

int JuSubPtrKey::equals(const JuSubString& other) const { return sameBytes(key, other); }

int JuSubPtrKey::equalsKeyOf(const JuAssociation& other) const {
  return key != nullptr ? other.equals(*key) : 0;
}

int JuSubPtrKey::equalsNoCase(const JuSubString& other) const {
  return key != nullptr ? juStrNIEqual(key->data, key->length, other.data, other.length) : 0;
}

int JuSubPtrKey::equalsKeyOfNoCase(const JuAssociation& other) const {
  return key != nullptr ? other.equalsNoCase(*key) : 0;
}

JuSubString* JuSubPtrKey::subStringKey() const { return key; }
JuObject* JuSubPtrKey::ptrValue() const { return value; }
void JuSubPtrKey::setPtrValue(JuObject* newValue, uint32_t owns) { replaceValue(*this, newValue, owns); }
uint64_t JuSubPtrKey::hash() const { return key != nullptr ? juHashSubString(*key) : 0; }
void JuSubPtrKey::releaseOwned() { releaseKeyAndValue(*this); }

// ---------------------------------------------------------------------------
// UTF-16 string keys.
// ---------------------------------------------------------------------------

JuSubPtrKeyW::~JuSubPtrKeyW() = default;

int JuSubPtrKeyW::equalsW(const JuSubStringW& other) const { return sameUnits(key, other); }

int JuSubPtrKeyW::equalsKeyOf(const JuAssociation& other) const {
  return key != nullptr ? other.equalsW(*key) : 0;
}

int JuSubPtrKeyW::equalsNoCaseW(const JuSubStringW& other) const {
  return key != nullptr ? juWStrNIEqual(key->data, key->length, other.data, other.length) : 0;
}

int JuSubPtrKeyW::equalsKeyOfNoCase(const JuAssociation& other) const {
  return key != nullptr ? other.equalsNoCaseW(*key) : 0;
}

JuSubStringW* JuSubPtrKeyW::subStringWKey() const { return key; }
JuObject* JuSubPtrKeyW::ptrValue() const { return value; }
void JuSubPtrKeyW::setPtrValue(JuObject* newValue, uint32_t owns) { replaceValue(*this, newValue, owns); }
uint64_t JuSubPtrKeyW::hash() const { return key != nullptr ? juHashSubStringW(*key) : 0; }
void JuSubPtrKeyW::releaseOwned() { releaseKeyAndValue(*this); }
