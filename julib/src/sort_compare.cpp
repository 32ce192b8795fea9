// The key comparators of the sorter: counted text, doubles, bytes,
// blank-padded text.

#include <cstdint>
#include <cstring>

#include "julib/cstring.h"
#include "julib/object.h"
#include "julib/sort.h"
#include "platform/ansi.h"

namespace {

// Keys up to this many bytes, terminator included, are copied on the stack.
constexpr size_t kStackCopyBytes = 512;

using TerminatedCompare = int (*)(const char*, const char*) noexcept;

// A NUL-terminated copy of a counted text: in `stack` when it fits, else on
// the heap (`heap` then owns it). Null when the heap copy fails.
const char* terminatedCopy(const char* text, size_t n, char* stack, char** heap) {
  char* copy = stack;
  if (n >= kStackCopyBytes) {
    if (n == SIZE_MAX) {
      juReportOutOfMemory();
      return nullptr;
    }
    copy = static_cast<char*>(juMallocChecked(n + 1));
    if (copy == nullptr) return nullptr;
    *heap = copy;
  }
  if (n != 0) std::memcpy(copy, text, n);
  copy[n] = '\0';
  return copy;
}

// Counted texts compared as terminated ones. When a heap copy cannot be
// made (out of memory reported) the texts count as equal.
int compareCounted(const char* a, size_t na, const char* b, size_t nb, TerminatedCompare compare) {
  char stackA[kStackCopyBytes];
  char stackB[kStackCopyBytes];
  char* heapA = nullptr;
  char* heapB = nullptr;
  int result = 0;
  const char* copyA = terminatedCopy(a, na, stackA, &heapA);
  const char* copyB = copyA != nullptr ? terminatedCopy(b, nb, stackB, &heapB) : nullptr;
  if (copyA != nullptr && copyB != nullptr) result = compare(copyA, copyB);
  juFree(heapA);
  juFree(heapB);
  return result;
}

}  // namespace

int juCompareStringA(const char* a, size_t na, const char* b, size_t nb) {
  return compareCounted(a, na, b, nb, platform::compareAnsi);
}

int juCompareStringIA(const char* a, size_t na, const char* b, size_t nb) {
  return compareCounted(a, na, b, nb, platform::compareAnsiNoCase);
}

int juCompareDoubleBytes(const void* a, const void* b) {
  // Little-endian: byte 7 holds the sign and the top of the exponent.
  const auto* x = static_cast<const uint8_t*>(a);
  const auto* y = static_cast<const uint8_t*>(b);
  bool negativeX = (x[7] & 0x80) != 0;
  bool negativeY = (y[7] & 0x80) != 0;
  if (negativeX != negativeY) return negativeX ? -1 : 1;
  for (int i = 7; i >= 0; --i) {
    if (x[i] != y[i]) {
      int result = x[i] < y[i] ? -1 : 1;
      // A larger magnitude is a smaller negative number.
      return negativeX ? -result : result;
    }
  }
  return 0;
}

int juCompareBytes(const void* a, const void* b, size_t n) {
  if (n == 0) return 0;
  int result = std::memcmp(a, b, n);
  return (result > 0) - (result < 0);
}

int juCompareBlankPadded(const char* a, const char* b) {
  size_t na = std::strlen(a);
  size_t nb = std::strlen(b);
  size_t common = na < nb ? na : nb;
  int result = juMemCompare(a, b, common);
  if (result != 0 || na == nb) return result;
  // The longer text equals the shorter when the rest is only blanks.
  const char* rest = na > nb ? a + common : b + common;
  while (*rest == ' ') ++rest;
  if (*rest == '\0') return 0;
  return na > nb ? 1 : -1;
}

int juStrNCompareSign(const char* a, const char* b, size_t n) {
  int result = std::strncmp(a, b, n);
  return (result > 0) - (result < 0);
}
