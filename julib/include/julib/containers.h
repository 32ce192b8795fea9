// Growable arrays of 64-bit slots, the sorted arrays built on them, and the
// sequential dictionaries of associations.
#ifndef JULIB_CONTAINERS_H
#define JULIB_CONTAINERS_H

#include <cstddef>
#include <cstdint>

#include "julib/object.h"

class JuSubString;
class JuSubStringW;

// ---------------------------------------------------------------------------
// JuArray: a buffer of 64-bit slots holding object pointers or plain values.
// Indexes must lie below count unless said otherwise. Growth failures report
// out of memory and return 1 with the array unchanged.
// ---------------------------------------------------------------------------

class JuArray : public JuObject {
 public:
  static constexpr uint32_t kOwnsElements = 1;   // the destructor destroys them
  static constexpr uint32_t kWholeCapacity = 2;  // destroy/free walk every slot
  static constexpr uint32_t kOwnsBuffer = 4;     // the array frees its buffer

  JuArray() = default;
  // With owns-elements: deleteAll; then the buffer is freed when owned.
  ~JuArray() override;

  // Shifts slots index..count-1 up and stores `value` at index, growing by
  // the growth step when full; an index above count appends. 0, or 1 when
  // growing fails (nothing changed).
  //   {1, 2}.insertAt(9, 1) -> {1, 9, 2}
  [[nodiscard]] int insertAt(uint64_t value, uint64_t index);
  [[nodiscard]] int insertAt(const void* pointer, uint64_t index) { return insertAt(toSlot(pointer), index); }
  // Shifts the slots after index down and zeroes the vacated last slot; the
  // element is not destroyed. An index at or above count does nothing.
  void removeAt(uint64_t index);
  // Deletes the element (an object, when not null), then removeAt; nothing
  // at or above count (the same for freeAt).
  void deleteAt(uint64_t index);
  // Releases the element with free, then removeAt.
  void freeAt(uint64_t index);
  // Deletes every non-null element of the first count slots (every slot with
  // whole capacity) and nulls it; count = 0.
  void deleteAll();
  // The same with free.
  void freeAll();
  int contains(uint64_t value) const;
  // capacity + step slots (twice the capacity for step 0, 1 from 0). With
  // keep the slots are carried and the new ones zeroed; without, the buffer
  // is replaced by a zeroed one. The new buffer is owned. 0, or 1 with the
  // array unchanged (a size that overflows fails as out of memory).
  [[nodiscard]] int grow(uint64_t step, int keep);
  // A new owned buffer of n zero slots (the old owned one is freed); count
  // unchanged but cut to n. 0, or 1 with the array unchanged.
  [[nodiscard]] int allocate(uint64_t n);
  // capacity = count = n; added slots are zero. n = 0 frees an owned buffer;
  // a caller's buffer only takes the numbers; without a buffer an owned one
  // is made. 0, or 1 with the array unchanged.
  [[nodiscard]] int setSize(uint64_t n);

  void* pointerAt(uint64_t index) const { return reinterpret_cast<void*>(static_cast<uintptr_t>(data[index])); }
  static uint64_t toSlot(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }

  uint64_t* data = nullptr;
  uint64_t capacity = 0;
  uint64_t count = 0;
  uint64_t growthStep = 16;  // 0 doubles
  uint32_t flags = 0;

 protected:
  // Frees the buffer when the array owns it; data becomes null, not owned.
  void releaseBuffer();
};

// Elements are heap blocks released with free.
class JuArrayPVoid : public JuArray {
 public:
  ~JuArrayPVoid() override;
};

// Plain values; never destroyed.
class JuArrayJUSIZE_T : public JuArray {};
class JuArrayJUSSIZE_T : public JuArray {};
class JuArrayS32 : public JuArray {};
class JuArrayU32 : public JuArray {};

// ---------------------------------------------------------------------------
// JuSortedArray: objects in the order of their compare slot, equal objects in
// insertion order.
// ---------------------------------------------------------------------------

class JuSortedArray : public JuArray {
 public:
  static constexpr uint32_t kAppendModes = 3;  // either bit: insert appends

  JuSortedArray() = default;
  ~JuSortedArray() override;

  // After every element equal to `object` (at the end while an append mode is
  // set). Returns insertAt's result.
  [[nodiscard]] int insert(JuObject* object);
  // Binary search: 1 with the position of an equal element, or 0 with the
  // position where the object belongs.
  int search(const JuObject& object, uint64_t* position) const;
  // The last position, from `position` on, of the run equal to `object`.
  uint64_t lastEqual(const JuObject& object, uint64_t position) const;
  // Linear search: 1 with the first position whose element's compare with
  // `object` gives 0; else 0 (position unchanged).
  int find(const JuObject& object, uint64_t* position) const;
  // Keep the first of each run of equal neighbours; delete / only remove the
  // others.
  void deleteDuplicates();
  void removeDuplicates();
  // Sorts in place by the objects' compare (not stable). 0, or 1.
  [[nodiscard]] int sort();

  JuObject* objectAt(uint64_t index) const { return static_cast<JuObject*>(pointerAt(index)); }

  uint32_t mode = 0;
};

// Unsigned size values in ascending order.
class JuSortedArrayJUSIZE_T : public JuArrayJUSIZE_T {
 public:
  //   insert 5, 1, 5, 3 -> 1 3 5 5
  [[nodiscard]] int insert(size_t value);
  int search(size_t value, uint64_t* position) const;
  uint64_t lastEqual(size_t value, uint64_t position) const;
};

// ---------------------------------------------------------------------------
// Associations: the entries of the dictionaries, with one wide interface that
// the four key classes fill in. The base answers 0, null or nothing.
// ---------------------------------------------------------------------------

class JuAssociation : public JuObject {
 public:
  JuAssociation() = default;
  ~JuAssociation() override;  // never touches the key or the value

  virtual int equalsInt(int64_t key) const;                             // slot 2
  virtual int equals(const JuSubString& key) const;                     // slot 3
  virtual int equalsW(const JuSubStringW& key) const;                   // slot 4
  virtual int equalsKeyOf(const JuAssociation& other) const = 0;        // slot 5
  virtual int equalsNoCase(const JuSubString& key) const;               // slot 6
  virtual int equalsNoCaseW(const JuSubStringW& key) const;             // slot 7
  virtual int equalsKeyOfNoCase(const JuAssociation& other) const;      // slot 8
  virtual int64_t intKey() const;                                       // slot 9
  virtual int64_t intValue() const;                                     // slot 10
  virtual JuSubString* subStringKey() const;                            // slot 11
  virtual JuSubStringW* subStringWKey() const;                          // slot 12
  virtual JuObject* ptrValue() const;                                   // slot 13
  virtual void setPtrValue(JuObject* value, uint32_t ownsValue);        // slot 14
  virtual void setIntValue(int64_t value);                              // slot 15
  virtual uint64_t hash() const = 0;                                    // slot 16
  virtual void releaseOwned() = 0;                                      // slot 17
};

class JuIntIntKey : public JuAssociation {
 public:
  JuIntIntKey(int64_t key, int64_t value) : key(key), value(value) {}
  ~JuIntIntKey() override;
  int equalsInt(int64_t key) const override;
  int equalsKeyOf(const JuAssociation& other) const override;
  int64_t intKey() const override;
  int64_t intValue() const override;
  void setIntValue(int64_t value) override;
  uint64_t hash() const override;
  void releaseOwned() override;

  int64_t key;
  int64_t value;
};

// The value is always owned and cannot be replaced.
class JuIntPtrKey : public JuAssociation {
 public:
  JuIntPtrKey(int64_t key, JuObject* value) : key(key), value(value) {}
  ~JuIntPtrKey() override;
  int equalsInt(int64_t key) const override;
  int equalsKeyOf(const JuAssociation& other) const override;
  int64_t intKey() const override;
  JuObject* ptrValue() const override;
  uint64_t hash() const override;
  void releaseOwned() override;

  int64_t key;
  JuObject* value;
};

class JuSubPtrKey : public JuAssociation {
 public:
  JuSubPtrKey(JuSubString* key, JuObject* value, uint32_t ownsKey, uint32_t ownsValue)
      : key(key), value(value), ownsKey(ownsKey), ownsValue(ownsValue) {}
  ~JuSubPtrKey() override;
  int equals(const JuSubString& key) const override;
  int equalsKeyOf(const JuAssociation& other) const override;
  int equalsNoCase(const JuSubString& key) const override;
  int equalsKeyOfNoCase(const JuAssociation& other) const override;
  JuSubString* subStringKey() const override;
  JuObject* ptrValue() const override;
  // Deletes an owned old value, then stores the new one and its flag.
  void setPtrValue(JuObject* value, uint32_t ownsValue) override;
  uint64_t hash() const override;
  void releaseOwned() override;

  JuSubString* key;
  JuObject* value;
  uint32_t ownsKey;
  uint32_t ownsValue;
};

class JuSubPtrKeyW : public JuAssociation {
 public:
  JuSubPtrKeyW(JuSubStringW* key, JuObject* value, uint32_t ownsKey, uint32_t ownsValue)
      : key(key), value(value), ownsKey(ownsKey), ownsValue(ownsValue) {}
  ~JuSubPtrKeyW() override;
  int equalsW(const JuSubStringW& key) const override;
  int equalsKeyOf(const JuAssociation& other) const override;
  int equalsNoCaseW(const JuSubStringW& key) const override;
  int equalsKeyOfNoCase(const JuAssociation& other) const override;
  JuSubStringW* subStringWKey() const override;
  JuObject* ptrValue() const override;
  void setPtrValue(JuObject* value, uint32_t ownsValue) override;
  uint64_t hash() const override;
  void releaseOwned() override;

  JuSubStringW* key;
  JuObject* value;
  uint32_t ownsKey;
  uint32_t ownsValue;
};

// ---------------------------------------------------------------------------
// JuSeqDictionary / JuSeqDictionaryW: associations in insertion order with
// linear lookup; keys are not unique and the first match wins. Mode 0
// matches string keys exactly, any other mode ignoring case. Indexes must lie
// below count; one at or above it reads null or 0 and removes nothing. An
// owner whose entries own keys or values calls removeAll before destroying
// the dictionary: the destructor deletes the entries only, so what they own
// is leaked, never freed.
// ---------------------------------------------------------------------------

class JuSeqDictionary : public JuArray {
 public:
  JuSeqDictionary() = default;
  // Deletes every association (last first) without releasing what it owns.
  ~JuSeqDictionary() override;

  // A new string-key association that owns both. 0, or 1 (out of memory)
  // with the key and value still the caller's; the same for addPtr.
  [[nodiscard]] int add(JuSubString* key, JuObject* value);
  [[nodiscard]] int addInt(int64_t key, int64_t value);
  [[nodiscard]] int addPtr(int64_t key, JuObject* value);
  // Index of the first match, count when none.
  uint64_t find(const JuSubString& key) const;
  uint64_t find(const char* key) const;  // NUL-terminated, the same rules
  uint64_t findInt(int64_t key) const;
  int contains(const JuSubString& key) const;
  int containsInt(int64_t key) const;
  JuObject* get(const JuSubString& key) const;  // null when absent
  JuObject* getByInt(int64_t key) const;
  int64_t getInt(int64_t key) const;  // 0 when absent
  // Replace the value of a present key (owned); nothing when absent.
  void setValue(const JuSubString& key, JuObject* value);
  void setIntValue(int64_t key, int64_t value);
  JuSubString* keyAt(uint64_t index) const;
  JuObject* valueAt(uint64_t index) const;
  int64_t intKeyAt(uint64_t index) const;
  int64_t intValueAt(uint64_t index) const;
  // Releases what the entry owns, deletes it and closes the gap.
  void removeAt(uint64_t index);
  void removeAll();

  JuAssociation* entryAt(uint64_t index) const { return static_cast<JuAssociation*>(pointerAt(index)); }

  uint32_t mode = 0;
};

class JuSeqDictionaryW : public JuArray {
 public:
  JuSeqDictionaryW() = default;
  ~JuSeqDictionaryW() override;

  [[nodiscard]] int add(JuSubStringW* key, JuObject* value);
  [[nodiscard]] int addInt(int64_t key, int64_t value);
  [[nodiscard]] int addPtr(int64_t key, JuObject* value);
  uint64_t find(const JuSubStringW& key) const;
  uint64_t find(const char16_t* key) const;
  uint64_t findInt(int64_t key) const;
  int contains(const JuSubStringW& key) const;
  int containsInt(int64_t key) const;
  JuObject* get(const JuSubStringW& key) const;
  JuObject* getByInt(int64_t key) const;
  int64_t getInt(int64_t key) const;
  void setValue(const JuSubStringW& key, JuObject* value);
  void setIntValue(int64_t key, int64_t value);
  JuSubStringW* keyAt(uint64_t index) const;
  JuObject* valueAt(uint64_t index) const;
  int64_t intKeyAt(uint64_t index) const;
  int64_t intValueAt(uint64_t index) const;
  void removeAt(uint64_t index);
  void removeAll();

  JuAssociation* entryAt(uint64_t index) const { return static_cast<JuAssociation*>(pointerAt(index)); }

  uint32_t mode = 0;
};

#endif  // JULIB_CONTAINERS_H
