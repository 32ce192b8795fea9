// The starts of the searched texts, found all at once: every start of a
// pair in any case, across the 32-byte blocks and the groups of blocks the
// search takes at a time; windows with more candidates than fit.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "rewrite/byte_search.h"

namespace {

using brandrewrite::Candidates;
using Pairs = std::vector<std::pair<char, char>>;

// Where some pair stands, byte by byte: equal after | 0x20.
std::set<size_t> startsOf(const std::string& bytes, const Pairs& pairs, size_t from, size_t to) {
  std::set<size_t> out;
  for (size_t at = from; at < to; ++at) {
    for (const auto& [first, second] : pairs) {
      if ((bytes[at] | 0x20) == (first | 0x20) && (bytes[at + 1] | 0x20) == (second | 0x20)) out.insert(at);
    }
  }
  return out;
}

TEST(PairFilter, FindsEveryStartInAnyCase) {
  // The pairs' bytes in both cases, bytes that fold onto them ('[' onto
  // '{', '@' onto '`') and bytes that never match.
  const std::string alphabet = "aAbB[{@`zZ~\x80";
  std::string bytes(5000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = alphabet[(i * 2654435761u >> 16) % alphabet.size()];
  const Pairs eight = {{'a', 'b'}, {'b', 'a'}, {'[', 'z'}, {'@', '`'}, {'z', 'z'}, {'~', 'a'}, {'b', 'b'}, {'a', '@'}};
  Pairs ten = eight;
  ten.insert(ten.end(), {{'~', '~'}, {'z', 'a'}});
  const std::tuple<Pairs, bool, const char*> rows[] = {
      {{{'A', 'b'}}, true, "one pair"},
      {{{'{', '@'}}, true, "bytes that fold onto other bytes"},
      {eight, true, "eight"},
      {ten, false, "ten share the eight buckets: more may be found"},
  };
  const std::pair<size_t, size_t> ranges[] = {{0, 4999}, {1, 31}, {31, 65}, {5, 2053}, {2047, 4097}, {7, 7}};
  for (const auto& [pairs, exact, note] : rows) {
    brandrewrite::PairFilter filter;
    for (const auto& [first, second] : pairs) filter.add(first, second);
    for (const auto& [from, to] : ranges) {
      SCOPED_TRACE(std::string(note) + ", from " + std::to_string(from) + " to " + std::to_string(to));
      std::vector<size_t> found;
      EXPECT_TRUE(filter.find(bytes.data(), from, to, [&](size_t at) {
        EXPECT_TRUE(found.empty() || at > found.back()) << "in order, once each";
        found.push_back(at);
        return true;
      }));
      const std::set<size_t> all(found.begin(), found.end()), expected = startsOf(bytes, pairs, from, to);
      EXPECT_TRUE(exact ? all == expected : std::includes(all.begin(), all.end(), expected.begin(), expected.end()));
      EXPECT_TRUE(all.empty() || (*all.begin() >= from && *all.rbegin() < to));
    }
  }
}

// A window holds the candidates before its limit; one with more than fit
// is unusable.
TEST(Candidates, HoldWhatFitsOfAWindow) {
  std::string full;
  for (size_t i = 0; i <= Candidates::kCapacity; ++i) full += "aB";
  const std::tuple<std::string, size_t, bool> rows[] = {
      {"xxabxABxab", 8, true},        // before the limit only
      {"xxabxABxa", 9, true},         // a start needs its second byte
      {full, full.size() - 2, true},  // as many as fit
      {full, full.size(), false},     // one more
  };
  for (const auto& [window, limit, usable] : rows) {
    SCOPED_TRACE(window.substr(0, 10) + ", limit " + std::to_string(limit));
    Candidates candidates;
    candidates.add('A', 'b');
    candidates.start(window.data(), window.size(), limit);
    ASSERT_EQ(candidates.usable(), usable);
    if (!usable) continue;
    const std::set<size_t> expected = startsOf(window, {{'a', 'b'}}, 0, std::min(limit, window.size() - 1));
    EXPECT_EQ(std::vector<size_t>(candidates.from(0), candidates.end()),
              std::vector<size_t>(expected.begin(), expected.end()));
  }
}

}  // namespace
