// Memory probes: the portable part (argument checks and the cache of
// writable ranges). The system's side is unix/memory.inc.

#include "platform/memory.h"

#include <cstdint>
#include <cstring>

#include "platform/growth.h"
#include "platform/lock.h"
#include "platform/process.h"

namespace platform {
namespace {

// A half-open range of addresses.
struct AddressRange {
  uintptr_t begin;
  uintptr_t end;
};

// Storage for the cache. It comes from the system's page allocator, never
// from malloc or the library's operators: the probe runs inside a host
// process whose allocation the trace library must not change.
void* allocatePages(size_t bytes) noexcept;
void freePages(void* pages, size_t bytes) noexcept;

// The writable mappings, ascending, adjacent ones merged, so a range lies
// in writable memory exactly when one entry holds it whole.
class WritableRanges {
 public:
  void clear() { count_ = 0; }

  // Appends [begin, end), which must not start below the last entry's end.
  // False when there is no memory for it.
  bool add(uintptr_t begin, uintptr_t end) {
    if (begin >= end) return true;
    if (count_ > 0 && ranges_[count_ - 1].end == begin) {
      ranges_[count_ - 1].end = end;
      return true;
    }
    if (count_ == capacity_ && !grow()) return false;
    ranges_[count_++] = {begin, end};
    return true;
  }

  bool covers(uintptr_t begin, uintptr_t end) const { return end <= writableEnd(begin); }

  // The end of the writable run that holds `address`; `address` itself
  // when no entry holds it.
  uintptr_t writableEnd(uintptr_t address) const {
    // The last entry that starts at or below `address`.
    size_t low = 0;
    size_t high = count_;
    while (low < high) {
      const size_t middle = low + (high - low) / 2;
      if (ranges_[middle].begin <= address) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    return low > 0 && address < ranges_[low - 1].end ? ranges_[low - 1].end : address;
  }

 private:
  static constexpr size_t kFirstCapacity = 256;

  // Pages have no resize of their own: a new block, the entries copied.
  bool grow() {
    const size_t capacity = grownCapacity(capacity_, count_, 1, kFirstCapacity, sizeof(AddressRange));
    if (capacity == 0) return false;  // else the byte count below fits
    auto* ranges = static_cast<AddressRange*>(allocatePages(capacity * sizeof(AddressRange)));
    if (ranges == nullptr) return false;
    if (count_ > 0) std::memcpy(ranges, ranges_, count_ * sizeof(AddressRange));
    if (ranges_ != nullptr) freePages(ranges_, capacity_ * sizeof(AddressRange));
    ranges_ = ranges;
    capacity_ = capacity;
    return true;
  }

  AddressRange* ranges_ = nullptr;
  size_t count_ = 0;
  size_t capacity_ = 0;
};

// The system's side (unix/memory.inc).
size_t systemCopy(void* out, uintptr_t address, size_t n) noexcept;
// How many of the `n` bytes at `address`, from the first on, lie on the
// calling thread's own stack between the caller's frame and the stack's
// top: memory that stays mapped, readable and writable while the call
// runs, so it is copied in place without asking the system. 0 when
// `address` is not there.
size_t ownStackSpan(uintptr_t address, size_t n) noexcept;
// Reads the `count` pieces at `remote` (each within one page) into the
// bytes at `local`, as far as they can be read in order: the bytes read.
size_t systemReadPieces(void* local, size_t bytes, const uintptr_t* begins, const size_t* lengths,
                        size_t count) noexcept;
// Copies `n` bytes known to be readable, unseen by a sanitizer (the bytes
// past an application's text may be its poisoned neighbours).
void copyKnownReadable(void* out, uintptr_t address, size_t n) noexcept;
bool systemProbe(uintptr_t address, size_t n) noexcept;
// Reads the current mappings into `ranges`; false when they could not be
// read whole.
bool loadWritableRanges(WritableRanges& ranges) noexcept;

// The cache and its lock; both need no construction.
Lock writableLock;
[[maybe_unused]] const bool writableLockKept = keepAcrossFork(writableLock, ForkStage::kPlatformInner);
WritableRanges writableRanges;
bool writableLoaded = false;

// The bytes of `n` at `address` that lie below the top of the address
// space (a range cannot wrap around).
size_t clampToAddressSpace(uintptr_t address, size_t n) {
  const uintptr_t room = UINTPTR_MAX - address;
  return n > room ? room : n;
}

// Whether [begin, end) lies in writable mappings: by the cache when it
// holds the range and `stillMapped` confirms it, else by the mappings read
// afresh.
template <typename Confirm>
bool inWritableMappings(uintptr_t begin, uintptr_t end, Confirm stillMapped) {
  writableLock.enter();
  bool writable = writableLoaded && writableRanges.covers(begin, end) && stillMapped();
  if (!writable) {
    writableLoaded = loadWritableRanges(writableRanges);
    writable = writableRanges.covers(begin, end);
  }
  writableLock.leave();
  return writable;
}

// The calling thread's read-ahead, if any (initial-exec: read by every
// probe, without the dynamic loader's lookup).
__attribute__((tls_model("initial-exec"))) thread_local const ReadAhead* currentReadAhead = nullptr;

// The bytes at `address` that the thread's read-ahead holds, into `out`.
size_t takeReadAhead(void* out, uintptr_t address, size_t n) {
  const ReadAhead* ahead = currentReadAhead;
  return ahead != nullptr ? ahead->take(out, address, n) : 0;
}

}  // namespace

ReadAhead::ReadAhead(const Range* ranges, size_t count) noexcept : previous_(nullptr) {
  for (size_t i = 0; i < count; ++i) {
    const auto begin = reinterpret_cast<uintptr_t>(ranges[i].address);
    if (begin == 0 || ranges[i].n == 0) continue;
    const size_t n = clampToAddressSpace(begin, ranges[i].n);
    if (ownStackSpan(begin, n) == n) continue;  // read in place anyway
    add(begin, n);
  }
  readPieces();
  previous_ = currentReadAhead;
  currentReadAhead = this;
}

ReadAhead::~ReadAhead() { currentReadAhead = previous_; }

void ReadAhead::add(uintptr_t begin, size_t n) noexcept {
  const size_t page = 4096;  // the smallest page there is: pieces never span two
  while (n > 0 && count_ < kPieces && used_ < kReadAheadBytes) {
    const size_t toPageEnd = page - begin % page;
    size_t length = n < toPageEnd ? n : toPageEnd;
    if (length > kReadAheadBytes - used_) length = kReadAheadBytes - used_;
    pieces_[count_++] = {begin, begin + length, used_, false};
    used_ += length;
    begin += length;
    n -= length;
  }
}

void ReadAhead::readPieces() noexcept {
  uintptr_t begins[kPieces];
  size_t lengths[kPieces];
  for (size_t i = 0; i < count_; ++i) {
    begins[i] = pieces_[i].begin;
    lengths[i] = pieces_[i].end - pieces_[i].begin;
  }
  // One read for all; a piece that cannot be read ends it, and the read
  // goes on after that piece.
  size_t first = 0;
  while (first < count_) {
    const Piece& start = pieces_[first];
    size_t got = systemReadPieces(bytes_ + start.at, used_ - start.at, begins + first, lengths + first,
                                  count_ - first);
    size_t i = first;
    for (; i < count_ && got >= lengths[i]; ++i) {
      pieces_[i].read = true;
      got -= lengths[i];
    }
    first = i + 1;  // past the piece that could not be read
  }
}

size_t ReadAhead::take(void* out, uintptr_t address, size_t n) const noexcept {
  size_t done = 0;
  bool found = true;
  while (done < n && found) {
    found = false;
    const uintptr_t at = address + done;
    for (size_t i = 0; i < count_; ++i) {
      const Piece& piece = pieces_[i];
      if (!piece.read || at < piece.begin || at >= piece.end) continue;
      const size_t held = static_cast<size_t>(piece.end - at);
      const size_t length = n - done < held ? n - done : held;
      if (out != nullptr) std::memcpy(static_cast<char*>(out) + done, bytes_ + piece.at + (at - piece.begin), length);
      done += length;
      found = true;
      break;
    }
  }
  return done;
}

size_t copyMemory(void* out, const void* address, size_t n) noexcept {
  const auto at = reinterpret_cast<uintptr_t>(address);
  if (n == 0 || at == 0 || out == nullptr) return 0;
  n = clampToAddressSpace(at, n);
  // The caller's own stack in place; what runs past its top through the
  // system.
  size_t held = ownStackSpan(at, n);
  if (held != 0) {
    copyKnownReadable(out, at, held);
  } else {
    held = takeReadAhead(out, at, n);
  }
  if (held == n) return n;
  return held + systemCopy(static_cast<char*>(out) + held, at + held, n - held);
}

bool isReadable(const void* address, size_t n) noexcept {
  if (n == 0) return true;
  const auto at = reinterpret_cast<uintptr_t>(address);
  if (at == 0 || n > UINTPTR_MAX - at) return false;
  return ownStackSpan(at, n) == n || takeReadAhead(nullptr, at, n) == n || systemProbe(at, n);
}

bool isWritable(const void* address, size_t n) noexcept {
  if (n == 0) return true;
  const auto begin = reinterpret_cast<uintptr_t>(address);
  if (begin == 0 || n > UINTPTR_MAX - begin) return false;
  if (ownStackSpan(begin, n) == n) return true;
  // A cached yes stands only while the pages can still be read: a range
  // unmapped or made inaccessible since is looked up afresh.
  return inWritableMappings(begin, begin + n, [begin, n] { return systemProbe(begin, n); });
}

size_t writableLength(const void* address, size_t n) noexcept {
  const auto begin = reinterpret_cast<uintptr_t>(address);
  if (n == 0 || begin == 0) return 0;
  n = clampToAddressSpace(begin, n);
  writableLock.enter();
  writableLoaded = loadWritableRanges(writableRanges);
  const uintptr_t end = writableRanges.writableEnd(begin);
  writableLock.leave();
  return end - begin < n ? static_cast<size_t>(end - begin) : n;
}

bool copyWritable(void* out, const void* address, size_t n) noexcept {
  if (n == 0) return true;
  const auto begin = reinterpret_cast<uintptr_t>(address);
  if (begin == 0 || out == nullptr || n > UINTPTR_MAX - begin) return false;
  if (ownStackSpan(begin, n) == n) {
    copyKnownReadable(out, begin, n);
    return true;
  }
  // The copy is the readability test; a cached yes then needs no probe.
  if (takeReadAhead(out, begin, n) != n && systemCopy(out, begin, n) != n) return false;
  return inWritableMappings(begin, begin + n, [] { return true; });
}

}  // namespace platform

#include "unix/memory.inc"
