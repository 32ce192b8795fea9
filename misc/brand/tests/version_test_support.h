// Version resources for the branding tool's tests: a fixed file information
// with a recognisable pattern, resources made by the writer, and what the
// reader sees in them.
#ifndef BRAND_TESTS_VERSION_TEST_SUPPORT_H
#define BRAND_TESTS_VERSION_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "julib/containers.h"
#include "version_resource.h"
#include "version_writer.h"

namespace brandtest {

using Bytes = std::vector<uint8_t>;
using Strings = std::vector<std::pair<std::u16string, std::u16string>>;

// 52 bytes 0, 1, 2 ... after the signature 0xFEEF04BD: every field differs.
inline Bytes patternFixedInfo() {
  Bytes fixed{0xBD, 0x04, 0xEF, 0xFE};
  for (uint8_t i = 4; i < versioninfo::kFixedInfoBytes; ++i) fixed.push_back(i);
  return fixed;
}

inline uint32_t dwordAt(const uint8_t* bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t{bytes[at + 3]} << 24;
}

// Texts as the library's array of text pointers, not owned.
struct TextArray : JuArrayPVoid {
  explicit TextArray(std::initializer_list<const char16_t*> texts) {
    for (const char16_t* text : texts) EXPECT_EQ(insertAt(text, count), 0);
  }
  TextArray(const Strings& strings, bool keys) {
    for (const auto& [key, value] : strings) EXPECT_EQ(insertAt((keys ? key : value).c_str(), count), 0);
  }
};

// A resource from the writer; empty when it fails.
inline Bytes makeResource(const std::u16string& tableKey, const Strings& strings, const Bytes& fixed = patternFixedInfo()) {
  const TextArray keys(strings, true);
  const TextArray values(strings, false);
  versioninfo::VersionBuffer buffer;
  if (versioninfo::buildVersionResource({fixed.data(), tableKey, &keys, &values}, &buffer) != versioninfo::WriteStatus::kOk) {
    return {};
  }
  return Bytes(buffer.data(), buffer.data() + buffer.length());
}

inline std::u16string toU16(const versioninfo::ResourceText& text) {
  std::u16string out(text.units, u'\0');
  text.copyTo(out.data());
  return out;
}

// The String entries the reader sees; wValueLength 0 shows as "<none>".
inline Strings readStrings(const Bytes& resource) {
  versioninfo::VersionInfoReader reader;
  EXPECT_EQ(reader.read(resource.data(), resource.size()), versioninfo::ReadStatus::kOk);
  Strings strings;
  versioninfo::StringEntry entry;
  for (size_t at = reader.firstString(); reader.nextString(&at, &entry);) {
    strings.emplace_back(toU16(entry.key), entry.hasValue ? toU16(entry.value) : u"<none>");
  }
  return strings;
}

}  // namespace brandtest

#endif  // BRAND_TESTS_VERSION_TEST_SUPPORT_H
