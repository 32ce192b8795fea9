// The branding rules for a version resource's contents.
#include "version/version_values.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "julib/object.h"
#include "platform/checked_size.h"
#include "text/ascii.h"

namespace versioninfo {
namespace {

using brandtext::isDigit;

// The two-digit decimal number at `at`.
uint32_t pairAt(std::u16string_view version, size_t at) {
  return static_cast<uint32_t>((version[at] - u'0') * 10 + (version[at + 1] - u'0'));
}

void writeDword(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The parts one after another in a new zero-terminated block; null when out
// of memory (recorded).
char16_t* joinTexts(std::initializer_list<std::u16string_view> parts) {
  size_t units = 1;
  for (const std::u16string_view part : parts) {
    if (!platform::addSizes(&units, units, part.size())) units = SIZE_MAX;
  }
  size_t bytes = 0;
  if (units == SIZE_MAX || !platform::multiplySizes(&bytes, units, sizeof(char16_t))) {
    juReportOutOfMemory();
    return nullptr;
  }
  auto* text = static_cast<char16_t*>(juMallocChecked(bytes));
  if (text == nullptr) return nullptr;
  char16_t* end = text;
  for (const std::u16string_view part : parts) {
    if (!part.empty()) std::memcpy(end, part.data(), part.size() * sizeof(char16_t));
    end += part.size();
  }
  *end = 0;
  return text;
}

char16_t* brandedVersion(std::u16string_view oldValue, std::u16string_view newVersion) {
  // Blanks in front of the version stay in front of the new one.
  const size_t blanks = std::min(oldValue.find_first_not_of(u' '), oldValue.size());
  const std::u16string_view version = oldValue.substr(blanks);
  // Without a leading field to replace, the new version is the whole text.
  const size_t field = leadingVersionField(version);
  if (newVersion.size() != 5 || field == 0) return joinTexts({newVersion});
  return joinTexts({oldValue.substr(0, blanks), newVersion, version.substr(field)});
}

char16_t* brandedDescription(std::u16string_view oldValue, std::u16string_view messagePrefix) {
  const std::u16string_view word =
      !oldValue.empty() && oldValue[0] == kMakerPrefix[0] ? kMakerPrefix : u"Tarnwell Brisklane";
  const size_t at = oldValue.find(word);
  if (at == std::u16string_view::npos) return joinTexts({oldValue});
  return joinTexts({oldValue.substr(0, at), messagePrefix, oldValue.substr(at + word.size())});
}

}  // namespace

bool isVersionText(std::u16string_view version) {
  if (version.size() != 5 && version.size() != 11) return false;
  for (size_t i = 0; i < version.size(); ++i) {
    const bool dot = i % 3 == 2;
    if (dot ? version[i] != u'.' : !isDigit(version[i])) return false;
  }
  return true;
}

void setFixedVersions(uint8_t* fixedInfo, std::u16string_view version) {
  // dwFileVersionMS, dwFileVersionLS, dwProductVersionMS, dwProductVersionLS
  constexpr size_t kFileVersion = 8;
  constexpr size_t kProductVersion = 16;
  const uint32_t high = pairAt(version, 0) << 16 | pairAt(version, 3);
  writeDword(fixedInfo + kFileVersion, high);
  writeDword(fixedInfo + kProductVersion, high);
  if (version.size() == 11) {
    const uint32_t low = pairAt(version, 6) << 16 | pairAt(version, 9);
    writeDword(fixedInfo + kFileVersion + 4, low);
    writeDword(fixedInfo + kProductVersion + 4, low);
  }
}

size_t leadingVersionField(std::u16string_view text) {
  size_t at = 0;
  while (at < text.size() && isDigit(text[at])) ++at;
  if (at == 0 || at == text.size() || text[at] != u'.') return 0;
  const size_t minor = ++at;
  while (at < text.size() && isDigit(text[at])) ++at;
  return at == minor ? 0 : at;
}

char16_t* brandedValue(std::u16string_view key, std::u16string_view oldValue, bool hadValue, const Branding& branding) {
  if (!branding.newVersion.empty() && (key == u"ProductVersion" || key == u"FileVersion")) {
    return brandedVersion(oldValue, branding.newVersion);
  }
  if (!hadValue) return joinTexts({});
  if (key == u"CompanyName") {
    return joinTexts({branding.messagePrefix == kMakerPrefix ? kMakerCompany : branding.company});
  }
  if (key == u"FileDescription") return brandedDescription(oldValue, branding.messagePrefix);
  return joinTexts({oldValue});
}

}  // namespace versioninfo
