// PE headers: the checks that make every later offset safe to use.

#include "platform/pe/image.h"

#include <cstring>

namespace platform::pe {
namespace {

constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr size_t kCoffHeaderBytes = 24;  // signature and COFF header
constexpr size_t kSectionRowBytes = 40;

bool isPowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

// Offsets inside the optional header that differ between PE32 and PE32+.
struct OptionalLayout {
  uint32_t directoryCountAt;
  uint32_t directoriesAt;
};

const char* parseOptionalHeader(const unsigned char* optional, uint32_t optionalBytes, ImageHeaders* h) {
  if (optionalBytes < 2) return "optional header too small";
  const uint16_t magic = readLe16(optional);
  if (magic != kMagicPe32 && magic != kMagicPe32Plus) return "unknown optional header magic";
  h->pe32Plus = magic == kMagicPe32Plus;
  const OptionalLayout layout = h->pe32Plus ? OptionalLayout{108, 112} : OptionalLayout{92, 96};
  if (optionalBytes < layout.directoriesAt) return "optional header too small";
  h->sizeOfInitializedData = readLe32(optional + 8);
  h->sectionAlignment = readLe32(optional + 32);
  h->fileAlignment = readLe32(optional + 36);
  h->sizeOfImage = readLe32(optional + 56);
  h->sizeOfHeaders = readLe32(optional + 60);
  h->checksum = readLe32(optional + 64);
  const uint32_t declared = readLe32(optional + layout.directoryCountAt);
  h->directoryCount = declared < kMaxDirectories ? declared : kMaxDirectories;
  if (layout.directoriesAt + 8ull * h->directoryCount > optionalBytes) {
    return "data directories past the end of the optional header";
  }
  for (uint32_t i = 0; i < h->directoryCount; ++i) {
    h->directories[i].address = readLe32(optional + layout.directoriesAt + 8 * i);
    h->directories[i].size = readLe32(optional + layout.directoriesAt + 8 * i + 4);
  }
  const uint32_t optionalAt = h->peOffset + static_cast<uint32_t>(kCoffHeaderBytes);
  h->sizeOfInitializedDataField = optionalAt + 8;
  h->sizeOfImageField = optionalAt + 56;
  h->checksumField = optionalAt + 64;
  h->directoriesField = optionalAt + layout.directoriesAt;
  if (!isPowerOfTwo(h->sectionAlignment) || !isPowerOfTwo(h->fileAlignment) ||
      h->fileAlignment > h->sectionAlignment) {
    return "bad section or file alignment";
  }
  return nullptr;
}

const char* parseSections(const unsigned char* table, ImageHeaders* h) {
  uint64_t previousEnd = 0;
  for (uint32_t i = 0; i < h->sectionCount; ++i) {
    const unsigned char* row = table + kSectionRowBytes * i;
    Section& s = h->sections[i];
    std::memcpy(s.name, row, 8);
    s.name[8] = '\0';
    s.virtualSize = readLe32(row + 8);
    s.virtualAddress = readLe32(row + 12);
    s.rawSize = readLe32(row + 16);
    s.rawOffset = readLe32(row + 20);
    s.characteristics = readLe32(row + 36);
    if (s.rawSize != 0 && uint64_t{s.rawOffset} + s.rawSize > h->fileSize) {
      return "section data past the end of the file";
    }
    const uint32_t extent = s.virtualSize != 0 ? s.virtualSize : s.rawSize;
    if (s.virtualAddress < previousEnd) return "sections overlap or are out of order";
    previousEnd = uint64_t{s.virtualAddress} + extent;
    if (previousEnd > UINT32_MAX) return "section past the end of the address space";
  }
  return nullptr;
}

}  // namespace

const char* parseImageHeaders(const unsigned char* prefix, size_t prefixBytes, uint64_t fileBytes,
                              ImageHeaders* headers) noexcept {
  ImageHeaders& h = *headers;
  h = ImageHeaders();
  h.fileSize = fileBytes;
  if (prefixBytes > fileBytes) prefixBytes = static_cast<size_t>(fileBytes);
  if (prefixBytes < 64) return "file too small for a DOS header";
  if (prefix[0] != 'M' || prefix[1] != 'Z') return "no MZ signature";
  h.peOffset = readLe32(prefix + 0x3C);
  if (uint64_t{h.peOffset} + kCoffHeaderBytes > fileBytes) return "PE header past the end of the file";
  if (uint64_t{h.peOffset} + kCoffHeaderBytes > prefixBytes) return "headers too large";
  const unsigned char* pe = prefix + h.peOffset;
  if (std::memcmp(pe, "PE\0\0", 4) != 0) return "no PE signature";
  h.machine = readLe16(pe + 4);
  h.sectionCount = readLe16(pe + 6);
  h.symbolTableOffset = readLe32(pe + 12);
  h.symbolCount = readLe32(pe + 16);
  h.symbolTableField = h.peOffset + 12;
  const uint32_t optionalBytes = readLe16(pe + 20);
  const uint64_t optionalAt = uint64_t{h.peOffset} + kCoffHeaderBytes;
  if (optionalAt + optionalBytes > fileBytes) return "optional header past the end of the file";
  if (optionalAt + optionalBytes > prefixBytes) return "headers too large";
  if (const char* error = parseOptionalHeader(prefix + optionalAt, optionalBytes, &h)) return error;
  if (h.sectionCount > kMaxSections) return "too many sections";
  const uint64_t tableAt = optionalAt + optionalBytes;
  const uint64_t tableEnd = tableAt + kSectionRowBytes * h.sectionCount;
  if (tableEnd > fileBytes) return "section table past the end of the file";
  if (tableEnd > prefixBytes) return "headers too large";
  if (tableEnd > h.sizeOfHeaders) return "section table past SizeOfHeaders";
  if (h.sizeOfHeaders > fileBytes) return "SizeOfHeaders past the end of the file";
  h.sectionTableField = static_cast<uint32_t>(tableAt);
  h.headersEnd = static_cast<uint32_t>(tableEnd);
  return parseSections(prefix + tableAt, &h);
}

int sectionOfAddress(const ImageHeaders& headers, uint32_t rva) noexcept {
  for (uint32_t i = 0; i < headers.sectionCount; ++i) {
    const Section& s = headers.sections[i];
    const uint32_t extent = s.virtualSize != 0 ? s.virtualSize : s.rawSize;
    if (rva >= s.virtualAddress && rva - s.virtualAddress < extent) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace platform::pe
