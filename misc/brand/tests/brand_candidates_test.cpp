// The starts of the searched texts, found all at once: every start of a
// pair in any case, across the 32-byte blocks and the groups of blocks the
// search takes at a time; windows with more candidates than fit.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "brand_candidates.h"

namespace {

using brandrewrite::Candidates;
using brandrewrite::PairFilter;
using Pairs = std::vector<std::pair<char, char>>;

char folded(char c) { return static_cast<char>(c | 0x20); }

// Where some pair stands, byte by byte.
std::set<size_t> startsOf(const std::string& bytes, const Pairs& pairs, size_t from, size_t to) {
  std::set<size_t> out;
  for (size_t at = from; at < to; ++at) {
    for (const auto& [first, second] : pairs) {
      if (folded(bytes[at]) == folded(first) && folded(bytes[at + 1]) == folded(second)) out.insert(at);
    }
  }
  return out;
}

// Bytes from a small alphabet: the pairs' bytes in both cases, the bytes
// that fold onto them ('[' onto '{', '@' onto '`') and two that never match.
std::string text(size_t n) {
  const std::string alphabet = "aAbB[{@`zZ~\x80";
  std::string out(n, '\0');
  uint32_t state = 12345;
  for (char& c : out) {
    state = state * 1103515245 + 12345;
    c = alphabet[(state >> 16) % alphabet.size()];
  }
  return out;
}

TEST(PairFilter, FindsEveryStartInAnyCase) {
  const std::string bytes = text(5000) + '\0';  // bytes[to] is readable for every `to` below
  const struct {
    Pairs pairs;
    bool exact;  // false: eight buckets hold more than eight pairs, and find may report more
    const char* note;
  } rows[] = {
      {{{'A', 'b'}}, true, "one pair"},
      {{{'{', '@'}}, true, "bytes that fold onto other bytes"},
      {{{'a', 'b'}, {'b', 'a'}, {'[', 'z'}, {'@', '`'}, {'z', 'z'}, {'~', 'a'}, {'b', 'b'}, {'a', '@'}}, true, "eight"},
      {{{'a', 'b'}, {'b', 'a'}, {'[', 'z'}, {'@', '`'}, {'z', 'z'}, {'~', 'a'}, {'b', 'b'}, {'a', '@'}, {'~', '~'},
        {'z', 'a'}},
       false, "ten share the buckets"},
      {{{'a', 'b'}, {'A', 'B'}}, true, "a pair added twice"},
  };
  const std::pair<size_t, size_t> ranges[] = {{0, 4999}, {1, 31}, {0, 32}, {31, 65}, {5, 2053}, {2047, 4097}, {7, 7}};
  for (const auto& row : rows) {
    PairFilter filter;
    for (const auto& [first, second] : row.pairs) filter.add(first, second);
    for (const auto& [from, to] : ranges) {
      SCOPED_TRACE(std::string(row.note) + ", from " + std::to_string(from) + " to " + std::to_string(to));
      std::vector<size_t> found;
      EXPECT_TRUE(filter.find(bytes.data(), from, to, [&](size_t at) {
        found.push_back(at);
        return true;
      }));
      const std::set<size_t> expected = startsOf(bytes, row.pairs, from, to);
      EXPECT_TRUE(std::is_sorted(found.begin(), found.end()));
      const std::set<size_t> foundSet(found.begin(), found.end());
      EXPECT_EQ(foundSet.size(), found.size()) << "a start found twice";
      if (row.exact) {
        EXPECT_EQ(foundSet, expected);
      } else {
        EXPECT_TRUE(std::includes(foundSet.begin(), foundSet.end(), expected.begin(), expected.end()));
        EXPECT_TRUE(foundSet.empty() || (*foundSet.begin() >= from && *foundSet.rbegin() < to));
      }
    }
  }
}

// A visit that says stop ends the search there.
TEST(PairFilter, StopsWhereAVisitSaysSo) {
  PairFilter filter;
  filter.add('a', 'b');
  const std::string bytes = std::string(100, 'x') + "ab" + std::string(100, 'x') + "AB" + std::string(100, 'x') + "ab";
  std::vector<size_t> found;
  EXPECT_FALSE(filter.find(bytes.data(), 0, bytes.size() - 1, [&](size_t at) {
    found.push_back(at);
    return found.size() < 2;
  }));
  EXPECT_EQ(found, (std::vector<size_t>{100, 202}));
}

// A window holds the candidates of its limit, once each and in order; one
// with more than fit is unusable until the next window starts.
TEST(Candidates, HoldWhatFitsOfAWindow) {
  const auto repeated = [](const std::string& piece, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out += piece;
    return out;
  };
  const struct {
    std::string window;
    size_t limit;
    bool usable;
    const char* note;
  } rows[] = {
      {"xxabxABxab", 10, true, "in order"},
      {"xxabxABxab", 8, true, "before the limit only"},
      {"xxabxABxa", 9, true, "a start needs its second byte in the window"},
      {repeated("ab", Candidates::kCapacity), 2 * Candidates::kCapacity, true, "as many as fit"},
      {repeated("ab", Candidates::kCapacity + 1), 2 * Candidates::kCapacity, true, "... before the limit"},
      {repeated("ab", Candidates::kCapacity + 1), 2 * Candidates::kCapacity + 2, false, "one more than fit"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    Candidates candidates;
    candidates.add('A', 'B');
    candidates.start(row.window.data(), row.window.size(), row.limit);
    EXPECT_EQ(candidates.usable(), row.usable);
    if (!row.usable) continue;
    const std::set<size_t> expected =
        startsOf(row.window, {{'a', 'b'}}, 0, std::min(row.limit, row.window.size() - 1));
    EXPECT_EQ(std::vector<size_t>(candidates.from(0), candidates.end()),
              std::vector<size_t>(expected.begin(), expected.end()));
  }
  // Collecting a range again adds only the starts not yet held.
  std::string window = "xxabxxxxxx";
  Candidates candidates;
  candidates.add('a', 'b');
  candidates.start(window.data(), window.size(), window.size());
  window.replace(5, 2, "AB");
  EXPECT_TRUE(candidates.collect(window.data(), 1, 8));
  EXPECT_EQ(std::vector<size_t>(candidates.from(0), candidates.end()), (std::vector<size_t>{2, 5}));
  EXPECT_EQ(*candidates.from(3), 5u);
}

}  // namespace
