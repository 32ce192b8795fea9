// The version resource's reader and writer on byte buffers: the layout
// written, byte for byte, growth, and damaged resources.
#include <gtest/gtest.h>

#include <string>

#include "version_test_support.h"

namespace {

using brandtest::Bytes;
using brandtest::makeResource;
using versioninfo::ReadStatus;

// Little-endian bytes by hand, the lengths counted by hand.
struct Hand {
  Bytes v;
  Hand& word(uint16_t w) {
    v.insert(v.end(), {static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8)});
    return *this;
  }
  Hand& text(std::u16string_view t) {
    for (char16_t c : t) word(c);
    return word(0);
  }
  Hand& zeros(size_t n) {
    v.insert(v.end(), n, 0);
    return *this;
  }
};

TEST(VersionWriter, WritesTheLayoutByteForByte) {
  const Bytes fixed = brandtest::patternFixedInfo();
  Hand h;
  h.word(248).word(52).word(0).text(u"VS_VERSION_INFO").zeros(2);  // 0..40
  h.v.insert(h.v.end(), fixed.begin(), fixed.end());                // ..92
  h.word(88).word(0).word(1).text(u"StringFileInfo");              // ..128
  h.word(52).word(0).word(1).text(u"040904B0");                    // ..152
  h.word(16).word(2).word(1).text(u"A").zeros(2).text(u"x");       // ..168
  h.word(12).word(0).word(1).text(u"Bc");                          // ..180: empty, no value nor padding
  h.word(68).word(0).word(1).text(u"VarFileInfo").zeros(2);        // ..212
  h.word(36).word(4).word(0).text(u"Translation").zeros(2).word(0x0409).word(0x04B0);  // ..248
  EXPECT_EQ(makeResource(u"040904B0", {{u"A", u"x"}, {u"Bc", u""}}, fixed), h.v);
}

TEST(VersionBuffer, GrowsToTheSizeNeededPlus1024RoundedUp) {
  struct Case {
    size_t first, second;
    uint32_t capacityAfterFirst, capacityAfterSecond;
  };
  const Case cases[] = {{1, 1023, 1024, 1024}, {1, 1024, 1024, 3072}, {1500, 0, 3072, 3072}, {1024, 1024, 1024, 3072}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.first) + " then " + std::to_string(c.second));
    versioninfo::VersionBuffer buffer;
    const Bytes first(c.first, 0xA5);
    ASSERT_TRUE(buffer.append(first.data(), first.size()));
    EXPECT_EQ(buffer.capacity(), c.capacityAfterFirst);
    ASSERT_TRUE(buffer.append(nullptr, c.second));
    EXPECT_EQ(buffer.capacity(), c.capacityAfterSecond);
    ASSERT_EQ(buffer.length(), c.first + c.second);
    EXPECT_EQ(buffer.data()[c.first - 1], 0xA5);
  }
}

// The resource of WritesTheLayoutByteForByte with one word changed, then cut.
TEST(VersionInfoReader, RefusesDamagedResources) {
  const Bytes good = makeResource(u"040904B0", {{u"A", u"x"}, {u"Bc", u""}});
  ASSERT_EQ(good.size(), 248u);
  struct Case {
    const char* note;
    size_t at;
    uint16_t word;
    ReadStatus status;
  };
  const Case cases[] = {
      {"root longer than the resource", 0, 249, ReadStatus::kMalformed},
      {"root shorter than its header", 0, 4, ReadStatus::kMalformed},
      {"root ends inside its key", 0, 30, ReadStatus::kMalformed},
      {"root ends inside the fixed information", 0, 60, ReadStatus::kMalformed},
      {"root ends inside StringFileInfo", 0, 170, ReadStatus::kMalformed},
      {"fixed information of 51 bytes", 2, 51, ReadStatus::kMalformed},
      {"another root key", 6, u'W', ReadStatus::kMalformed},
      {"StringFileInfo of length 0", 92, 0, ReadStatus::kMalformed},
      {"table longer than StringFileInfo", 128, 60, ReadStatus::kMalformed},
      {"String longer than the table", 168, 24, ReadStatus::kMalformed},
      {"String ends inside its key", 168, 10, ReadStatus::kMalformed},
      {"StringFileInfo under another name", 92 + 6, u'X', ReadStatus::kNoStringTable},
      {"StringFileInfo without a table", 92, 36, ReadStatus::kNoStringTable},
      {"a value claimed without room reads as empty", 170, 1, ReadStatus::kOk},
      {"a value longer than its node ends with the node", 154, 400, ReadStatus::kOk},
      {"a damaged VarFileInfo is dropped, not read", 212, 40, ReadStatus::kOk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    Bytes bad = good;
    bad[c.at] = static_cast<uint8_t>(c.word);
    bad[c.at + 1] = static_cast<uint8_t>(c.word >> 8);
    versioninfo::VersionInfoReader reader;
    EXPECT_EQ(reader.read(bad.data(), bad.size()), c.status);
  }
  for (size_t size = 0; size < good.size(); ++size) {
    const Bytes cut(good.begin(), good.begin() + size);
    versioninfo::VersionInfoReader reader;
    EXPECT_EQ(reader.read(cut.data(), cut.size()), ReadStatus::kMalformed) << "cut to " << size;
  }
}

}  // namespace
