// The version resource's reader and writer on byte buffers: the layout
// written, down to each byte, what reads back, and damaged resources.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "testing/allocation_faults.h"
#include "version_resource.h"
#include "version_test_support.h"
#include "version_writer.h"

namespace {

using brandtest::makeResource;
using brandtest::Strings;
using versioninfo::ReadStatus;
using versioninfo::VersionInfoReader;
using versioninfo::WriteStatus;

// Little-endian bytes written by hand, with the lengths counted by hand.
struct Bytes {
  std::vector<uint8_t> v;
  Bytes& word(uint16_t w) {
    v.push_back(static_cast<uint8_t>(w));
    v.push_back(static_cast<uint8_t>(w >> 8));
    return *this;
  }
  Bytes& text(std::u16string_view t) {
    for (char16_t c : t) word(c);
    return word(0);
  }
  Bytes& zeros(size_t n) {
    v.insert(v.end(), n, 0);
    return *this;
  }
  Bytes& raw(const std::vector<uint8_t>& b) {
    v.insert(v.end(), b.begin(), b.end());
    return *this;
  }
};

TEST(VersionWriter, WritesTheLayoutByteForByte) {
  const std::vector<uint8_t> fixed = brandtest::patternFixedInfo();
  Bytes expected;
  expected.word(248).word(52).word(0).text(u"VS_VERSION_INFO").zeros(2).raw(fixed);  // 0..92
  expected.word(88).word(0).word(1).text(u"StringFileInfo");                           // 92..128
  expected.word(52).word(0).word(1).text(u"040904B0");                                 // 128..152
  expected.word(16).word(2).word(1).text(u"A").zeros(2).text(u"x");                    // 152..168
  expected.word(12).word(0).word(1).text(u"Bc");                                       // 168..180, no value
  expected.word(68).word(0).word(1).text(u"VarFileInfo").zeros(2);                     // 180..212
  expected.word(36).word(4).word(0).text(u"Translation").zeros(2).word(0x0409).word(0x04B0);  // ..248
  EXPECT_EQ(makeResource(u"040904B0", {{u"A", u"x"}, {u"Bc", u""}}, fixed), expected.v);
}

TEST(VersionWriter, ReadsBackWhatItWrote) {
  struct Case {
    const char* note;
    std::u16string key;
    Strings strings;
    uint16_t language, codePage;
  };
  const std::u16string longValue(3000, u'\u00E9');
  const Case cases[] = {
      {"no strings", u"040904E4", {}, 0x0409, 0x04E4},
      {"lower-case key", u"0c0a04b0", {{u"CompanyName", u"Soci\u00E9t\u00E9\u2122"}}, 0x0C0A, 0x04B0},
      {"empty and odd-length values",
       u"040904B0",
       {{u"Comments", u""}, {u"FileVersion", u"1.2"}, {u"X", u"ab"}, {u"Emoji", u"\U0001F600"}},
       0x0409,
       0x04B0},
      {"a value past the first 1024 bytes", u"FFFF0000", {{u"Long", longValue}}, 0xFFFF, 0x0000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    const std::vector<uint8_t> resource = makeResource(c.key, c.strings);
    ASSERT_FALSE(resource.empty());
    Strings expected = c.strings;
    for (auto& entry : expected) {
      if (entry.second.empty()) entry.second = u"<none>";
    }
    EXPECT_EQ(brandtest::readStrings(resource), expected);
    VersionInfoReader reader;
    ASSERT_EQ(reader.read(resource.data(), resource.size()), ReadStatus::kOk);
    EXPECT_EQ(brandtest::toU16(reader.tableKey()), c.key);
    EXPECT_EQ(reader.stringCount(), c.strings.size());
    EXPECT_EQ(std::vector<uint8_t>(reader.fixedInfo(), reader.fixedInfo() + 52), brandtest::patternFixedInfo());
    // The translation: the last 4 bytes.
    EXPECT_EQ(resource[resource.size() - 4] | resource[resource.size() - 3] << 8, c.language);
    EXPECT_EQ(resource[resource.size() - 2] | resource[resource.size() - 1] << 8, c.codePage);
  }
}

TEST(VersionWriter, RefusesWhatWLengthCannotHoldAndKeysThatNameNoTranslation) {
  struct Case {
    const char* note;
    std::u16string key;
    size_t valueUnits;
    WriteStatus status;
  };
  const Case cases[] = {
      {"largest value that fits", u"040904B0", 32000, WriteStatus::kOk},
      {"value past 65535 bytes", u"040904B0", 33000, WriteStatus::kTooLong},
      {"value past 65535 units", u"040904B0", 70000, WriteStatus::kTooLong},
      {"seven digits", u"040904B", 1, WriteStatus::kBadTableKey},
      {"not hexadecimal", u"04090GB0", 1, WriteStatus::kBadTableKey},
  };
  const std::vector<uint8_t> fixed = brandtest::patternFixedInfo();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    const std::u16string value(c.valueUnits, u'v');
    const brandtest::TextArray keys{u"K"};
    const brandtest::TextArray values{value.c_str()};
    versioninfo::VersionBuffer buffer;
    EXPECT_EQ(buildVersionResource({fixed.data(), c.key, &keys, &values}, &buffer), c.status);
  }
}

TEST(VersionBuffer, GrowsToTheSizeNeededPlus1024RoundedUp) {
  struct Case {
    size_t first, second;
    uint32_t capacityAfterFirst, capacityAfterSecond;
  };
  const Case cases[] = {
      {1, 1023, 1024, 1024},     // exactly full
      {1, 1024, 1024, 3072},     // 1025 needed: 2049 -> 3072
      {1500, 0, 3072, 3072},     // first append past 1024
      {1024, 1024, 1024, 3072},  // 2048 needed: 3072 exactly
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.first) + " then " + std::to_string(c.second));
    versioninfo::VersionBuffer buffer;
    const std::vector<uint8_t> a(c.first, 0xA5);
    ASSERT_TRUE(buffer.append(a.data(), a.size()));
    EXPECT_EQ(buffer.capacity(), c.capacityAfterFirst);
    ASSERT_TRUE(buffer.append(nullptr, c.second));
    EXPECT_EQ(buffer.capacity(), c.capacityAfterSecond);
    ASSERT_EQ(buffer.length(), c.first + c.second);
    EXPECT_EQ(buffer.data()[c.first - 1], 0xA5);  // content kept
  }
}

// A valid resource, damaged one field at a time.
TEST(VersionInfoReader, RefusesDamagedResources) {
  const std::vector<uint8_t> good = makeResource(u"040904B0", {{u"A", u"x"}, {u"Bc", u""}});
  ASSERT_EQ(good.size(), 248u);  // the layout of WritesTheLayoutByteForByte
  struct Case {
    const char* note;
    size_t offset;
    uint16_t word;
    ReadStatus status;
  };
  const Case cases[] = {
      {"root longer than the resource", 0, 249, ReadStatus::kMalformed},
      {"root shorter than its header", 0, 4, ReadStatus::kMalformed},
      {"root ends inside its key", 0, 30, ReadStatus::kMalformed},
      {"root ends inside the fixed information", 0, 60, ReadStatus::kMalformed},
      {"fixed information of 51 bytes", 2, 51, ReadStatus::kMalformed},
      {"another root key", 6, u'W', ReadStatus::kMalformed},
      {"StringFileInfo longer than the root", 92, 200, ReadStatus::kMalformed},
      {"StringFileInfo of length 0", 92, 0, ReadStatus::kMalformed},
      {"table longer than StringFileInfo", 128, 60, ReadStatus::kMalformed},
      {"String longer than the table", 168, 24, ReadStatus::kMalformed},
      {"String ends inside its key", 168, 10, ReadStatus::kMalformed},
      {"String claims a value it has no room for: read as empty", 170, 1, ReadStatus::kOk},
      {"root ends inside StringFileInfo", 0, 170, ReadStatus::kMalformed},
      {"a damaged VarFileInfo is dropped, not read", 212, 40, ReadStatus::kOk},
      {"StringFileInfo under another name", 92 + 6, u'X', ReadStatus::kNoStringTable},
      {"StringFileInfo without a table", 92, 36, ReadStatus::kNoStringTable},
      {"String value longer than its node: read to the node's end", 154, 400, ReadStatus::kOk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    std::vector<uint8_t> bad = good;
    bad[c.offset] = static_cast<uint8_t>(c.word);
    bad[c.offset + 1] = static_cast<uint8_t>(c.word >> 8);
    VersionInfoReader reader;
    EXPECT_EQ(reader.read(bad.data(), bad.size()), c.status);
  }
  // Every cut of the resource.
  for (size_t size = 0; size < good.size(); ++size) {
    SCOPED_TRACE("cut to " + std::to_string(size));
    VersionInfoReader reader;
    std::vector<uint8_t> cut(good.begin(), good.begin() + size);
    EXPECT_EQ(reader.read(cut.data(), cut.size()), ReadStatus::kMalformed);
  }
}

TEST(VersionWriter, OutOfMemoryFailsTheBuild) {
  const std::vector<uint8_t> fixed = brandtest::patternFixedInfo();
  const std::u16string longValue(1500, u'v');
  const brandtest::TextArray keys{u"A", u"B"};
  const brandtest::TextArray values{u"x", longValue.c_str()};
  const uint64_t runs = jutest::failEachAllocation([&](jutest::AllocationFault& fault) {
    versioninfo::VersionBuffer buffer;
    fault.arm();
    const WriteStatus status = buildVersionResource({fixed.data(), u"040904B0", &keys, &values}, &buffer);
    EXPECT_EQ(status == WriteStatus::kOutOfMemory, fault.disarm());
    if (status == WriteStatus::kOk) {
      EXPECT_EQ(buffer.length(), makeResource(u"040904B0", {{u"A", u"x"}, {u"B", longValue}}).size());
    }
  });
  EXPECT_GE(runs, 3u);  // the first 1024 bytes, then growth
}

}  // namespace
