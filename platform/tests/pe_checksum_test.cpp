// The PE checksum of long runs against the word-by-word sum that folds its
// carry after every word, at every start and length the wide sums meet.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/pe_image.h"

namespace {

namespace pe = platform::pe;

// Word by word, the carry folded back at once, then the length.
uint32_t wordByWord(const unsigned char* bytes, size_t n) {
  uint32_t sum = 0;
  for (size_t i = 0; i < n; i += 2) {
    sum += bytes[i] | (i + 1 < n ? bytes[i + 1] << 8 : 0);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  return sum + static_cast<uint32_t>(n);
}

std::string filled(size_t n, unsigned seed) {
  std::string out(n, '\0');
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<char>((i * 2654435761u + seed) >> 13);
  return out;
}

TEST(PeChecksum, WideSumsMatchWordByWord) {
  const struct {
    std::string bytes;
    const char* note;
  } rows[] = {
      {filled(8 * 1024 + 7, 1), "pseudo-random bytes"},
      {std::string(4099, '\xFF'), "all 0xFF: the residue is zero, the sum is not"},
      {std::string(70, '\xFF') + std::string(70, '\x01'), "carries out of every half"},
      {std::string(300, '\0') + "\x01", "zeros and one low byte"},
  };
  for (const auto& row : rows) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(row.bytes.data());
    // Starts and ends on both sides of the 8- and 32-byte groups, odd and
    // even; the first piece's odd end leaves a byte waiting for the second.
    for (size_t at : {size_t{0}, size_t{1}, size_t{3}, size_t{8}, size_t{33}}) {
      for (size_t n : {size_t{0}, size_t{7}, size_t{8}, size_t{31}, size_t{32}, size_t{33}, size_t{65},
                       row.bytes.size() - 40}) {
        if (at + n > row.bytes.size()) continue;
        SCOPED_TRACE(std::string(row.note) + ", at " + std::to_string(at) + ", " + std::to_string(n) + " bytes");
        pe::PeChecksum whole;
        whole.add(bytes + at, n);
        EXPECT_EQ(whole.finish(n), wordByWord(bytes + at, n));
        const size_t cut = std::min(n, n / 3 * 2 + 1);  // two pieces, cut inside the run
        pe::PeChecksum pieces;
        pieces.add(bytes + at, cut);
        pieces.add(bytes + at + cut, n - cut);
        EXPECT_EQ(pieces.finish(n), wordByWord(bytes + at, n));
      }
    }
  }
}

}  // namespace
