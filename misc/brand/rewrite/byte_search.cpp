// The byte search. Finding the starts of many byte pairs at once: each byte
// looks up its buckets by its two halves (four bits each), thirty-two bytes
// at a time where the processor has AVX2, so one pair costs what eight cost.

#include "rewrite/byte_search.h"

#include <algorithm>
#include <cstring>

#include "text/ascii.h"
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace brandrewrite {

namespace {

// Puts a pair's byte `c` into the bucket `bit`, in both cases: with 0x20
// set (c | 0x20) and clear; the folded byte's high half has bit 1 set, the
// other one has it clear.
void addToBucket(uint8_t* low, uint8_t* high, char c, uint8_t bit) {
  const auto folded = static_cast<uint8_t>(static_cast<uint8_t>(c) | 0x20);
  for (size_t half = 0; half < 32; half += 16) {
    low[half + (folded & 0x0F)] |= bit;
    high[half + (folded >> 4)] |= bit;
    high[half + ((folded >> 4) & ~2u)] |= bit;
  }
}

#if defined(__x86_64__) && defined(__GNUC__)
bool haveWideVectors() {
  static const bool have = __builtin_cpu_supports("avx2") != 0;
  return have;
}

// Blocks of 32 starts looked at between two rounds of visits, so that the
// vector loop makes no call and keeps its tables in registers.
constexpr size_t kGroupBlocks = 64;

// The buckets of 32 bytes, from the tables of their low and high halves.
__attribute__((target("avx2"))) inline __m256i bucketsOf(__m256i bytes, __m256i low, __m256i high) {
  const __m256i halfMask = _mm256_set1_epi8(0x0F);
  const __m256i lows = _mm256_and_si256(bytes, halfMask);
  const __m256i highs = _mm256_and_si256(_mm256_srli_epi16(bytes, 4), halfMask);
  return _mm256_and_si256(_mm256_shuffle_epi8(low, lows), _mm256_shuffle_epi8(high, highs));
}

// For `blocks` blocks of 32 starts from `bytes`: the blocks that hold a
// start (index[i]) with their starts as bits (masks[i]); returns how many.
__attribute__((target("avx2"))) size_t findBlocks(const PairFilter::Nibbles& t, const char* bytes, size_t blocks,
                                                  uint32_t* index, uint32_t* masks) {
  // The tables are read unaligned: a filter may live in memory from malloc,
  // which promises 16 bytes of alignment, not 32.
  const __m256i firstLow = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t.firstLow));
  const __m256i firstHigh = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t.firstHigh));
  const __m256i secondLow = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t.secondLow));
  const __m256i secondHigh = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t.secondHigh));
  const __m256i zero = _mm256_setzero_si256();
  size_t found = 0;
  for (size_t i = 0; i < blocks; ++i) {
    const char* p = bytes + 32 * i;
    const __m256i firsts = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i seconds = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
    const __m256i hit =
        _mm256_and_si256(bucketsOf(firsts, firstLow, firstHigh), bucketsOf(seconds, secondLow, secondHigh));
    if (_mm256_testz_si256(hit, hit) != 0) continue;
    index[found] = static_cast<uint32_t>(i);
    masks[found] = ~static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(hit, zero)));
    ++found;
  }
  return found;
}

// Visits the starts in [*at, to) a group of blocks at a time and leaves *at
// where less than a block is left.
bool findWide(const PairFilter::Nibbles& t, const char* bytes, size_t* at, size_t to, PairFilter::Visit visit,
              void* context) {
  uint32_t index[kGroupBlocks];
  uint32_t masks[kGroupBlocks];
  while (to - *at >= 32) {
    const size_t blocks = std::min((to - *at) / 32, kGroupBlocks);
    const size_t found = findBlocks(t, bytes + *at, blocks, index, masks);
    for (size_t i = 0; i < found; ++i) {
      for (uint32_t mask = masks[i]; mask != 0; mask &= mask - 1) {
        if (!visit(context, *at + 32 * index[i] + static_cast<size_t>(__builtin_ctz(mask)))) return false;
      }
    }
    *at += 32 * blocks;
  }
  return true;
}
#endif

}  // namespace

void PairFilter::add(char first, char second) {
  const auto a = static_cast<uint8_t>(first);
  const auto b = static_cast<uint8_t>(second);
  if ((first_[a] & second_[b]) != 0) return;
  const auto bit = static_cast<uint8_t>(1u << (count_ % 8));
  addToBucket(nibbles_.firstLow, nibbles_.firstHigh, first, bit);
  addToBucket(nibbles_.secondLow, nibbles_.secondHigh, second, bit);
  for (size_t c = 0; c < 256; ++c) {
    first_[c] = nibbles_.firstLow[c & 0x0F] & nibbles_.firstHigh[c >> 4];
    second_[c] = nibbles_.secondLow[c & 0x0F] & nibbles_.secondHigh[c >> 4];
  }
  ++count_;
}

bool PairFilter::find(const char* bytes, size_t from, size_t to, Visit visit, void* context) const {
  if (count_ == 0 || from >= to) return true;
  size_t at = from;
#if defined(__x86_64__) && defined(__GNUC__)
  if (haveWideVectors() && !findWide(nibbles_, bytes, &at, to, visit, context)) return false;
#endif
  for (; at < to; ++at) {
    const auto a = static_cast<uint8_t>(bytes[at]);
    const auto b = static_cast<uint8_t>(bytes[at + 1]);
    if ((first_[a] & second_[b]) != 0 && !visit(context, at)) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Candidates
// ---------------------------------------------------------------------------

void Candidates::start(const char* window, size_t length, size_t limit) {
  count_ = 0;
  usable_ = true;
  (void)collect(window, 0, std::min(limit, length > 0 ? length - 1 : 0));
}

bool Candidates::collect(const char* window, size_t from, size_t to) {
  if (!usable_) return false;
  usable_ = pairs_.find(window, from, to, [&](size_t at) {
    size_t* place = std::lower_bound(offsets_, offsets_ + count_, at);
    if (place != offsets_ + count_ && *place == at) return true;
    if (count_ == kCapacity) return false;
    std::memmove(place + 1, place, static_cast<size_t>(offsets_ + count_ - place) * sizeof *place);
    *place = at;
    ++count_;
    return true;
  });
  return usable_;
}

const size_t* Candidates::from(size_t at) const { return std::lower_bound(offsets_, end(), at); }

// ---------------------------------------------------------------------------
// One text
// ---------------------------------------------------------------------------

void TextSearch::prepare(const char* text, size_t length, bool ignoreCase) {
  text_ = text;
  length_ = length;
  ignoreCase_ = ignoreCase;
  filtered_ = false;
}

bool TextSearch::matchesAt(const char* p) const {
  if (!ignoreCase_) return std::memcmp(p, text_, length_) == 0;
  for (size_t i = 0; i < length_; ++i) {
    if (brandtext::upperAscii(p[i]) != brandtext::upperAscii(text_[i])) return false;
  }
  return true;
}

const char* TextSearch::find(const char* from, const char* end) const {
  if (from == nullptr || text_ == nullptr || length_ == 0 || end < from || static_cast<size_t>(end - from) < length_) {
    return nullptr;
  }
  const size_t starts = static_cast<size_t>(end - from) - length_ + 1;
  if (length_ == 1) {
    // No pair to filter by: every byte is a start.
    for (size_t at = 0; at < starts; ++at) {
      if (matchesAt(from + at)) return from + at;
    }
    return nullptr;
  }
  if (!filtered_) {
    start_ = PairFilter();
    start_.add(text_[0], text_[1]);
    filtered_ = true;
  }
  // The filter folds more than case: each start it finds is compared here.
  const char* found = nullptr;
  (void)start_.find(from, 0, starts, [&](size_t at) {
    if (!matchesAt(from + at)) return true;
    found = from + at;
    return false;
  });
  return found;
}

const char* findNoCase(const char* from, const char* end, const char* upper, size_t count) {
  TextSearch search;
  search.prepare(upper, count, true);
  return search.find(from, end);
}

int64_t findBytes(const char* buffer, size_t length, const char* pattern, size_t patternLength) {
  if (buffer == nullptr || pattern == nullptr || length == 0 || patternLength == 0 || patternLength > length) {
    return -1;
  }
  TextSearch search;
  search.prepare(pattern, patternLength, false);
  const char* found = search.find(buffer, buffer + length);
  return found != nullptr ? found - buffer : -1;
}

}  // namespace brandrewrite
