// Enumerating and reading resources: a real DLL from the resource compiler,
// and trees built by hand for the orders and shapes no linker writes.

#include "platform/pe/resources.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/pe_builder.h"
#include "testing/pe_fixtures.h"

namespace {

namespace pe = platform::pe;
using pe::ResourceId;

const uint32_t kSub = 0x80000000u;

// Names as text: ids in decimal, names as they are (ASCII in these tests).
std::vector<std::string> namesOf(pe::ResourceFile& file, ResourceId type) {
  pe::ResourceNames names;
  std::vector<std::string> out;
  if (file.names(type, &names) != platform::kErrorNone) return {std::string("<") + file.errorText() + ">"};
  for (size_t i = 0; i < names.size(); ++i) {
    out.push_back(names[i].isName() ? std::string(names[i].name().begin(), names[i].name().end())
                                    : std::to_string(names[i].id()));
  }
  return out;
}

std::vector<uint16_t> languagesOf(pe::ResourceFile& file, ResourceId type, ResourceId name) {
  pe::ResourceLanguages languages;
  std::vector<uint16_t> out;
  if (file.languages(type, name, &languages) != platform::kErrorNone) return out;
  for (size_t i = 0; i < languages.size(); ++i) out.push_back(languages[i]);
  return out;
}

std::string bytesOf(pe::ResourceFile& file, ResourceId type, ResourceId name, uint16_t language) {
  pe::ResourceBytes bytes;
  if (file.read(type, name, language, &bytes) != platform::kErrorNone) return std::string("<") + file.errorText() + ">";
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

TEST(PeResourcesTest, EnumeratesAndReadsARealDll) {
  pe::ResourceFile file;
  ASSERT_EQ(file.open(jutest::peFixture("multi.dll").c_str()), platform::kErrorNone) << file.errorText();
  const ResourceId rcdata = ResourceId::fromId(10);
  const ResourceId config = ResourceId::fromName(u"CONFIG");
  EXPECT_EQ(namesOf(file, rcdata), (std::vector<std::string>{"ALPHA", "ZETA", "1", "7"}));
  EXPECT_EQ(namesOf(file, config), (std::vector<std::string>{"MAIN", "2"}));
  EXPECT_EQ(namesOf(file, ResourceId::fromName(u"config")),
            std::vector<std::string>{"<the file has no resources of that type>"});
  EXPECT_EQ(namesOf(file, ResourceId::fromId(pe::kResourceTypeVersion)),
            std::vector<std::string>{"<the file has no version resource>"});
  EXPECT_EQ(languagesOf(file, rcdata, ResourceId::fromId(1)), (std::vector<uint16_t>{0x407, 0x409, 0x40C}));
  EXPECT_EQ(languagesOf(file, rcdata, ResourceId::fromName(u"ALPHA")), (std::vector<uint16_t>{0x407, 0x409}));
  EXPECT_EQ(languagesOf(file, rcdata, ResourceId::fromId(2)), std::vector<uint16_t>{});

  const struct {
    ResourceId type;
    ResourceId name;
    uint16_t language;
    std::string expected;
  } rows[] = {
      {rcdata, ResourceId::fromId(1), 0x409, std::string("one, en-US\0", 11)},
      {rcdata, ResourceId::fromId(1), 0x407, std::string("eins\0", 5)},
      {rcdata, ResourceId::fromName(u"ALPHA"), 0x407, std::string("alpha, de-DE\0", 13)},
      {config, ResourceId::fromName(u"MAIN"), 0x409, std::string("config main\0", 12)},
      {rcdata, ResourceId::fromId(1), 0x40A, "<no such resource>"},
      {rcdata, ResourceId::fromName(u"alpha"), 0x409, "<no such resource>"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.expected);
    EXPECT_EQ(bytesOf(file, row.type, row.name, row.language), row.expected);
  }
}

// What a caller is told when what it asks for is not there.
TEST(PeResourcesTest, MissingResourcesAreNamed) {
  const ResourceId version = ResourceId::fromId(pe::kResourceTypeVersion);
  pe::ResourceFile file;
  EXPECT_EQ(namesOf(file, version), std::vector<std::string>{"<no file loaded>"});
  ASSERT_EQ(file.open(jutest::peFixture("last.dll").c_str()), platform::kErrorNone);
  EXPECT_EQ(namesOf(file, ResourceId::fromId(pe::kResourceTypeString)),
            std::vector<std::string>{"<the file has no string table>"});
  EXPECT_EQ(file.read(version, ResourceId::fromId(1), 1033, nullptr), platform::kErrorInvalidArgument);
  EXPECT_STREQ(file.errorText(), "no place for the result");
}

// Type 10 with its entries out of order: 7, "B", 1 (two languages, 0x409
// before 0x407), "A"; every leaf holds "payload".
std::string unsortedSection() {
  std::string s;
  jutest::putDirectory(&s, 0, 1);
  jutest::putEntry(&s, 10, kSub | 0x18);
  jutest::putDirectory(&s, 2, 2);  // 0x18
  jutest::putEntry(&s, 7, kSub | 0x48);
  jutest::putEntry(&s, kSub | 0x100, kSub | 0x60);
  jutest::putEntry(&s, 1, kSub | 0x78);
  jutest::putEntry(&s, kSub | 0x104, kSub | 0x98);
  const uint32_t dataEntries[] = {0xB0, 0xC0, 0xD0, 0xE0, 0xF0};
  jutest::putDirectory(&s, 0, 1);  // 0x48
  jutest::putEntry(&s, 0x409, dataEntries[0]);
  jutest::putDirectory(&s, 0, 1);  // 0x60
  jutest::putEntry(&s, 0x409, dataEntries[1]);
  jutest::putDirectory(&s, 0, 2);  // 0x78
  jutest::putEntry(&s, 0x409, dataEntries[2]);
  jutest::putEntry(&s, 0x407, dataEntries[3]);
  jutest::putDirectory(&s, 0, 1);  // 0x98
  jutest::putEntry(&s, 0x409, dataEntries[4]);
  for (int i = 0; i < 5; ++i) jutest::putDataEntry(&s, jutest::MinimalPeLayout::kSectionRva + 0x108, 7);  // 0xB0
  jutest::putName(&s, u"B");  // 0x100
  jutest::putName(&s, u"A");  // 0x104
  s += "payload";             // 0x108
  return s;
}

TEST(PeResourcesTest, EnumeratesNamesFirstThenIdsAscending) {
  for (bool pe32Plus : {true, false}) {
    SCOPED_TRACE(pe32Plus ? "PE32+" : "PE32");
    const std::string image = jutest::minimalPe(unsortedSection(), pe32Plus);
    pe::ResourceFile file;
    ASSERT_EQ(file.openBytes(image.data(), image.size()), platform::kErrorNone) << file.errorText();
    EXPECT_EQ(namesOf(file, ResourceId::fromId(10)), (std::vector<std::string>{"A", "B", "1", "7"}));
    EXPECT_EQ(languagesOf(file, ResourceId::fromId(10), ResourceId::fromId(1)), (std::vector<uint16_t>{0x407, 0x409}));
    EXPECT_EQ(bytesOf(file, ResourceId::fromId(10), ResourceId::fromName(u"B"), 0x409), "payload");
  }
}

TEST(PeResourcesTest, BrokenTreesAreRefused) {
  const std::string good = unsortedSection();
  auto patched = [&good](size_t at, uint32_t value) {
    std::string s = good;
    jutest::setLe(&s, at, value, 4);
    return s;
  };
  const struct {
    std::string section;
    const char* error;
  } rows[] = {
      {patched(0x14, kSub | 0), "resource tree not three levels deep"},             // type -> root: a cycle
      {patched(0x14, 0xB0), "resource tree not three levels deep"},                 // a leaf at the type level
      {patched(0x5C, kSub | 0x48), "resource tree not three levels deep"},          // language -> itself
      {patched(0x14, kSub | 0x7FFF0), "resource directory past the end of the section"},
      {patched(0x28, kSub | 0x1FF), "resource name past the end of the section"},
      {patched(0xB0, 0x0FFF), "resource data outside the resource section"},
      {patched(0xB4, 0x200), "resource data outside the resource section"},
      {patched(0x28, 0x10000), "resource id above 65535"},
      {patched(0x58, kSub | 0x100), "resource language given by name"},
      {patched(0x90, 0x409), "resource listed twice"},
      {patched(0x48 + 12, 0xFFFF0000), "resource directory entries past the end of the section"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.error);
    const std::string image = jutest::minimalPe(row.section);
    pe::ResourceFile file;
    EXPECT_EQ(file.openBytes(image.data(), image.size()), platform::kErrorInvalidArgument);
    EXPECT_STREQ(file.errorText(), row.error);
  }
}

TEST(PeResourcesTest, SharedDirectoriesCannotMultiply) {
  // 200 types that all share one directory of 200 names, each sharing one
  // language directory: 40000 leaves from a few kilobytes.
  std::string s;
  const uint32_t namesAt = 16 + 8 * 200;
  const uint32_t languageAt = namesAt + 16 + 8 * 200;
  const uint32_t dataAt = languageAt + 24;
  jutest::putDirectory(&s, 0, 200);
  for (uint32_t i = 0; i < 200; ++i) jutest::putEntry(&s, i + 1, kSub | namesAt);
  jutest::putDirectory(&s, 0, 200);
  for (uint32_t i = 0; i < 200; ++i) jutest::putEntry(&s, i + 1, kSub | languageAt);
  jutest::putDirectory(&s, 0, 1);
  jutest::putEntry(&s, 0x409, dataAt);
  jutest::putDataEntry(&s, jutest::MinimalPeLayout::kSectionRva, 4);
  const std::string image = jutest::minimalPe(s);
  pe::ResourceFile file;
  EXPECT_EQ(file.openBytes(image.data(), image.size()), platform::kErrorInvalidArgument);
  EXPECT_STREQ(file.errorText(), "resource directories shared or too many entries");
}

}  // namespace
