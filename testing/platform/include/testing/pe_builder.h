// Small PE images built in memory, for tests of malformed headers and
// resource trees that no linker writes, and version resources to put into
// real ones (platform level: no component's code).
#ifndef TESTING_PE_BUILDER_H
#define TESTING_PE_BUILDER_H

#include <cstdint>
#include <string>

namespace jutest {

// Appends (or sets) little-endian values of `bytes` bytes in a byte string;
// bytes beyond the eighth are zeros.
inline char byteOf(uint64_t value, int i) { return i < 8 ? static_cast<char>(value >> (8 * i)) : '\0'; }
inline void putLe(std::string* out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(byteOf(value, i));
}
inline void setLe(std::string* out, size_t at, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) (*out)[at + i] = byteOf(value, i);
}

// Offsets in the image minimalPe builds.
struct MinimalPeLayout {
  static constexpr size_t kPe = 0x40;                  // "PE\0\0"
  static constexpr size_t kOptional = kPe + 24;
  static constexpr uint32_t kSectionRva = 0x1000;      // the one section, .rsrc
  static constexpr size_t kSectionRaw = 0x200;
};

// A section table row.
inline std::string sectionRow(const char* name, size_t virtualSize, uint32_t rva, size_t raw, size_t rawAt) {
  std::string row(name, 8);
  putLe(&row, virtualSize, 4);
  putLe(&row, rva, 4);
  putLe(&row, raw, 4);
  putLe(&row, rawAt, 4);
  putLe(&row, 0, 12);
  putLe(&row, 0x40000040, 4);               // initialized data, readable
  return row;
}

// A PE32+ (or PE32) image with one section, ".rsrc", at virtual address
// 0x1000 and file offset 0x200, holding `section` (padded to 0x200 bytes),
// and the resource directory pointing at its start; with `following` not
// empty, a section ".data" holding it follows on the next page, in memory
// and in the file.
inline std::string minimalPe(const std::string& section, bool pe32Plus = true, const std::string& following = "") {
  std::string out(0x40, '\0');
  out[0] = 'M';
  out[1] = 'Z';
  setLe(&out, 0x3C, MinimalPeLayout::kPe, 4);
  out += std::string("PE\0\0", 4);
  const size_t optionalBytes = pe32Plus ? 240 : 224;
  putLe(&out, 0x8664, 2);           // machine
  putLe(&out, following.empty() ? 1 : 2, 2);  // sections
  putLe(&out, 0, 12);               // time, symbols
  putLe(&out, optionalBytes, 2);
  putLe(&out, 0x2022, 2);           // a DLL
  const size_t optional = out.size();
  out.resize(optional + optionalBytes, '\0');
  setLe(&out, optional, pe32Plus ? 0x20B : 0x10B, 2);
  const size_t raw = (section.size() + 0x1FF) & ~size_t{0x1FF};
  const size_t followingRaw = (following.size() + 0x1FF) & ~size_t{0x1FF};
  const size_t followingRva = MinimalPeLayout::kSectionRva + ((section.size() + 0xFFF) & ~size_t{0xFFF});
  setLe(&out, optional + 8, raw + followingRaw, 4);  // initialized data
  setLe(&out, optional + 32, 0x1000, 4);    // section alignment
  setLe(&out, optional + 36, 0x200, 4);     // file alignment
  setLe(&out, optional + 56, followingRva + ((following.size() + 0xFFF) & ~size_t{0xFFF}), 4);
  setLe(&out, optional + 60, 0x200, 4);     // size of headers
  const size_t directories = optional + (pe32Plus ? 112 : 96);
  setLe(&out, directories - 4, 16, 4);
  setLe(&out, directories + 16, MinimalPeLayout::kSectionRva, 4);
  setLe(&out, directories + 20, section.size(), 4);
  out += sectionRow(".rsrc\0\0\0", section.size(), MinimalPeLayout::kSectionRva, raw, MinimalPeLayout::kSectionRaw);
  if (!following.empty()) {
    out += sectionRow(".data\0\0\0", following.size(), followingRva, followingRaw, MinimalPeLayout::kSectionRaw + raw);
  }
  out.resize(MinimalPeLayout::kSectionRaw, '\0');
  out += section;
  out.resize(MinimalPeLayout::kSectionRaw + raw, '\0');
  out += following;
  out.resize(MinimalPeLayout::kSectionRaw + raw + followingRaw, '\0');
  return out;
}

// Resource section pieces: a directory header, an entry, a data entry, a
// name (16-bit length, UTF-16LE units).
inline void putDirectory(std::string* out, uint16_t named, uint16_t ids) {
  putLe(out, 0, 12);
  putLe(out, named, 2);
  putLe(out, ids, 2);
}
inline void putEntry(std::string* out, uint32_t nameOrId, uint32_t target) {
  putLe(out, nameOrId, 4);
  putLe(out, target, 4);
}
inline void putDataEntry(std::string* out, uint32_t rva, uint32_t size) {
  putLe(out, rva, 4);
  putLe(out, size, 4);
  putLe(out, 0, 8);
}
inline void putName(std::string* out, const std::u16string& name) {
  putLe(out, name.size(), 2);
  for (char16_t c : name) putLe(out, c, 2);
}

// A version-information node: header, key, value and children, each part
// 4-byte aligned; the length leaves out trailing padding.
inline std::string versionNode(const std::u16string& key, uint16_t valueLength, uint16_t type,
                               const std::string& value, const std::string& children) {
  std::string n(6, '\0');
  setLe(&n, 2, valueLength, 2);
  setLe(&n, 4, type, 2);
  for (char16_t c : key + u'\0') putLe(&n, c, 2);
  n.resize((n.size() + 3) & ~size_t{3}, '\0');
  n += value;
  if (!children.empty()) n.resize((n.size() + 3) & ~size_t{3}, '\0');
  n += children;
  setLe(&n, 0, n.size(), 2);
  return n;
}

// A well-formed version resource whose one string holds `units` characters,
// so pefile reads every rewritten file without complaint.
inline std::string versionResource(size_t units) {
  std::string fixed;
  putLe(&fixed, 0xFEEF04BD, 4);
  putLe(&fixed, 0x00010000, 4);
  fixed.resize(52, '\0');
  std::string text;
  for (size_t i = 0; i < units; ++i) putLe(&text, u'a' + i % 26, 2);
  putLe(&text, 0, 2);
  const std::string string = versionNode(u"Comments", static_cast<uint16_t>(units + 1), 1, text, "");
  const std::string table = versionNode(u"040904B0", 0, 1, "", string);
  return versionNode(u"VS_VERSION_INFO", 52, 0, fixed, versionNode(u"StringFileInfo", 0, 1, "", table));
}

// A small version resource padded to `size` bytes, which pefile reads.
inline std::string paddedVersion(size_t size) {
  std::string version = versionResource(1);
  if (version.size() < size) version.resize(size, 'V');
  return version;
}

}  // namespace jutest

#endif  // TESTING_PE_BUILDER_H
