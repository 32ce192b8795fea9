// PE headers: every malformed header is refused with its own text, the
// checksum matches the linker's, and the inputs the fuzzer once broke on
// load cleanly.

#include "platform/pe_image.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/pe_resources.h"
#include "testing/files.h"
#include "testing/pe_builder.h"

namespace {

namespace pe = platform::pe;
using Layout = jutest::MinimalPeLayout;

std::string resourceSection() {
  std::string s;
  jutest::putDirectory(&s, 0, 0);
  return s;
}

TEST(PeImageTest, MalformedHeadersAreRefused) {
  const std::string good = jutest::minimalPe(resourceSection());
  struct Row {
    std::string image;
    const char* error;
  };
  auto patched = [&good](size_t at, uint64_t value, int bytes) {
    std::string s = good;
    jutest::setLe(&s, at, value, bytes);
    return s;
  };
  const size_t sectionRow = Layout::kOptional + 240;
  const Row rows[] = {
      {good.substr(0, 63), "file too small for a DOS header"},
      {patched(0, 'Z', 1), "no MZ signature"},
      {patched(0x3C, 0xFFFFFFF0, 4), "PE header past the end of the file"},
      {patched(0x3C, good.size() - 23, 4), "PE header past the end of the file"},
      {patched(Layout::kPe, 'X', 1), "no PE signature"},
      {patched(Layout::kPe + 20, 1, 2), "optional header too small"},
      {patched(Layout::kOptional, 0x10C, 2), "unknown optional header magic"},
      {patched(Layout::kPe + 20, 100, 2), "optional header too small"},
      {patched(Layout::kPe + 20, 0xFFFF, 2), "optional header past the end of the file"},
      {patched(Layout::kPe + 20, 200, 2), "data directories past the end of the optional header"},
      {patched(Layout::kOptional + 32, 0x1001, 4), "bad section or file alignment"},
      {patched(Layout::kOptional + 36, 0, 4), "bad section or file alignment"},
      {patched(Layout::kOptional + 36, 0x2000, 4), "bad section or file alignment"},
      {patched(Layout::kPe + 6, 97, 2), "too many sections"},
      {patched(Layout::kPe + 6, 90, 2), "section table past the end of the file"},
      {patched(Layout::kPe + 6, 9, 2), "section table past SizeOfHeaders"},
      {patched(Layout::kOptional + 60, 0x100000, 4), "SizeOfHeaders past the end of the file"},
      {patched(sectionRow + 20, 0x201, 4), "section data past the end of the file"},
      {patched(sectionRow + 16, 0xFFFFFFFF, 4), "section data past the end of the file"},
      {patched(sectionRow + 12, 0xFFFFFFF8, 4), "section past the end of the address space"},
      {patched(Layout::kOptional + 112 + 16, 0x9000, 4), "resource directory outside every section"},
      {patched(sectionRow + 16, 0, 4), "resource directory outside the section's data"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.error);
    pe::ImageHeaders headers;
    const char* error = pe::parseImageHeaders(reinterpret_cast<const unsigned char*>(row.image.data()),
                                              row.image.size(), row.image.size(), &headers);
    pe::ResourceFile file;
    EXPECT_EQ(file.openBytes(row.image.data(), row.image.size()), platform::kErrorInvalidArgument);
    EXPECT_STREQ(file.errorText(), row.error);
    if (error != nullptr) {
      EXPECT_STREQ(error, row.error) << "the parser itself";
    }
  }
  pe::ResourceFile file;
  EXPECT_EQ(file.openBytes(good.data(), good.size()), platform::kErrorNone) << file.errorText();
}

TEST(PeImageTest, ChecksumFoldsCarriesAndCountsTheLength) {
  const struct {
    std::string bytes;
    uint32_t expected;
  } rows[] = {
      {"", 0},
      {std::string("\x01", 1), 1 + 1},                   // an odd byte is a low byte
      {std::string("\xFF\xFF\x01\x00", 4), 1 + 4},       // 0xFFFF + 1 folds to 1
      {std::string("\x34\x12\x78\x56", 4), 0x68AC + 4},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.bytes.size());
    // Whole, and byte by byte: pieces may split a word.
    pe::PeChecksum whole;
    whole.add(reinterpret_cast<const unsigned char*>(row.bytes.data()), row.bytes.size());
    pe::PeChecksum pieces;
    for (char c : row.bytes) pieces.add(reinterpret_cast<const unsigned char*>(&c), 1);
    EXPECT_EQ(whole.finish(row.bytes.size()), row.expected);
    EXPECT_EQ(pieces.finish(row.bytes.size()), row.expected);
  }
}

// Every input the fuzzer found a fault with is kept; each must load or be
// refused, never crash (the sanitizer build watches).
TEST(PeImageTest, FuzzFindingsLoadCleanly) {
  DIR* dir = opendir(JU_PE_FINDINGS);
  ASSERT_NE(dir, nullptr) << JU_PE_FINDINGS;
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') names.push_back(entry->d_name);
  }
  closedir(dir);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string bytes = jutest::readWholeFile(std::string(JU_PE_FINDINGS) + "/" + name);
    pe::ResourceFile file;
    const platform::ErrorNumber error = file.openBytes(bytes.data(), bytes.size());
    EXPECT_TRUE(error == platform::kErrorNone || error == platform::kErrorInvalidArgument) << error;
  }
}

}  // namespace
