// The operations of JuSeqDictionary and JuSeqDictionaryW, written once over
// a traits type that names the dictionary, its key view and its string-key
// entry, and picks the entry slots that compare and hand out string keys.
//
// Traits:
//   using Dictionary = ...;   // JuSeqDictionary or JuSeqDictionaryW
//   using View = ...;         // JuSubString or JuSubStringW
//   using StringEntry = ...;  // JuSubPtrKey or JuSubPtrKeyW
//   static int matches(const JuAssociation&, const View&, uint32_t mode);
//   static View* keyOf(const JuAssociation&);
#ifndef JULIB_SRC_DICTIONARY_IMPL_H
#define JULIB_SRC_DICTIONARY_IMPL_H

#include <cstdint>
#include <new>

#include "julib/containers.h"
#include "julib/object.h"

namespace julib::internal {

template <typename Traits>
struct SeqDictionaryOps {
  using Dictionary = typename Traits::Dictionary;
  using View = typename Traits::View;
  using StringEntry = typename Traits::StringEntry;

  // The entry at index, or null at or above the count: an index out of range
  // reads nothing.
  static JuAssociation* at(const Dictionary& d, uint64_t index) {
    return index < d.count ? d.entryAt(index) : nullptr;
  }

  // ---- Destruction and removal --------------------------------------------

  // The destructor's walk: entries go last first through their destructor
  // only, so what they own stays alive (an owner that forgot removeAll leaks
  // it, never frees it twice). The array then finds only null slots.
  static void deleteEntries(Dictionary& d) {
    while (d.count > 0) {
      JuAssociation* entry = takeLast(d);
      delete entry;
    }
  }

  static void removeAll(Dictionary& d) {
    while (d.count > 0) {
      JuAssociation* entry = takeLast(d);
      if (entry == nullptr) continue;
      entry->releaseOwned();
      delete entry;
    }
  }

  static void removeAt(Dictionary& d, uint64_t index) {
    if (index >= d.count) return;
    if (JuAssociation* entry = d.entryAt(index)) entry->releaseOwned();
    d.deleteAt(index);
  }

  // ---- Adding ---------------------------------------------------------------

  // Appends a new entry. On failure the entry is deleted without releasing
  // what it holds, so the caller keeps its key and value. The allocator or
  // the array has already reported out of memory.
  static int append(Dictionary& d, JuAssociation* entry) {
    if (entry == nullptr) return 1;
    if (d.insertAt(entry, d.count) != 0) {
      delete entry;
      return 1;
    }
    return 0;
  }

  static int add(Dictionary& d, View* key, JuObject* value) {
    return append(d, new (std::nothrow) StringEntry(key, value, 1, 1));
  }
  static int addInt(Dictionary& d, int64_t key, int64_t value) {
    return append(d, new (std::nothrow) JuIntIntKey(key, value));
  }
  static int addPtr(Dictionary& d, int64_t key, JuObject* value) {
    return append(d, new (std::nothrow) JuIntPtrKey(key, value));
  }

  // ---- Lookup: a linear walk, the first match wins --------------------------

  static uint64_t find(const Dictionary& d, const View& key) {
    for (uint64_t i = 0; i < d.count; ++i) {
      const JuAssociation* entry = d.entryAt(i);
      if (entry != nullptr && Traits::matches(*entry, key, d.mode)) return i;
    }
    return d.count;
  }

  static uint64_t findInt(const Dictionary& d, int64_t key) {
    for (uint64_t i = 0; i < d.count; ++i) {
      const JuAssociation* entry = d.entryAt(i);
      if (entry != nullptr && entry->equalsInt(key)) return i;
    }
    return d.count;
  }

  static JuObject* get(const Dictionary& d, const View& key) { return valueAt(d, find(d, key)); }
  static JuObject* getByInt(const Dictionary& d, int64_t key) { return valueAt(d, findInt(d, key)); }
  static int64_t getInt(const Dictionary& d, int64_t key) { return intValueAt(d, findInt(d, key)); }

  // An absent key changes nothing.
  static void setValue(Dictionary& d, const View& key, JuObject* value) {
    if (JuAssociation* entry = at(d, find(d, key))) entry->setPtrValue(value, 1);
  }
  static void setIntValue(Dictionary& d, int64_t key, int64_t value) {
    if (JuAssociation* entry = at(d, findInt(d, key))) entry->setIntValue(value);
  }

  // ---- Positional access ----------------------------------------------------

  static View* keyAt(const Dictionary& d, uint64_t index) {
    const JuAssociation* entry = at(d, index);
    return entry != nullptr ? Traits::keyOf(*entry) : nullptr;
  }
  static JuObject* valueAt(const Dictionary& d, uint64_t index) {
    const JuAssociation* entry = at(d, index);
    return entry != nullptr ? entry->ptrValue() : nullptr;
  }
  static int64_t intKeyAt(const Dictionary& d, uint64_t index) {
    const JuAssociation* entry = at(d, index);
    return entry != nullptr ? entry->intKey() : 0;
  }
  static int64_t intValueAt(const Dictionary& d, uint64_t index) {
    const JuAssociation* entry = at(d, index);
    return entry != nullptr ? entry->intValue() : 0;
  }

 private:
  // Unlinks the last entry before it is let go, so the array never holds a
  // pointer to a deleted entry.
  static JuAssociation* takeLast(Dictionary& d) {
    const uint64_t last = d.count - 1;
    JuAssociation* entry = d.entryAt(last);
    d.data[last] = 0;
    d.count = last;
    return entry;
  }
};

}  // namespace julib::internal

#endif  // JULIB_SRC_DICTIONARY_IMPL_H
