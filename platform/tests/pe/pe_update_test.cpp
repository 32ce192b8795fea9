// Resource updates on real DLLs, each result read back by pefile.

#include "platform/pe/update.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/pe/image.h"
#include "platform/pe/resources.h"
#include "testing/files.h"
#include "testing/pe_builder.h"
#include "testing/pe_fixtures.h"
#include "testing/process.h"

namespace {

namespace pe = platform::pe;
using jutest::TempDir;
using pe::ResourceId;

const ResourceId kVersion = ResourceId::fromId(pe::kResourceTypeVersion);

// The fixture's own version resource with one letter of its company changed:
// the same size.
std::string sameSizeVersion(const std::string& fixture) {
  pe::ResourceFile file;
  pe::ResourceBytes bytes;
  EXPECT_EQ(file.open(jutest::peFixture(fixture).c_str()), platform::kErrorNone);
  EXPECT_EQ(file.read(kVersion, ResourceId::fromId(1), 1033, &bytes), platform::kErrorNone);
  std::string out(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const size_t at = out.find(std::string("T\0a\0r\0n\0", 8));
  EXPECT_NE(at, std::string::npos);
  if (at != std::string::npos) out[at] = 'W';
  return out;
}

class PeUpdateTest : public ::testing::Test {
 protected:
  // A copy of a fixture in the temporary folder.
  std::string copy(const std::string& fixture) {
    return dir_.write(fixture, jutest::readWholeFile(jutest::peFixture(fixture)));
  }

  // pefile's verdict on `updated` against `original`, with the listed
  // resources ("T/N/L") expected to hold `bytes`.
  std::string compare(const std::string& original, const std::string& updated, const std::string& key,
                      const std::string& bytes) {
    const std::string expected = dir_.write("expected.bin", bytes);
    int status = 0;
    std::string output = jutest::runPeCheck({"compare", original, updated, key + "=" + expected}, &status);
    EXPECT_EQ(status, output == "ok\n" ? 0 : 1);
    return output;
  }

  static pe::ImageHeaders headersOf(const std::string& path) {
    const std::string bytes = jutest::readWholeFile(path);
    pe::ImageHeaders headers;
    const char* error = pe::parseImageHeaders(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                                              bytes.size(), &headers);
    EXPECT_EQ(error, nullptr) << error;
    return headers;
  }

  static int sectionNamed(const pe::ImageHeaders& h, const char* name) {
    for (uint32_t i = 0; i < h.sectionCount; ++i) {
      if (std::string(h.sections[i].name) == name) return static_cast<int>(i);
    }
    return -1;
  }

  TempDir dir_;
};

TEST_F(PeUpdateTest, ReplaceKeepsEverythingElse) {
  const std::string larger = jutest::versionResource(4500);  // beyond the old section and the next page
  const std::string smaller = jutest::versionResource(1);
  const struct {
    const char* fixture;
    ResourceId type;
    ResourceId name;
    uint16_t language;
    std::string key;
    std::string bytes;
  } rows[] = {
      {"last.dll", kVersion, ResourceId::fromId(1), 1033, "16/1/1033", larger},
      {"last.dll", kVersion, ResourceId::fromId(1), 1033, "16/1/1033", smaller},
      {"last.dll", kVersion, ResourceId::fromId(1), 1033, "16/1/1033", sameSizeVersion("last.dll")},
      {"reloc.dll", kVersion, ResourceId::fromId(1), 1033, "16/1/1033", larger},
      {"reloc.dll", kVersion, ResourceId::fromId(1), 1033, "16/1/1033", smaller},
      {"multi.dll", ResourceId::fromId(10), ResourceId::fromName(u"ALPHA"), 1031, "10/ALPHA/1031",
       std::string(9000, 'L')},
      {"multi.dll", ResourceId::fromName(u"CONFIG"), ResourceId::fromId(2), 1033, "CONFIG/2/1033", ""},
      {"multi.dll", ResourceId::fromName(u"NEW"), ResourceId::fromName(u"ADDED"), 7, "NEW/ADDED/7", "added"},
      {"overlay.dll", kVersion, ResourceId::fromId(1), 1033, "16/1/1033", larger},
      {"overlay.dll", kVersion, ResourceId::fromId(1), 1033, "16/1/1033", smaller},
      {"strings.dll", ResourceId::fromId(6), ResourceId::fromId(7), 1033, "6/7/1033", std::string(34, '\0')},
      {"strings.dll", kVersion, ResourceId::fromId(1), 1033, "16/1/1033", jutest::versionResource(30)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.fixture) + " " + row.key + " " + std::to_string(row.bytes.size()));
    const std::string path = copy(row.fixture);
    pe::ResourceUpdate update;
    ASSERT_EQ(update.begin(path.c_str()), platform::kErrorNone) << update.errorText();
    ASSERT_EQ(update.replace(row.type, row.name, row.language, row.bytes.data(), row.bytes.size()),
              platform::kErrorNone);
    pe::UpdateWarning warning = pe::UpdateWarning::kCertificateRemoved;
    ASSERT_EQ(update.commit(&warning), platform::kErrorNone) << update.errorText();
    EXPECT_EQ(warning, pe::UpdateWarning::kNone);
    EXPECT_EQ(compare(jutest::peFixture(row.fixture), path, row.key, row.bytes), "ok\n");

    // Our own reader agrees.
    pe::ResourceFile file;
    pe::ResourceBytes bytes;
    ASSERT_EQ(file.open(path.c_str()), platform::kErrorNone) << file.errorText();
    ASSERT_EQ(file.read(row.type, row.name, row.language, &bytes), platform::kErrorNone);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()), row.bytes);
  }
}

TEST_F(PeUpdateTest, RelocationsMoveWhenTheResourcesGrow) {
  const std::string path = copy("reloc.dll");
  const pe::ImageHeaders before = headersOf(path);
  const int reloc = sectionNamed(before, ".reloc");
  ASSERT_GE(reloc, 0);
  const std::string larger = jutest::versionResource(3 * before.sectionAlignment / 2);
  pe::ResourceUpdate update;
  ASSERT_EQ(update.begin(path.c_str()), platform::kErrorNone);
  ASSERT_EQ(update.replace(kVersion, ResourceId::fromId(1), 1033, larger.data(), larger.size()), platform::kErrorNone);
  ASSERT_EQ(update.commit(), platform::kErrorNone) << update.errorText();
  const pe::ImageHeaders after = headersOf(path);
  EXPECT_GT(after.sections[reloc].virtualAddress, before.sections[reloc].virtualAddress);
  EXPECT_EQ(after.directories[pe::kDirectoryBaseRelocation].address, after.sections[reloc].virtualAddress);
  EXPECT_EQ(after.sizeOfImage - before.sizeOfImage,
            after.sections[reloc].virtualAddress - before.sections[reloc].virtualAddress);
  EXPECT_EQ(after.sizeOfInitializedData - before.sizeOfInitializedData,
            after.sections[reloc - 1].rawSize - before.sections[reloc - 1].rawSize);
  EXPECT_EQ(compare(jutest::peFixture("reloc.dll"), path, "16/1/1033", larger), "ok\n");
}

TEST_F(PeUpdateTest, CertificateIsRemovedWithAWarning) {
  // After the COFF symbols, and right behind the resource section.
  for (const char* fixture : {"signed.dll", "signed_last.dll"}) {
    SCOPED_TRACE(fixture);
    const std::string path = copy(fixture);
    pe::ResourceUpdate update;
    ASSERT_EQ(update.begin(path.c_str()), platform::kErrorNone);
    const std::string version = jutest::versionResource(3);
    ASSERT_EQ(update.replace(kVersion, ResourceId::fromId(1), 1033, version.data(), version.size()),
              platform::kErrorNone);
    pe::UpdateWarning warning = pe::UpdateWarning::kNone;
    ASSERT_EQ(update.commit(&warning), platform::kErrorNone) << update.errorText();
    EXPECT_EQ(warning, pe::UpdateWarning::kCertificateRemoved);
    // The same overlay as the unsigned file's, no certificate.
    EXPECT_EQ(compare(jutest::peFixture(fixture), path, "16/1/1033", version), "ok\n");
    EXPECT_NE(jutest::peDump(path).find("certificate 0 0\n"), std::string::npos);
  }
}

TEST_F(PeUpdateTest, FailedUpdatesLeaveTheFileAsItWas) {
  const std::string readOnlyDir = dir_.makeDir("ro");
  const std::string inReadOnly = dir_.write("ro/a.dll", jutest::readWholeFile(jutest::peFixture("last.dll")));
  ASSERT_EQ(chmod(readOnlyDir.c_str(), 0555), 0);
  const bool root = access(readOnlyDir.c_str(), W_OK) == 0;  // root writes anyway

  // reloc.dll with a table in .reloc beside the relocations: it may not move.
  std::string pinned = jutest::readWholeFile(jutest::peFixture("reloc.dll"));
  const pe::ImageHeaders h = headersOf(jutest::peFixture("reloc.dll"));
  const int reloc = sectionNamed(h, ".reloc");
  ASSERT_GE(reloc, 0);
  pe::writeLe32(reinterpret_cast<unsigned char*>(&pinned[h.directoriesField + 8 * 3]),
                h.sections[reloc].virtualAddress + 4);
  pe::writeLe32(reinterpret_cast<unsigned char*>(&pinned[h.directoriesField + 8 * 3 + 4]), 4);

  // reloc.dll with a debug directory in .data whose entry's data lies in
  // .reloc, which moves in the file.
  std::string debug = jutest::readWholeFile(jutest::peFixture("reloc.dll"));
  const int data = sectionNamed(h, ".data");
  ASSERT_GE(data, 0);
  pe::writeLe32(reinterpret_cast<unsigned char*>(&debug[h.directoriesField + 8 * 6]), h.sections[data].virtualAddress);
  pe::writeLe32(reinterpret_cast<unsigned char*>(&debug[h.directoriesField + 8 * 6 + 4]), 28);
  pe::writeLe32(reinterpret_cast<unsigned char*>(&debug[h.sections[data].rawOffset + 24]), h.sections[reloc].rawOffset);

  const std::string larger(3 * h.sectionAlignment, 'G');
  const struct {
    std::string path;
    const char* error;  // of begin when it fails, else of commit
    size_t truncateTo;  // after begin, when not 0
    rlim_t sizeLimit;   // the process's file-size limit for the commit, when not 0
    const char* note;
  } rows[] = {
      {inReadOnly, "no permission to write the file", 0, 0, "directory not writable"},
      {dir_.write("text.dll", "MZ but nothing more"), "file too small for a DOS header", 0, 0, "not a PE file"},
      {dir_.write("pinned.dll", pinned), "a section after the resources holds tables and cannot move", 0, 0,
       "a section that cannot move"},
      {dir_.write("debug.dll", debug), "debug data after the resource section cannot move", 0, 0, "debug data"},
      {copy("overlay.dll"), "cannot read the file", 4000, 0, "file shrank under the update"},
      {copy("last.dll"), "the file would pass the file-size limit", 0, 4096, "file-size limit"},
      {dir_ / "missing.dll", "cannot open the file", 0, 0, "missing"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    if (root && row.path == inReadOnly) continue;
    pe::ResourceUpdate update;
    const platform::ErrorNumber begun = update.begin(row.path.c_str());
    if (begun != platform::kErrorNone) {
      EXPECT_STREQ(update.errorText(), row.error);
      continue;
    }
    if (row.truncateTo != 0) {
      ASSERT_EQ(truncate(row.path.c_str(), static_cast<off_t>(row.truncateTo)), 0);
    }
    const std::string before = jutest::readWholeFile(row.path);
    ASSERT_EQ(update.replace(kVersion, ResourceId::fromId(1), 1033, larger.data(), larger.size()),
              platform::kErrorNone);
    {
      std::unique_ptr<jutest::FileSizeLimit> limit;
      if (row.sizeLimit != 0) limit = std::make_unique<jutest::FileSizeLimit>(row.sizeLimit);
      EXPECT_NE(update.commit(), platform::kErrorNone);
    }
    EXPECT_STREQ(update.errorText(), row.error);
    EXPECT_EQ(jutest::readWholeFile(row.path), before);
    EXPECT_EQ(update.commit(), platform::kErrorInvalidArgument) << "the update ended";
  }
  EXPECT_EQ(dir_.entries("ro"), std::vector<std::string>{"a.dll"}) << "no temporary file left";
  EXPECT_EQ(dir_.entries().size(), 6u) << "no temporary file left";
}

// A version resource of `size` bytes put into a copy of `fixture`
// ("fit.dll" in `dir`), with the caller's checksum of the file or without; true when the
// file was written in place (it is still the same file).
bool updateInPlace(const TempDir& dir, const std::string& fixture, size_t size, bool withSum) {
  const std::string bytes = jutest::readWholeFile(jutest::peFixture(fixture));
  const std::string path = dir.write("fit.dll", bytes);
  struct stat before {};
  EXPECT_EQ(stat(path.c_str(), &before), 0);
  const std::string version = jutest::paddedVersion(size);
  pe::ResourceUpdate update;
  EXPECT_EQ(update.begin(path.c_str()), platform::kErrorNone) << update.errorText();
  if (withSum) {
    pe::PeChecksum sum;
    sum.add(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    update.setFileSum(sum);
  }
  EXPECT_EQ(update.replace(kVersion, ResourceId::fromId(1), 1033, version.data(), version.size()),
            platform::kErrorNone);
  EXPECT_EQ(update.commit(), platform::kErrorNone) << update.errorText();
  EXPECT_FALSE(update.leftDamaged());
  struct stat after {};
  EXPECT_EQ(stat(path.c_str(), &after), 0);
  return before.st_ino == after.st_ino;
}

// The largest resource that still fits the old section's file bytes is
// written in place; one byte more moves what follows, through a new file.
// Either way pefile reads the same result, checksum included, and the
// caller's sum gives the bytes that summing the file gives.
TEST_F(PeUpdateTest, ResourcesThatFitAreWrittenInPlace) {
  for (const char* fixture : {"last.dll", "reloc.dll", "overlay.dll"}) {
    SCOPED_TRACE(fixture);
    const std::string path = dir_ / "fit.dll";
    const pe::ImageHeaders h = headersOf(jutest::peFixture(fixture));
    const int rsrc = sectionNamed(h, ".rsrc");
    ASSERT_GE(rsrc, 0);
    // A resource of the old one's size fits; the boundary lies between it
    // and the section's raw size.
    pe::ResourceFile file;
    pe::ResourceBytes old;
    ASSERT_EQ(file.open(jutest::peFixture(fixture).c_str()), platform::kErrorNone);
    ASSERT_EQ(file.read(kVersion, ResourceId::fromId(1), 1033, &old), platform::kErrorNone);
    size_t fits = old.size();
    size_t tooBig = h.sections[rsrc].rawSize + 1;
    ASSERT_TRUE(updateInPlace(dir_, fixture, fits, false));
    ASSERT_FALSE(updateInPlace(dir_, fixture, tooBig, false));
    while (tooBig - fits > 1) {
      const size_t middle = (fits + tooBig) / 2;
      (updateInPlace(dir_, fixture, middle, false) ? fits : tooBig) = middle;
    }
    const struct {
      size_t size;
      bool withSum;
      bool inPlace;
    } rows[] = {{fits, false, true}, {fits, true, true}, {tooBig, false, false}, {tooBig, true, false}};
    std::string inPlaceBytes;
    for (const auto& row : rows) {
      SCOPED_TRACE(std::to_string(row.size) + (row.withSum ? " with the caller's sum" : ""));
      EXPECT_EQ(updateInPlace(dir_, fixture, row.size, row.withSum), row.inPlace);
      EXPECT_EQ(compare(jutest::peFixture(fixture), path, "16/1/1033", jutest::paddedVersion(row.size)), "ok\n");
      if (!row.inPlace) continue;
      if (inPlaceBytes.empty()) inPlaceBytes = jutest::readWholeFile(path);
      EXPECT_EQ(jutest::readWholeFile(path), inPlaceBytes);
    }
  }
  EXPECT_EQ(dir_.entries(), (std::vector<std::string>{"expected.bin", "fit.dll"})) << "no temporary file left";
}

// Three RCDATA resources of 12 bytes and the version resource 1/1033, their
// data 4-byte aligned right behind the tables, the last one ending the page.
std::string packedSection(size_t* versionSize) {
  const uint32_t kSub = 0x80000000u;
  std::string s;
  jutest::putDirectory(&s, 0, 2);
  jutest::putEntry(&s, 10, kSub | 32);
  jutest::putEntry(&s, pe::kResourceTypeVersion, kSub | 72);
  jutest::putDirectory(&s, 0, 3);  // 32
  for (uint32_t i = 0; i < 3; ++i) jutest::putEntry(&s, i + 1, kSub | (96 + 24 * i));
  jutest::putDirectory(&s, 0, 1);  // 72
  jutest::putEntry(&s, 1, kSub | 168);
  for (uint32_t i = 0; i < 4; ++i) {  // 96: the languages
    jutest::putDirectory(&s, 0, 1);
    jutest::putEntry(&s, 1033, 192 + 16 * i);
  }
  std::string data;  // at 256, behind the data entries
  for (int i = 0; i < 4; ++i) {
    const std::string bytes = i < 3 ? std::string(12, 'a' + i) : jutest::paddedVersion(0x1000 - 256 - data.size());
    jutest::putDataEntry(&s, jutest::MinimalPeLayout::kSectionRva + 256 + static_cast<uint32_t>(data.size()),
                         static_cast<uint32_t>(bytes.size()));
    data += bytes;
    *versionSize = bytes.size();
  }
  return s + data;
}

// Resources 4-byte aligned filling a page, and behind them a section that
// cannot move (it holds a debug directory whose data lie behind the
// resources in the file): a version resource that does not grow takes the
// old section's place and file size, so nothing else moves; one that
// outgrows the page is still refused.
TEST_F(PeUpdateTest, ASectionThatDoesNotGrowStaysWhereItWas) {
  size_t version = 0;
  std::string image = jutest::minimalPe(packedSection(&version), true, std::string(64, 'D'));
  const pe::ImageHeaders built = headersOf(dir_.write("built.dll", image));
  const size_t debugField = jutest::MinimalPeLayout::kOptional + 112 + 8 * pe::kDirectoryDebug;
  jutest::setLe(&image, debugField, built.sections[1].virtualAddress | uint64_t{28} << 32, 8);
  jutest::setLe(&image, built.sections[1].rawOffset + 24, built.sections[1].rawOffset + 32, 4);
  // An entry point in a section, as pefile expects of a file that runs.
  jutest::setLe(&image, jutest::MinimalPeLayout::kOptional + 16, built.sections[1].virtualAddress, 4);
  const std::string original = dir_.write("original.dll", image);
  const struct {
    size_t size;
    const char* error;
  } rows[] = {
      {version - 4, nullptr},
      {version - 1000, nullptr},
      {version + 8, "a section after the resources holds tables and cannot move"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.size);
    const std::string path = dir_.write("packed.dll", image);
    const std::string bytes = jutest::paddedVersion(row.size);
    pe::ResourceUpdate update;
    ASSERT_EQ(update.begin(path.c_str()), platform::kErrorNone) << update.errorText();
    ASSERT_EQ(update.replace(kVersion, ResourceId::fromId(1), 1033, bytes.data(), bytes.size()), platform::kErrorNone);
    const platform::ErrorNumber committed = update.commit();
    EXPECT_STREQ(update.errorText(), row.error != nullptr ? row.error : "");
    const pe::ImageHeaders after = headersOf(path);
    EXPECT_EQ(after.fileSize, built.fileSize);
    EXPECT_EQ(after.sections[0].rawSize, built.sections[0].rawSize);
    EXPECT_EQ(after.sections[1].virtualAddress, built.sections[1].virtualAddress);
    if (committed == platform::kErrorNone) {
      EXPECT_EQ(compare(original, path, "16/1/1033", bytes), "ok\n");
    }
  }
}

TEST_F(PeUpdateTest, DiscardWritesNothing) {
  const std::string path = copy("last.dll");
  const std::string before = jutest::readWholeFile(path);
  {
    pe::ResourceUpdate update;
    ASSERT_EQ(update.begin(path.c_str()), platform::kErrorNone);
    ASSERT_EQ(update.replace(kVersion, ResourceId::fromId(1), 1033, "x", 1), platform::kErrorNone);
  }  // the destructor discards
  EXPECT_EQ(jutest::readWholeFile(path), before);
  pe::ResourceUpdate update;
  EXPECT_EQ(update.replace(kVersion, ResourceId::fromId(1), 1033, "x", 1), platform::kErrorInvalidArgument);
}

}  // namespace
