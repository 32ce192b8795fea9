// PE headers: every malformed header is refused with its own text, the
// checksum matches the linker's, and the inputs the fuzzer once broke on
// load cleanly.

#include "platform/pe/image.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/pe/resources.h"
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

// A span summed apart and swapped into a file's sum gives the sum of the
// changed file, at even and odd offsets, and where the new sum folds to
// 0xFFFF (a residue of zero that is not an empty sum).
TEST(PeImageTest, ChecksumSpansSwapInAndOut) {
  const std::string file("MZ\x10\x20\x30\x40\x50\x60\x70", 9);
  const struct {
    size_t at;
    std::string now;
  } rows[] = {
      {2, std::string("\xAA\xBB", 2)},
      {3, std::string("\xAA\xBB\xCC", 3)},    // an odd offset: the first byte is a high byte
      {8, std::string("\xFF", 1)},              // the odd last byte
      {0, std::string("\x00\x00", 2)},         // the sum drops below the removed span's
      {4, std::string("\xFF\xFF\x32\x85", 4)},  // the words then sum to 0xFFFF * 2
  };
  const auto bytes = [](const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.at);
    std::string changed = file;
    changed.replace(row.at, row.now.size(), row.now);
    pe::PeChecksum direct;
    direct.add(bytes(changed), changed.size());
    pe::PeChecksum swapped;
    swapped.add(bytes(file), file.size());
    pe::PeChecksum old;
    old.startAt(row.at);
    old.add(bytes(file) + row.at, row.now.size());
    pe::PeChecksum now;
    now.startAt(row.at);
    now.add(bytes(row.now), row.now.size());
    swapped.removeSpan(old);
    swapped.addSpan(now);
    EXPECT_EQ(swapped.finish(file.size()), direct.finish(file.size()));
  }
  // Long runs take the eight-words-at-a-time path: the same as byte by byte.
  std::string run(100000, '\0');
  for (size_t i = 0; i < run.size(); ++i) run[i] = static_cast<char>(0xFF - i % 7);
  pe::PeChecksum whole;
  whole.add(bytes(run) + 1, run.size() - 1);
  pe::PeChecksum pieces;
  for (size_t i = 1; i < run.size(); ++i) pieces.add(bytes(run) + i, 1);
  EXPECT_EQ(whole.finish(run.size()), pieces.finish(run.size()));
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
