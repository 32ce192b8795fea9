// JuSeqDictionary and JuSeqDictionaryW: the narrow and UTF-16 forms of one
// sequential dictionary (dictionary_impl.h). They differ only in the key view
// and in which entry slots compare and hand out string keys.

#include <cstdint>

#include "dictionary_impl.h"
#include "julib/containers.h"
#include "julib/cstring.h"
#include "julib/strings.h"

namespace {

struct NarrowTraits {
  using Dictionary = JuSeqDictionary;
  using View = JuSubString;
  using StringEntry = JuSubPtrKey;
  static int matches(const JuAssociation& entry, const View& key, uint32_t mode) {
    return mode == 0 ? entry.equals(key) : entry.equalsNoCase(key);
  }
  static View* keyOf(const JuAssociation& entry) { return entry.subStringKey(); }
};

struct WideTraits {
  using Dictionary = JuSeqDictionaryW;
  using View = JuSubStringW;
  using StringEntry = JuSubPtrKeyW;
  static int matches(const JuAssociation& entry, const View& key, uint32_t mode) {
    return mode == 0 ? entry.equalsW(key) : entry.equalsNoCaseW(key);
  }
  static View* keyOf(const JuAssociation& entry) { return entry.subStringWKey(); }
};

using Narrow = julib::internal::SeqDictionaryOps<NarrowTraits>;
using Wide = julib::internal::SeqDictionaryOps<WideTraits>;

}  // namespace

// ---------------------------------------------------------------------------
// JuSeqDictionary
// ---------------------------------------------------------------------------

JuSeqDictionary::~JuSeqDictionary() { Narrow::deleteEntries(*this); }

int JuSeqDictionary::add(JuSubString* key, JuObject* value) { return Narrow::add(*this, key, value); }
int JuSeqDictionary::addInt(int64_t key, int64_t value) { return Narrow::addInt(*this, key, value); }
int JuSeqDictionary::addPtr(int64_t key, JuObject* value) { return Narrow::addPtr(*this, key, value); }

uint64_t JuSeqDictionary::find(const JuSubString& key) const { return Narrow::find(*this, key); }
// A plain C text is taken in the process ANSI code page.
uint64_t JuSeqDictionary::find(const char* key) const {
  return Narrow::find(*this, JuSubString(key, JuCodePageKind::kAnsi));
}
uint64_t JuSeqDictionary::findInt(int64_t key) const { return Narrow::findInt(*this, key); }
int JuSeqDictionary::contains(const JuSubString& key) const { return find(key) < count ? 1 : 0; }
int JuSeqDictionary::containsInt(int64_t key) const { return findInt(key) < count ? 1 : 0; }

JuObject* JuSeqDictionary::get(const JuSubString& key) const { return Narrow::get(*this, key); }
JuObject* JuSeqDictionary::getByInt(int64_t key) const { return Narrow::getByInt(*this, key); }
int64_t JuSeqDictionary::getInt(int64_t key) const { return Narrow::getInt(*this, key); }
void JuSeqDictionary::setValue(const JuSubString& key, JuObject* value) { Narrow::setValue(*this, key, value); }
void JuSeqDictionary::setIntValue(int64_t key, int64_t value) { Narrow::setIntValue(*this, key, value); }

JuSubString* JuSeqDictionary::keyAt(uint64_t index) const { return Narrow::keyAt(*this, index); }
JuObject* JuSeqDictionary::valueAt(uint64_t index) const { return Narrow::valueAt(*this, index); }
int64_t JuSeqDictionary::intKeyAt(uint64_t index) const { return Narrow::intKeyAt(*this, index); }
int64_t JuSeqDictionary::intValueAt(uint64_t index) const { return Narrow::intValueAt(*this, index); }

void JuSeqDictionary::removeAt(uint64_t index) { Narrow::removeAt(*this, index); }
void JuSeqDictionary::removeAll() { Narrow::removeAll(*this); }

// ---------------------------------------------------------------------------
// JuSeqDictionaryW
// ---------------------------------------------------------------------------

JuSeqDictionaryW::~JuSeqDictionaryW() { Wide::deleteEntries(*this); }

int JuSeqDictionaryW::add(JuSubStringW* key, JuObject* value) { return Wide::add(*this, key, value); }
int JuSeqDictionaryW::addInt(int64_t key, int64_t value) { return Wide::addInt(*this, key, value); }
int JuSeqDictionaryW::addPtr(int64_t key, JuObject* value) { return Wide::addPtr(*this, key, value); }

uint64_t JuSeqDictionaryW::find(const JuSubStringW& key) const { return Wide::find(*this, key); }
uint64_t JuSeqDictionaryW::find(const char16_t* key) const { return Wide::find(*this, JuSubStringW(key)); }
uint64_t JuSeqDictionaryW::findInt(int64_t key) const { return Wide::findInt(*this, key); }
int JuSeqDictionaryW::contains(const JuSubStringW& key) const { return find(key) < count ? 1 : 0; }
int JuSeqDictionaryW::containsInt(int64_t key) const { return findInt(key) < count ? 1 : 0; }

JuObject* JuSeqDictionaryW::get(const JuSubStringW& key) const { return Wide::get(*this, key); }
JuObject* JuSeqDictionaryW::getByInt(int64_t key) const { return Wide::getByInt(*this, key); }
int64_t JuSeqDictionaryW::getInt(int64_t key) const { return Wide::getInt(*this, key); }
void JuSeqDictionaryW::setValue(const JuSubStringW& key, JuObject* value) { Wide::setValue(*this, key, value); }
void JuSeqDictionaryW::setIntValue(int64_t key, int64_t value) { Wide::setIntValue(*this, key, value); }

JuSubStringW* JuSeqDictionaryW::keyAt(uint64_t index) const { return Wide::keyAt(*this, index); }
JuObject* JuSeqDictionaryW::valueAt(uint64_t index) const { return Wide::valueAt(*this, index); }
int64_t JuSeqDictionaryW::intKeyAt(uint64_t index) const { return Wide::intKeyAt(*this, index); }
int64_t JuSeqDictionaryW::intValueAt(uint64_t index) const { return Wide::intValueAt(*this, index); }

void JuSeqDictionaryW::removeAt(uint64_t index) { Wide::removeAt(*this, index); }
void JuSeqDictionaryW::removeAll() { Wide::removeAll(*this); }
