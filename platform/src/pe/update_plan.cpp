// Planning a resource update. The file side: everything after the old
// section's bytes shifts by the change of its raw size. The memory side:
// the sections after it keep their addresses while the new section fits
// below the next one; when it does not, they move up, which only a section
// that holds nothing but the base relocations may do (nothing else in the
// image refers to it by address).

#include "pe/update_plan.h"

namespace platform::pe::internal {
namespace {

constexpr uint32_t kSectionRowBytes = 40;

uint64_t alignUp(uint64_t value, uint64_t alignment) { return (value + alignment - 1) & ~(alignment - 1); }

uint32_t extentOf(const Section& s) { return s.virtualSize != 0 ? s.virtualSize : s.rawSize; }

bool inSection(const Section& s, uint32_t rva) {
  return rva >= s.virtualAddress && rva - s.virtualAddress < extentOf(s);
}

// Directories that hold addresses (the certificate table holds a file
// offset; the resource directory is the section being replaced).
bool isAddressDirectory(const ImageHeaders& h, uint32_t d) {
  return d != kDirectoryCertificate && d != kDirectoryResource && h.directories[d].size != 0;
}

class Planner {
 public:
  Planner(const ImageHeaders& h, int rs, UpdatePlan* plan) : h_(h), rs_(rs), p_(*plan) {}

  const char* plan(size_t newSize);

 private:
  void patch(uint32_t offset, uint32_t value) { p_.patches[p_.patchCount++] = FieldPatch{offset, value}; }
  uint32_t sectionField(size_t i, uint32_t at) const { return h_.sectionTableField + kSectionRowBytes * i + at; }
  uint32_t directoryField(uint32_t d, uint32_t at) const { return h_.directoriesField + 8 * d + at; }
  uint64_t moved(uint64_t offset) const { return newOffsetOf(p_, offset); }
  const char* checkOwnSection() const;
  const char* planFile();
  const char* planCertificate();
  const char* planMemory(uint32_t newSize);
  const char* planMove(uint32_t by);
  void planSizes(uint32_t newSize);

  const ImageHeaders& h_;
  const int rs_;
  UpdatePlan& p_;
  uint32_t newAddress_[kMaxSections] = {};
  uint32_t resourceVirtualSize_ = 0;
};

const char* Planner::checkOwnSection() const {
  const Section& s = h_.sections[rs_];
  if (h_.directories[kDirectoryResource].address != s.virtualAddress) {
    return "the resources share their section with other data";
  }
  for (uint32_t d = 0; d < h_.directoryCount; ++d) {
    if (isAddressDirectory(h_, d) && inSection(s, h_.directories[d].address)) {
      return "another table lies in the resource section";
    }
  }
  if (s.rawOffset < h_.headersEnd) return "the resource section overlaps the headers";
  return nullptr;
}

const char* Planner::planCertificate() {
  if (h_.directoryCount <= kDirectoryCertificate || h_.directories[kDirectoryCertificate].size == 0) return nullptr;
  const DataDirectory& c = h_.directories[kDirectoryCertificate];
  const uint64_t end = uint64_t{c.address} + c.size;
  // Bytes of the tail are cut out; a table elsewhere (malformed) only loses
  // its entry, so nothing is left pointing at it.
  if (c.address >= p_.tailAt && end <= h_.fileSize) {
    p_.cutAt = c.address;
    p_.cutEnd = end;
  }
  patch(directoryField(kDirectoryCertificate, 0), 0);
  patch(directoryField(kDirectoryCertificate, 4), 0);
  p_.certificateRemoved = true;
  return nullptr;
}

const char* Planner::planFile() {
  const Section& s = h_.sections[rs_];
  p_.resourceAt = s.rawOffset;
  p_.oldRawSize = s.rawSize;
  p_.tailAt = uint64_t{s.rawOffset} + s.rawSize;
  bool sectionsFollow = false;
  for (uint32_t i = 0; i < h_.sectionCount; ++i) {
    const Section& o = h_.sections[i];
    if (static_cast<int>(i) == rs_ || o.rawSize == 0) continue;
    if (o.rawOffset >= p_.tailAt) {
      sectionsFollow = true;
    } else if (uint64_t{o.rawOffset} + o.rawSize > p_.resourceAt) {
      return "another section shares file bytes with the resource section";
    }
  }
  if (sectionsFollow && p_.tailAt % h_.fileAlignment != 0) return "the resource section's file size is not aligned";
  if (const char* e = planCertificate()) return e;
  for (uint32_t i = 0; i < h_.sectionCount; ++i) {
    const Section& o = h_.sections[i];
    if (static_cast<int>(i) == rs_ || o.rawSize == 0 || o.rawOffset < p_.tailAt) continue;
    if (moved(o.rawOffset) > UINT32_MAX) return "file too large";
    patch(sectionField(i, 20), static_cast<uint32_t>(moved(o.rawOffset)));
  }
  if (h_.symbolTableOffset != 0 && h_.symbolTableOffset >= p_.resourceAt) {
    if (h_.symbolTableOffset < p_.tailAt) return "the symbol table lies in the resource section";
    if (moved(h_.symbolTableOffset) > UINT32_MAX) return "file too large";
    patch(h_.symbolTableField, static_cast<uint32_t>(moved(h_.symbolTableOffset)));
  }
  p_.newFileSize = moved(h_.fileSize);
  return nullptr;
}

const char* Planner::planMemory(uint32_t newSize) {
  const Section& s = h_.sections[rs_];
  for (uint32_t i = 0; i < h_.sectionCount; ++i) newAddress_[i] = h_.sections[i].virtualAddress;
  // A section never shrinks in memory: the file bytes it keeps stay within
  // its extent, as they were.
  uint32_t virtualSize = newSize > extentOf(s) ? newSize : extentOf(s);
  const uint64_t needEnd = alignUp(uint64_t{s.virtualAddress} + virtualSize, h_.sectionAlignment);
  if (static_cast<uint32_t>(rs_) + 1 < h_.sectionCount) {
    const uint32_t nextAt = h_.sections[rs_ + 1].virtualAddress;
    if (needEnd <= nextAt) {
      // The section keeps reaching the next one: sections stay adjacent.
      if (needEnd < nextAt) virtualSize = nextAt - s.virtualAddress;
    } else if (const char* e = planMove(needEnd - nextAt)) {
      return e;
    }
  }
  resourceVirtualSize_ = virtualSize;
  patch(sectionField(rs_, 8), virtualSize);
  return nullptr;
}

const char* Planner::planMove(uint32_t by) {
  for (uint32_t i = rs_ + 1; i < h_.sectionCount; ++i) {
    const Section& o = h_.sections[i];
    bool relocations = false;
    for (uint32_t d = 0; d < h_.directoryCount; ++d) {
      if (!isAddressDirectory(h_, d) || !inSection(o, h_.directories[d].address)) continue;
      if (d != kDirectoryBaseRelocation) return "a section after the resources holds tables and cannot move";
      relocations = true;
    }
    if (!relocations) return "a section after the resources cannot move";
    if (o.virtualAddress % h_.sectionAlignment != 0) return "a section after the resources is not aligned";
    if (uint64_t{o.virtualAddress} + by + extentOf(o) > UINT32_MAX) return "image too large";
    newAddress_[i] = o.virtualAddress + by;
    patch(sectionField(i, 12), newAddress_[i]);
    for (uint32_t d = 0; d < h_.directoryCount; ++d) {
      if (isAddressDirectory(h_, d) && inSection(o, h_.directories[d].address)) {
        patch(directoryField(d, 0), h_.directories[d].address + by);
      }
    }
  }
  return nullptr;
}

void Planner::planSizes(uint32_t newSize) {
  const Section& s = h_.sections[rs_];
  uint64_t imageEnd = 0;
  for (uint32_t i = 0; i < h_.sectionCount; ++i) {
    const uint32_t extent = static_cast<int>(i) == rs_ ? resourceVirtualSize_ : extentOf(h_.sections[i]);
    const uint64_t end = uint64_t{newAddress_[i]} + extent;
    if (end > imageEnd) imageEnd = end;
  }
  // Files whose size of image covers more than the sections keep the rest.
  const uint64_t sizeOfImage = alignUp(imageEnd, h_.sectionAlignment);
  if (sizeOfImage != h_.sizeOfImage) patch(h_.sizeOfImageField, static_cast<uint32_t>(sizeOfImage));
  if (s.characteristics & kSectionInitializedData) {
    const int64_t grown = int64_t{h_.sizeOfInitializedData} + p_.newRawSize - p_.oldRawSize;
    const int64_t clamped = grown < 0 ? 0 : (grown > UINT32_MAX ? UINT32_MAX : grown);
    patch(h_.sizeOfInitializedDataField, static_cast<uint32_t>(clamped));
  }
  patch(sectionField(rs_, 16), p_.newRawSize);
  patch(directoryField(kDirectoryResource, 4), newSize);
  patch(h_.checksumField, 0);
}

const char* Planner::plan(size_t newSize) {
  if (rs_ < 0 || static_cast<uint32_t>(rs_) >= h_.sectionCount || h_.directoryCount <= kDirectoryResource) {
    return "the file has no resource section";
  }
  if (const char* e = checkOwnSection()) return e;
  const uint32_t oldRawSize = h_.sections[rs_].rawSize;
  const uint64_t rawSize = newSize <= oldRawSize ? oldRawSize : alignUp(newSize, h_.fileAlignment);
  if (rawSize > UINT32_MAX || uint64_t{h_.sections[rs_].virtualAddress} + rawSize > UINT32_MAX) {
    return "resource section too large";
  }
  p_.headersEnd = h_.headersEnd;
  p_.checksumField = h_.checksumField;
  p_.newRawSize = static_cast<uint32_t>(rawSize);
  if (const char* e = planFile()) return e;
  if (const char* e = planMemory(static_cast<uint32_t>(newSize))) return e;
  planSizes(static_cast<uint32_t>(newSize));
  return nullptr;
}

}  // namespace

const char* planUpdate(const ImageHeaders& headers, int resourceSection, size_t newSize, UpdatePlan* plan) noexcept {
  *plan = UpdatePlan();
  return Planner(headers, resourceSection, plan).plan(newSize);
}

uint64_t newOffsetOf(const UpdatePlan& plan, uint64_t offset) noexcept {
  uint64_t result = offset + plan.newRawSize - plan.oldRawSize;
  if (plan.cutEnd > plan.cutAt && plan.cutEnd <= offset) result -= plan.cutEnd - plan.cutAt;
  return result;
}

void applyPatches(const UpdatePlan& plan, unsigned char* bytes, size_t size) noexcept {
  for (size_t i = 0; i < plan.patchCount; ++i) {
    const FieldPatch& p = plan.patches[i];
    if (p.offset <= size && size - p.offset >= 4) writeLe32(bytes + p.offset, p.value);
  }
}
}  // namespace platform::pe::internal
