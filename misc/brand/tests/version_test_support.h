// Version resources for the branding tool's tests: a fixed file information
// with a recognisable pattern, and whole resources made by the writer.
#ifndef BRAND_TESTS_VERSION_TEST_SUPPORT_H
#define BRAND_TESTS_VERSION_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "julib/containers.h"
#include "version/version_resource.h"
#include "version/version_writer.h"

namespace brandtest {

using Bytes = std::vector<uint8_t>;
using Strings = std::vector<std::pair<std::u16string, std::u16string>>;

// 52 bytes 4, 5, 6 ... after the signature 0xFEEF04BD: every field differs.
inline Bytes patternFixedInfo() {
  Bytes fixed{0xBD, 0x04, 0xEF, 0xFE};
  for (uint8_t i = 4; i < versioninfo::kFixedInfoBytes; ++i) fixed.push_back(i);
  return fixed;
}

// The keys or the values of `strings` as the library's array of text
// pointers, not owned.
struct TextArray : JuArrayPVoid {
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

}  // namespace brandtest

#endif  // BRAND_TESTS_VERSION_TEST_SUPPORT_H
