// Growable arrays of 64-bit slots and the sorted arrays built on them.
#ifndef JULIB_CONTAINERS_H
#define JULIB_CONTAINERS_H

#include <cstddef>
#include <cstdint>

#include "julib/object.h"

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
  int insertAt(uint64_t value, uint64_t index);
  int insertAt(const void* pointer, uint64_t index) { return insertAt(toSlot(pointer), index); }
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
  int grow(uint64_t step, int keep);
  // A new owned buffer of n zero slots (the old owned one is freed); count
  // unchanged but cut to n. 0, or 1 with the array unchanged.
  int allocate(uint64_t n);
  // capacity = count = n; added slots are zero. n = 0 frees an owned buffer;
  // a caller's buffer only takes the numbers; without a buffer an owned one
  // is made. 0, or 1 with the array unchanged.
  int setSize(uint64_t n);

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
  int insert(JuObject* object);
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
  int sort();

  JuObject* objectAt(uint64_t index) const { return static_cast<JuObject*>(pointerAt(index)); }

  uint32_t mode = 0;
};

// Unsigned size values in ascending order.
class JuSortedArrayJUSIZE_T : public JuArrayJUSIZE_T {
 public:
  //   insert 5, 1, 5, 3 -> 1 3 5 5
  int insert(size_t value);
  int search(size_t value, uint64_t* position) const;
  uint64_t lastEqual(size_t value, uint64_t position) const;
};

#endif  // JULIB_CONTAINERS_H
