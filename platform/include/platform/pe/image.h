// The headers of a PE (Portable Executable) file: DOS header, PE signature,
// COFF header, optional header (PE32 and PE32+), data directories and the
// section table, every offset and size checked against the file; and the
// PE checksum.
//
//   platform::pe::ImageHeaders headers;
//   const char* error = platform::pe::parseImageHeaders(prefix, prefixBytes, fileBytes, &headers);
//   // error == nullptr, or "no MZ signature", "section table past the end of the file", ...
#ifndef PLATFORM_PE_IMAGE_H
#define PLATFORM_PE_IMAGE_H

#include <cstddef>
#include <cstdint>

namespace platform::pe {

// ---------------------------------------------------------------------------
// Headers.
// ---------------------------------------------------------------------------

// Data directory indexes.
inline constexpr uint32_t kDirectoryResource = 2;
inline constexpr uint32_t kDirectoryCertificate = 4;  // its address is a file offset
inline constexpr uint32_t kDirectoryBaseRelocation = 5;
inline constexpr uint32_t kDirectoryDebug = 6;
inline constexpr uint32_t kMaxDirectories = 16;

// Section table rows accepted; more is refused as malformed.
inline constexpr uint32_t kMaxSections = 96;
// The headers (up to the end of the section table) must lie in this many
// first bytes of the file.
inline constexpr size_t kMaxHeaderBytes = 64 * 1024;

inline constexpr uint32_t kSectionInitializedData = 0x00000040;

struct DataDirectory {
  uint32_t address = 0;  // a virtual address (a file offset for the certificate table)
  uint32_t size = 0;
};

struct Section {
  char name[9] = {};  // NUL-terminated
  uint32_t virtualSize = 0;
  uint32_t virtualAddress = 0;
  uint32_t rawSize = 0;
  uint32_t rawOffset = 0;
  uint32_t characteristics = 0;
};

// What the writer needs of the headers, with the file offsets of the fields
// it rewrites.
struct ImageHeaders {
  uint64_t fileSize = 0;
  uint32_t peOffset = 0;            // "PE\0\0"
  uint16_t machine = 0;
  bool pe32Plus = false;            // optional header magic 0x20B, else 0x10B
  uint32_t symbolTableOffset = 0;   // COFF symbol table, 0 for none
  uint32_t symbolCount = 0;
  uint32_t sectionAlignment = 0;
  uint32_t fileAlignment = 0;
  uint32_t sizeOfImage = 0;
  uint32_t sizeOfHeaders = 0;
  uint32_t sizeOfInitializedData = 0;
  uint32_t checksum = 0;
  uint32_t directoryCount = 0;      // at most kMaxDirectories used
  DataDirectory directories[kMaxDirectories];
  uint32_t sectionCount = 0;
  Section sections[kMaxSections];

  // File offsets of fields.
  uint32_t symbolTableField = 0;
  uint32_t sizeOfInitializedDataField = 0;
  uint32_t sizeOfImageField = 0;
  uint32_t checksumField = 0;
  uint32_t directoriesField = 0;    // directory i at + 8 * i
  uint32_t sectionTableField = 0;   // section i at + 40 * i
  uint32_t headersEnd = 0;          // end of the section table
};

// Parses the headers from `prefix`, the first `prefixBytes` bytes of a file
// of `fileBytes` bytes (pass min(fileBytes, kMaxHeaderBytes) bytes or all).
// Returns null when they are well formed, else what is wrong, as a static
// text. Well formed means: signatures and magic right, alignments powers
// of two with the file alignment at most the section alignment, the headers
// within the prefix and within SizeOfHeaders, every section's raw data
// within the file, sections ascending and not overlapping in memory.
const char* parseImageHeaders(const unsigned char* prefix, size_t prefixBytes, uint64_t fileBytes,
                              ImageHeaders* headers) noexcept;

// The index of the section whose memory range holds `rva` (its virtual
// size, or its raw size when that is larger and the virtual size is 0), or
// -1.
int sectionOfAddress(const ImageHeaders& headers, uint32_t rva) noexcept;

// ---------------------------------------------------------------------------
// Checksum.
// ---------------------------------------------------------------------------

// The PE checksum: 16-bit little-endian words summed with the carry folded
// back, plus the file's length. Pass the checksum field as zeros.
// Bytes may come in pieces of any size.
//   PeChecksum sum; sum.add(bytes, n); sum.finish(n) -> the header's value
//
// A sum may also cover one span of the file only, started with startAt at
// the span's offset; such sums are added to or removed from a whole file's
// sum, so a change of a few spans is summed without reading the rest:
//   PeChecksum old, now; old.startAt(512); old.add(before, 64);
//   now.startAt(512); now.add(after, 64);
//   file.removeSpan(old); file.addSpan(now); file.finish(size)
class PeChecksum {
 public:
  void add(const unsigned char* data, size_t size) noexcept;
  uint32_t finish(uint64_t fileBytes) const noexcept;

  // Before the first add: the bytes begin at file offset `offset`.
  void startAt(uint64_t offset) noexcept;
  // Adds, or removes, the words of a span summed apart (startAt). A sum
  // that had a span removed stays correct only for files that are not all
  // zero bytes, which every PE file is.
  void addSpan(const PeChecksum& span) noexcept;
  void removeSpan(const PeChecksum& span) noexcept;

 private:
  uint64_t sum_ = 0;
  bool odd_ = false;  // a low byte is waiting for its high byte
  unsigned char pending_ = 0;
};

// Little-endian reads and writes at any alignment.
inline uint16_t readLe16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t readLe32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
inline void writeLe16(unsigned char* p, uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
inline void writeLe32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace platform::pe

#endif  // PLATFORM_PE_IMAGE_H
