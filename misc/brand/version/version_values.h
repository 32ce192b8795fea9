// The branding rules for a version resource's contents: the new value of
// each String entry (company, description, version texts) and the version
// numbers of the fixed file information. Texts are UTF-16 throughout.
#ifndef BRAND_VERSION_VERSION_VALUES_H
#define BRAND_VERSION_VERSION_VALUES_H

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace versioninfo {

// The maker's own message prefix, and the company shown when it is kept.
inline constexpr std::u16string_view kMakerPrefix = u"Brisklane";
inline constexpr std::u16string_view kMakerCompany = u"Tarnwell Software Corporation";

// A new version text: "09.01" or "09.01.02.03": 5 or 11 characters, "." at
// the 3rd, 6th and 9th, decimal digits elsewhere.
//   isVersionText(u"06.00") -> true;  isVersionText(u"6.00") -> false
bool isVersionText(std::u16string_view version);

// Sets the file and product version of a 52-byte fixed file information from
// a valid version text: the high 32 bits become (characters 1-2) * 65536 +
// (characters 4-5), and for 11 characters the low 32 bits (characters 7-8) *
// 65536 + (characters 10-11), read as decimal numbers. The rest is kept.
//   u"09.01": file version high part 9 * 65536 + 1, low part unchanged
void setFixedVersions(uint8_t* fixedInfo, std::u16string_view version);

// Units of the version field that leads `text`: decimal digits, ".",
// decimal digits; 0 when the text does not begin with one.
//   leadingVersionField(u"8.02.0293") -> 4;  leadingVersionField(u"v8") -> 0
size_t leadingVersionField(std::u16string_view text);

// What a branding changes.
struct Branding {
  std::u16string_view company;
  std::u16string_view messagePrefix;
  std::u16string_view newVersion;  // empty: the versions stay
};

// The new value of a String entry, from its key and old value (hadValue
// false for wValueLength 0), as a new zero-terminated block to release with
// juFree; null when out of memory (recorded).
//   "ProductVersion", "FileVersion" with a new version: an 11-character one
//       is the whole value; a 5-character one replaces the leading version
//       field ("09.01" over "8.02.0293 (B9999)" -> "09.01.0293 (B9999)";
//       blanks before it stay: " 5.1.2600" -> " 09.01.2600"), or is the
//       whole value when there is none;
//   otherwise an empty old value stays empty;
//   "CompanyName": kMakerCompany when the message prefix is kMakerPrefix,
//       else the company;
//   "FileDescription": the first "Brisklane" (when the value begins with
//       "B") or "Tarnwell Brisklane" (otherwise) replaced by the prefix:
//       "Tarnwell Brisklane ODBC Driver" with "ABCD" -> "ABCD ODBC Driver";
//   any other entry: the old value.
char16_t* brandedValue(std::u16string_view key, std::u16string_view oldValue, bool hadValue, const Branding& branding);

}  // namespace versioninfo

#endif  // BRAND_VERSION_VERSION_VALUES_H
