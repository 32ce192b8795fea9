// The one byte search of the tool: where the texts a driver file is searched
// for may start. The first two bytes of every text are found all at once (a
// PairFilter), as candidates that are then compared in full: for all the
// rewriters of a window at once (Candidates), or for one text (TextSearch).
#ifndef BRAND_REWRITE_BYTE_SEARCH_H
#define BRAND_REWRITE_BYTE_SEARCH_H

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace brandrewrite {

// A set of byte pairs, matched ignoring ASCII case: a byte matches a pair's
// byte when the two are equal after | 0x20, which folds a letter's cases
// together (and a few other bytes with them). Each pair takes one of eight
// buckets; a ninth pair shares the first bucket, and so on, and the halves
// of the pairs in one bucket then also match each other. It is a filter:
// every start of a pair is found, and what is found is compared in full
// after.
//   PairFilter f; f.add('A', 'b');
//   f.find("xaBy", 0, 3, visit) -> visit(1)
class PairFilter {
 public:
  // A start that `find` found; false stops the search.
  using Visit = bool (*)(void* context, size_t at);

  // Adds a pair; one that the filter matches already changes nothing.
  void add(char first, char second);
  bool empty() const { return count_ == 0; }

  // Visits each offset in [from, to) of `bytes`, in order, where
  // bytes[at] and bytes[at + 1] match a pair; bytes[to] must be readable
  // when to > from (the second byte of the last start). false when a visit
  // returned false, which ends the search; true otherwise.
  bool find(const char* bytes, size_t from, size_t to, Visit visit, void* context) const;

  template <typename Found>
  bool find(const char* bytes, size_t from, size_t to, Found&& found) const {
    using F = std::remove_reference_t<Found>;
    return find(bytes, from, to, [](void* f, size_t at) { return (*static_cast<F*>(f))(at); }, &found);
  }

  // The buckets of a byte, by its low and its high four bits: a byte is in
  // bucket b when bit b is set in both. Each table twice over, one copy for
  // each half of a 32-byte vector.
  struct Nibbles {
    uint8_t firstLow[32];
    uint8_t firstHigh[32];
    uint8_t secondLow[32];
    uint8_t secondHigh[32];
  };

 private:
  Nibbles nibbles_ = {};
  // The same by whole byte values, for the starts a vector does not hold.
  uint8_t first_[256] = {};
  uint8_t second_[256] = {};
  size_t count_ = 0;
};

// The candidates of one window, for every rewriter at once: the offsets
// where one of their pairs stands, in order and once each. A rewrite that
// changes bytes collects its range again, so that what it wrote is seen
// by the rewriters that come after it. Too many candidates to hold make
// the window's list unusable, and the rewriters then search it themselves.
//   Candidates c; c.add('A', 'B');
//   c.start("xxabxAB", 7, 7) -> usable, offsets 2 and 5
class Candidates {
 public:
  static constexpr size_t kCapacity = 1024;

  void add(char first, char second) { pairs_.add(first, second); }

  // Collects the starts of window[0, length) that lie before `limit` (and
  // have their second byte in the window).
  void start(const char* window, size_t length, size_t limit);
  // Adds the starts in [from, to) not yet held (window[to] readable when
  // to > from); false, and unusable from then on, when they do not fit.
  bool collect(const char* window, size_t from, size_t to);

  bool usable() const { return usable_; }
  // The candidates at `at` or behind it, up to end().
  const size_t* from(size_t at) const;
  const size_t* end() const { return offsets_ + count_; }

 private:
  PairFilter pairs_;
  bool usable_ = false;
  size_t count_ = 0;
  size_t offsets_[kCapacity];
};

// One text searched for in many buffers, exactly or ignoring ASCII case. The
// text is not copied: it must outlive the search.
//   TextSearch s; s.prepare("ABORA", 5, true); s.find(p, p + 8) on "xAbora28" -> p + 1
class TextSearch {
 public:
  void prepare(const char* text, size_t length, bool ignoreCase);
  // The first start in [from, end) of the whole text, or null.
  const char* find(const char* from, const char* end) const;
  // The text stands at `p` (its whole length readable there).
  bool matchesAt(const char* p) const;

 private:
  const char* text_ = nullptr;
  size_t length_ = 0;
  bool ignoreCase_ = false;
  // Made at the first find: most searches only ever compare (matchesAt).
  mutable bool filtered_ = false;
  mutable PairFilter start_;
};

// The first position in [from, end) where the `count` bytes of `upper` (an
// upper-cased text) occur ignoring ASCII case, or null. Bytes are bytes
// here, not characters: any byte of a binary file may start a name.
//   findNoCase("xAbora28", 8, "ABORA", 5) -> at 1
const char* findNoCase(const char* from, const char* end, const char* upper, size_t count);

// The offset of the first occurrence of `pattern` in `buffer`, byte for
// byte, or -1 (also for a null pointer, a length 0 or a pattern longer than
// the buffer).   findBytes("abcabc", 6, "ca", 2) -> 2
int64_t findBytes(const char* buffer, size_t length, const char* pattern, size_t patternLength);

}  // namespace brandrewrite

#endif  // BRAND_REWRITE_BYTE_SEARCH_H
