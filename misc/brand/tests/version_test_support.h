// Version resources for the branding tool's tests: a fixed file information
// with a recognisable pattern and whole resources made by the writer.
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

using Strings = std::vector<std::pair<std::u16string, std::u16string>>;

// 52 bytes: the signature 0xFEEF04BD, then 4, 5, 6 ... so that every field
// differs from its neighbours.
inline std::vector<uint8_t> patternFixedInfo() {
  std::vector<uint8_t> fixed(versioninfo::kFixedInfoBytes);
  for (size_t i = 0; i < fixed.size(); ++i) fixed[i] = static_cast<uint8_t>(i);
  const uint8_t signature[4] = {0xBD, 0x04, 0xEF, 0xFE};
  std::copy(signature, signature + 4, fixed.begin());
  return fixed;
}

inline uint32_t dwordAt(const uint8_t* bytes, size_t offset) {
  return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 | uint32_t{bytes[offset + 3]} << 24;
}

// The keys or the values of `strings` as the library's array of text
// pointers, not owned.
class TextArray : public JuArrayPVoid {
 public:
  TextArray(const Strings& strings, bool keys) {
    for (const auto& [key, value] : strings) EXPECT_EQ(insertAt((keys ? key : value).c_str(), count), 0);
  }
  explicit TextArray(std::initializer_list<const char16_t*> texts) {
    for (const char16_t* text : texts) EXPECT_EQ(insertAt(text, count), 0);
  }
};

// A resource from the writer; empty when it fails.
inline std::vector<uint8_t> makeResource(const std::u16string& tableKey, const Strings& strings,
                                         std::vector<uint8_t> fixed = patternFixedInfo()) {
  const TextArray keys(strings, true);
  const TextArray values(strings, false);
  versioninfo::VersionBuffer buffer;
  const versioninfo::VersionContent content{fixed.data(), tableKey, &keys, &values};
  if (versioninfo::buildVersionResource(content, &buffer) != versioninfo::WriteStatus::kOk) return {};
  return std::vector<uint8_t>(buffer.data(), buffer.data() + buffer.length());
}

inline std::u16string toU16(const versioninfo::ResourceText& text) {
  std::u16string out(text.units, u'\0');
  text.copyTo(out.data());
  return out;
}

// The String entries as the reader sees them; a value read from wValueLength
// 0 shows as "<none>".
inline Strings readStrings(const std::vector<uint8_t>& resource) {
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
