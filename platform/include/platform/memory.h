// Reading and testing this process's own memory without ever faulting: how
// the trace library looks at the pointers an application hands it.
#ifndef PLATFORM_MEMORY_H
#define PLATFORM_MEMORY_H

#include <cstddef>
#include <cstdint>

namespace platform {

// The size of a page of memory: the unit of mappings and their protection.
size_t pageSize() noexcept;

// Copies the `n` bytes at `address` into `out` as far as they can be read,
// through the kernel rather than by dereferencing `address`, so an unmapped,
// inaccessible or freed-and-unmapped address costs a short count, never a
// fault. Returns the bytes copied: `n` when the whole range was readable,
// else the length of its readable start (the copy stops at the first page
// that cannot be read). Bytes of `out` past the count are left as they were.
//   copyMemory(out, "abc", 3) -> 3;  copyMemory(out, nullptr, 3) -> 0
size_t copyMemory(void* out, const void* address, size_t n) noexcept;

// True when all `n` bytes at `address` can be read (0 bytes always can).
// Tests one byte of each page of the range; reads nothing into the caller.
bool isReadable(const void* address, size_t n) noexcept;

// True when all `n` bytes at `address` lie in pages mapped writable, by the
// page permissions of the process's mappings (0 bytes: true). Never writes.
// The permissions are cached and read again whenever the cache cannot
// confirm a range, so a page made writable or mapped since is found; a page
// made read-only since a positive answer may still be reported writable,
// which is harmless to callers that only read through copyMemory.
bool isWritable(const void* address, size_t n) noexcept;

// How many of the `n` bytes at `address`, from the first on, lie in pages
// mapped writable, by the mappings as they are now (read afresh, never the
// cache): the test for a caller about to write there itself, which a page
// made read-only since an earlier answer must not reach. Never writes.
//   writableLength(buffer, 100) -> 100 for a writable buffer; 8 when it
//   starts 8 bytes before a read-only page; 0 for a read-only or null one
size_t writableLength(const void* address, size_t n) noexcept;

// Copies the `n` bytes at `address` into `out` when they can be read and
// all lie in pages mapped writable: isWritable and copyMemory in one, at
// the cost of a single read of the process's memory while the cached
// permissions confirm the range. False (and `out` undefined) otherwise.
bool copyWritable(void* out, const void* address, size_t n) noexcept;

// Reads ahead, for one short task of the calling thread, the ranges it is
// about to read, all in one read of the process's memory. While it lives,
// copyMemory, isReadable and copyWritable on this thread take what they ask
// for from its copies where those hold it; what it could not read (or did
// not hold) they ask of the system as before. A range's copy is taken when
// the ReadAhead is made, so it suits tasks whose memory does not change
// under them. Ranges on the calling thread's own stack and null or empty
// ranges are skipped; ranges are cut at kReadAheadBytes bytes in all.
//   const ReadAhead::Range ranges[] = {{text, 100}, {&length, 8}};
//   ReadAhead ahead(ranges, 2);  // one system call
//   copyMemory(out, text, 10);   // none
class ReadAhead {
 public:
  struct Range {
    const void* address;
    size_t n;
  };
  static constexpr size_t kReadAheadBytes = 4096;
  static constexpr size_t kPieces = 24;

  ReadAhead(const Range* ranges, size_t count) noexcept;
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The bytes at `address` it holds from there on, up to `n`, copied into
  // `out`; 0 when it holds none of them.
  size_t take(void* out, uintptr_t address, size_t n) const noexcept;

 private:
  // One piece of a range within one page, and where its copy is.
  struct Piece {
    uintptr_t begin;
    uintptr_t end;
    size_t at;
    bool read;
  };
  void add(uintptr_t begin, size_t n) noexcept;
  void readPieces() noexcept;

  Piece pieces_[kPieces];
  size_t count_ = 0;
  size_t used_ = 0;
  const ReadAhead* previous_;
  unsigned char bytes_[kReadAheadBytes];
};

}  // namespace platform

#endif  // PLATFORM_MEMORY_H
