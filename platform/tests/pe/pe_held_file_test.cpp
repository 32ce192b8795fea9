// Resources of a file whose writer still holds its headers and resource
// section (the file has holes there): read and updated through the writer's
// descriptor, with the result that the whole file gives.

#include "platform/pe/held_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/pe/image.h"
#include "platform/pe/resources.h"
#include "platform/pe/update.h"
#include "testing/files.h"
#include "testing/pe_builder.h"
#include "testing/pe_fixtures.h"
#include "testing/process.h"

namespace {

namespace pe = platform::pe;
using pe::ResourceId;

const ResourceId kVersion = ResourceId::fromId(pe::kResourceTypeVersion);
const ResourceId kFirst = ResourceId::fromId(1);

std::string versionOf(pe::ResourceFile& file) {
  pe::ResourceBytes bytes;
  EXPECT_EQ(file.read(kVersion, kFirst, 1033, &bytes), platform::kErrorNone) << file.errorText();
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// A fixture as its writer has it: written to `path` but for its headers and
// resource section (the first `held` of the two), which it holds.
struct HeldCopy {
  HeldCopy(const std::string& fixture, const std::string& name, size_t held, int openFlags)
      : bytes(jutest::readWholeFile(jutest::peFixture(fixture))), path(name) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    pe::ImageHeaders h;
    EXPECT_EQ(pe::parseImageHeaders(data, bytes.size(), bytes.size(), &h), nullptr);
    const pe::Section& rsrc = h.sections[pe::sectionOfAddress(h, h.directories[pe::kDirectoryResource].address)];
    spans[0] = {0, data, h.headersEnd};
    spans[1] = {rsrc.rawOffset, data + rsrc.rawOffset, rsrc.rawSize};
    file = {open(name.c_str(), O_CREAT | O_TRUNC | openFlags, 0644), path.c_str(), bytes.size(), spans, held};
    for (size_t i = 0, at = 0; i <= held; ++i) {
      const size_t end = i < held ? spans[i].offset : bytes.size();
      EXPECT_EQ(pwrite(file.descriptor, data + at, end - at, static_cast<off_t>(at)), static_cast<ssize_t>(end - at));
      if (i < held) at = spans[i].offset + spans[i].size;
    }
  }
  ~HeldCopy() { close(file.descriptor); }

  std::string bytes;
  std::string path;
  pe::HeldSpan spans[2] = {};
  pe::HeldFile file = {};
};

ino_t inodeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0);
  return st.st_ino;
}

// openHeld reads what open reads from the whole file; beginHeld, replace and
// commit write what begin gives on the whole file: in place (nothing read
// where the descriptor is write-only) or by a new file. A replacement that
// fails leaves the held bytes written and the file whole.
TEST(PeHeldFileTest, ReadAndUpdatedAsTheWholeFile) {
  jutest::TempDir dir;
  pe::ResourceFile fixture;
  ASSERT_EQ(fixture.open(jutest::peFixture("last.dll").c_str()), platform::kErrorNone);
  const std::string own = versionOf(fixture);
  std::string same = own;
  same[same.find(std::string("T\0a\0r\0n\0", 8))] = 'W';
  const std::string smaller = jutest::versionResource(1);
  const std::string larger = jutest::versionResource(4500);
  const struct {
    const char* fixture;
    const std::string& version;
    size_t held;    // the headers, then the resource section
    int openFlags;  // write-only where nothing may be read
    bool inPlace;
    bool limited;   // the file-size limit at the file's size
  } rows[] = {
      {"last.dll", same, 2, O_WRONLY, true, false},
      {"last.dll", smaller, 2, O_WRONLY, true, false},
      {"overlay.dll", same, 2, O_WRONLY, true, false},
      {"reloc.dll", smaller, 2, O_WRONLY, true, false},
      {"last.dll", same, 1, O_RDWR, true, false},  // the section read from the file
      {"last.dll", larger, 2, O_RDWR, false, false},
      {"reloc.dll", larger, 2, O_RDWR, false, false},
      {"signed_last.dll", same, 2, O_RDWR, false, false},  // its certificate cut
      {"last.dll", larger, 2, O_RDWR, false, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.fixture) + " " + std::to_string(row.version.size()) + " held " +
                 std::to_string(row.held) + (row.limited ? " limited" : ""));
    const std::string whole = dir.write("whole.dll", jutest::readWholeFile(jutest::peFixture(row.fixture)));
    pe::ResourceUpdate update;
    ASSERT_EQ(update.begin(whole.c_str()), platform::kErrorNone);
    ASSERT_EQ(update.replace(kVersion, kFirst, 1033, row.version.data(), row.version.size()), platform::kErrorNone);
    ASSERT_EQ(update.commit(), platform::kErrorNone) << update.errorText();

    const HeldCopy copy(row.fixture, dir / "held.dll", row.held, row.openFlags);
    const ino_t before = inodeOf(copy.path);
    pe::ResourceFile file;
    ASSERT_EQ(file.openHeld(copy.file), platform::kErrorNone) << file.errorText();
    EXPECT_EQ(versionOf(file), own);
    ASSERT_EQ(update.beginHeld(copy.file), platform::kErrorNone) << update.errorText();
    pe::PeChecksum sum;
    sum.add(reinterpret_cast<const unsigned char*>(copy.bytes.data()), copy.bytes.size());
    update.setFileSum(sum);
    ASSERT_EQ(update.replace(kVersion, kFirst, 1033, row.version.data(), row.version.size()), platform::kErrorNone);
    std::unique_ptr<jutest::FileSizeLimit> limit;
    if (row.limited) limit = std::make_unique<jutest::FileSizeLimit>(copy.bytes.size());
    const platform::ErrorNumber committed = update.commit();
    limit.reset();
    if (row.limited) {
      EXPECT_STREQ(update.errorText(), "the file would pass the file-size limit");
      EXPECT_EQ(jutest::readWholeFile(copy.path), copy.bytes);
      continue;
    }
    ASSERT_EQ(committed, platform::kErrorNone) << update.errorText();
    EXPECT_EQ(inodeOf(copy.path) == before, row.inPlace);
    EXPECT_EQ(jutest::readWholeFile(copy.path), jutest::readWholeFile(whole));
    EXPECT_NE(jutest::peDump(copy.path).find("checksum ok"), std::string::npos);
  }
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"held.dll", "whole.dll"})) << "no temporary file left";
}

}  // namespace
