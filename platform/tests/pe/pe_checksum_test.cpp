// The PE checksum of long runs against the word-by-word sum that folds its
// carry after every word, at every start and length the wide sums meet.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/pe/image.h"

namespace {

// Word by word, the carry folded back at once, then the length.
uint32_t wordByWord(const unsigned char* bytes, size_t n) {
  uint32_t sum = 0;
  for (size_t i = 0; i < n; i += 2) {
    sum += bytes[i] | (i + 1 < n ? bytes[i + 1] << 8 : 0);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  return sum + static_cast<uint32_t>(n);
}

TEST(PeChecksum, WideSumsMatchWordByWord) {
  std::string mixed(8199, '\0');
  for (size_t i = 0; i < mixed.size(); ++i) mixed[i] = static_cast<char>(i * 2654435761u >> 13);
  const std::string rows[] = {
      mixed,
      std::string(4099, '\xFF'),                          // the residue is zero, the sum is not
      std::string(70, '\xFF') + std::string(70, '\x01'),  // carries out of every half
      std::string(300, '\0') + "\x01",                    // zeros and one low byte
  };
  for (const std::string& row : rows) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(row.data());
    // Odd and even starts and lengths on both sides of the 8- and 32-byte
    // groups; two pieces, the first of which may leave a byte waiting.
    for (size_t at : {0, 1, 3, 8, 33}) {
      for (size_t n : {size_t{0}, size_t{7}, size_t{8}, size_t{31}, size_t{33}, size_t{65}, row.size() - 40}) {
        if (at + n > row.size()) continue;
        SCOPED_TRACE(std::to_string(row.size()) + " bytes, at " + std::to_string(at) + ", " + std::to_string(n));
        const size_t cut = std::min(n, n / 3 * 2 + 1);
        platform::pe::PeChecksum whole, pieces;
        whole.add(bytes + at, n);
        pieces.add(bytes + at, cut);
        pieces.add(bytes + at + cut, n - cut);
        EXPECT_EQ(whole.finish(n), wordByWord(bytes + at, n));
        EXPECT_EQ(pieces.finish(n), wordByWord(bytes + at, n));
      }
    }
  }
}

}  // namespace
