// The root class JuObject, the intrusive list JuNode/JuList, and the
// library's allocation entry points.
#ifndef JULIB_OBJECT_H
#define JULIB_OBJECT_H

#include <cstddef>
#include <cstdint>
#include <new>

// ---------------------------------------------------------------------------
// JuObject: root of every library class.
// ---------------------------------------------------------------------------

// Slot 0 is the virtual destructor (`delete p` frees through the library's
// operator delete); slot 1 is compare. Objects are made with
// `new (std::nothrow)`, so a failed allocation skips construction.
class JuObject {
 public:
  JuObject() = default;
  virtual ~JuObject();

  // Order of this object against `other`: -1 less, 0 equal, 1 greater.
  // The base treats every pair as equal.
  virtual int16_t compare(const JuObject& other) const;
};

// ---------------------------------------------------------------------------
// JuNode / JuList: an intrusive ring that never owns its nodes.
// ---------------------------------------------------------------------------

class JuNode : public JuObject {
 public:
  JuNode() = default;
  ~JuNode() override;

  JuNode* next = nullptr;  // meaningful only while the node is in a list
};

// The tail's `next` is the head. Positions and counts are 64-bit; a node
// belongs to at most one list.
class JuList : public JuObject {
 public:
  JuList() = default;
  ~JuList() override;  // leaves every node alone

  void append(JuNode* node);
  void prepend(JuNode* node);
  // Index 0 prepends, index == count appends, else links after getAt(index-1)
  // (which moves the cursor). An index above count appends.
  void insertAt(JuNode* node, uint64_t index);
  // Unlinks the tail and inserts it again at `index`.
  void moveLastTo(uint64_t index);
  JuNode* removeFirst();  // null on an empty list
  JuNode* removeLast();   // null on an empty list
  // Unlinks `node` (its next becomes null) and clears the cursor when it
  // pointed there. A node that is not in the list is left alone.
  void remove(JuNode* node);
  // The node at `index` (0 is the head), or null at count and beyond; the
  // cursor is left on the result.
  JuNode* getAt(uint64_t index);
  // Cursor on the tail, so that the node after it is the head; returns it.
  JuNode* resetCursor();
  // Moves the cursor to `node` when the node is in this list.
  void setCursor(JuNode* node);
  // Deletes every node, head first; the list ends empty with a null cursor.
  void deleteAll();

  JuNode* tail = nullptr;
  uint64_t count = 0;
  JuNode* cursor = nullptr;

 private:
  bool contains(const JuNode* node) const;
};

// ---------------------------------------------------------------------------
// Allocation. Failures never throw: they record "out of memory" once on the
// calling thread's current error list and return null.
// ---------------------------------------------------------------------------

// malloc of n bytes, 0 taken as 1; a negative count fails.
void* juMalloc(int n);
// A new block of at least one byte (the same for a size_t count).
void* juMallocChecked(size_t n);
// realloc; 0 taken as 1. On failure the old block stays valid.
void* juRealloc(void* block, size_t n);
// free; null is ignored.
void juFree(void* block);
// Records out of memory on the calling thread's current error list.
void juReportOutOfMemory();

// A copy of n bytes in a block of max(n, 1) bytes; no terminator.
void* juMemDup(const void* source, size_t n);
// The low byte of each of n units, then a NUL. A negative count gives an
// empty text; a count whose size overflows fails as out of memory.
//   juWStrNDupNarrow(u"\u0141B", size_t{2}) -> "AB"
char* juWStrNDupNarrow(const char16_t* source, ptrdiff_t n);
char* juWStrNDupNarrow(const char16_t* source, size_t n);
// Each of n bytes widened to one unit (zero-extended), then a zero unit.
char16_t* juStrNDupWiden(const char* source, ptrdiff_t n);
char16_t* juStrNDupWiden(const char* source, size_t n);

#endif  // JULIB_OBJECT_H
