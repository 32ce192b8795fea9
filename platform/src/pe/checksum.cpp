// The PE checksum, summed many words at a time.
//
// The sum is only ever used modulo 65535 (finish folds the carries back,
// removeSpan subtracts modulo 65535), and 2^16 and 2^32 are 1 modulo
// 65535: so eight bytes, four words, sum to the same as their two 32-bit
// halves, and the bulk of a piece is summed as 32-bit halves in 64-bit
// lanes. What the sum keeps apart from its residue is whether it is zero,
// and a sum of halves is zero exactly when the words are.

#include "platform/pe/image.h"

#include <algorithm>
#include <cstring>

namespace platform::pe {

namespace {

// Bytes summed by one call of sumHalves: its lanes then hold less than 2^60.
constexpr size_t kMaxRun = size_t{1} << 30;

// The sum of the 32-bit little-endian halves of data[0, 8 * groups), four
// groups at a time: compiled for AVX2 and for the baseline, and the one the
// processor runs is chosen when the program loads.
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target_clones("avx2", "default")))
#endif
uint64_t sumHalves(const unsigned char* data, size_t groups) {
  using Lanes = uint64_t __attribute__((vector_size(32)));
  constexpr uint64_t kLow = 0xFFFFFFFF;
  Lanes lanes = {0, 0, 0, 0};
  size_t i = 0;
  for (; groups - i >= 4; i += 4) {
    Lanes v;
    std::memcpy(&v, data + 8 * i, sizeof v);
    lanes += (v & kLow) + (v >> 32);
  }
  uint64_t sum = lanes[0] + lanes[1] + lanes[2] + lanes[3];
  for (; i < groups; ++i) {
    uint64_t v;
    std::memcpy(&v, data + 8 * i, sizeof v);
    sum += (v & kLow) + (v >> 32);
  }
  return sum;
}

// The sum folded into 32 bits with its carries added back: the same
// residue modulo 65535 (a divisor of 2^32 - 1), zero only when it was.
uint64_t foldTo32(uint64_t sum) {
  while ((sum >> 32) != 0) sum = (sum & 0xFFFFFFFF) + (sum >> 32);
  return sum;
}

}  // namespace

void PeChecksum::add(const unsigned char* data, size_t size) noexcept {
  size_t i = 0;
  if (odd_ && size > 0) {
    sum_ += static_cast<uint32_t>(pending_) | static_cast<uint32_t>(data[0]) << 8;
    odd_ = false;
    i = 1;
  }
  // Words start at data[i]: the groups of eight bytes are four words each.
  while (size - i >= 8) {
    const size_t run = std::min((size - i) / 8 * 8, kMaxRun);
    sum_ = foldTo32(sum_) + sumHalves(data + i, run / 8);
    i += run;
  }
  uint64_t sum = foldTo32(sum_);
  for (; i + 1 < size; i += 2) sum += static_cast<uint32_t>(data[i]) | static_cast<uint32_t>(data[i + 1]) << 8;
  sum_ = sum;
  if (i < size) {
    pending_ = data[i];
    odd_ = true;
  }
}

void PeChecksum::startAt(uint64_t offset) noexcept {
  // An odd offset starts with the high byte of a word whose low byte lies
  // outside the span: a zero low byte stands for it.
  odd_ = (offset & 1) != 0;
  pending_ = 0;
}

void PeChecksum::addSpan(const PeChecksum& span) noexcept {
  sum_ += span.sum_ + (span.odd_ ? span.pending_ : 0);
}

void PeChecksum::removeSpan(const PeChecksum& span) noexcept {
  // Modulo 65535, as the folding counts; the result stays above zero.
  constexpr uint64_t kFold = 0xFFFF;
  sum_ = sum_ % kFold + kFold - (span.sum_ + (span.odd_ ? span.pending_ : 0)) % kFold;
}

uint32_t PeChecksum::finish(uint64_t fileBytes) const noexcept {
  uint64_t sum = sum_ + (odd_ ? pending_ : 0);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + fileBytes);
}

}  // namespace platform::pe
