// The brand object: construction, setters with their validation, queries and
// the tests of prefixes and version codes.

#include "brand.h"

#include <cstring>

#include "brand_text.h"
#include "julib/cstring.h"
#include "platform/utf16.h"

char brandSourcePrefix[3] = {};

namespace {

// Replaces a heap text by another (null when it could not be made).
template <typename Char>
void replaceText(Char*& field, Char* text) {
  juFree(field);
  field = text;
}

bool isSeparator(char c) { return c == '\\' || c == '/'; }
bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Two characters, as a version code must be to stand for "##".
bool isTwoCharacters(const char* code) { return code[0] != 0 && code[1] != 0 && code[2] == 0; }

bool samePair(const char* pair, const char* code) {
  return isTwoCharacters(code) && pair[0] == code[0] && pair[1] == code[1];
}

}  // namespace

brand::brand(const char* currentDirectory) {
  additionalVersionCodes.flags |= JuArray::kOwnsElements;
  filePrefix = brandtext::copy("CD");
  messagePrefix = brandtext::copy(u"");
  newVersion = brandtext::copy(u"");
  suffix = brandtext::copy("");
  setDirectory(currentDirectory);
}

brand::~brand() {
  for (char* text : {xmlProviderName, filePrefix, targetDirectory, platformText, productText, rzmList,
                     libraryExtension, infVersionText, suffix, suffixBeforeKey_}) {
    juFree(text);
  }
  for (char16_t* text : {companyName, productName, messagePrefix, newVersion}) juFree(text);
  // The lists hold heap copies that nothing else frees at the end of a run.
  searchList.freeAll();
  mainFileList.freeAll();
  optionalFileList.freeAll();
}

// ---------------------------------------------------------------------------
// Setters.
// ---------------------------------------------------------------------------

void brand::setFilePrefix(const char* text) { replaceText(filePrefix, brandtext::copy(text)); }
void brand::setCompanyName(const char16_t* text) { replaceText(companyName, brandtext::copy(text)); }
void brand::setCompanyName(const char* utf8) { replaceText(companyName, brandtext::widenUtf8(utf8)); }
void brand::setProductName(const char16_t* text) { replaceText(productName, brandtext::copy(text)); }
void brand::setProductName(const char* utf8) { replaceText(productName, brandtext::widenUtf8(utf8)); }
void brand::setMessagePrefix(const char16_t* text) { replaceText(messagePrefix, brandtext::copy(text)); }
void brand::setMessagePrefix(const char* utf8) { replaceText(messagePrefix, brandtext::widenUtf8(utf8)); }

int brand::setSuffix(const char* text) {
  replaceText(suffix, brandtext::copy(text));
  const char* stored = brandtext::orEmpty(suffix);
  return isDigit(static_cast<unsigned char>(stored[0])) && isDigit(static_cast<unsigned char>(stored[1])) ? 0 : 1;
}

int brand::setVersion(const char16_t* text) {
  const size_t length = platform::utf16::unitLength(text);
  if (length != 5 && length != 11) return 1;
  replaceText(newVersion, brandtext::copy(text));
  for (size_t i = 0; i < length; ++i) {
    // Dots at the 3rd, 6th and 9th places, digits everywhere else.
    const bool dotPlace = i % 3 == 2;
    if (dotPlace ? text[i] != u'.' : !isDigit(text[i])) return 1;
  }
  return 0;
}

int brand::setVersion(const char* utf8) {
  char16_t* wide = brandtext::widenUtf8(utf8);
  if (utf8 != nullptr && wide == nullptr) return 1;
  const int result = setVersion(wide);
  juFree(wide);
  return result;
}

void brand::setDirectory(const char* text) {
  if (text == nullptr || text[0] == 0) return;
  const size_t length = std::strlen(text);
  const char* parts[] = {text, isSeparator(text[length - 1]) ? "" : "\\"};
  replaceText(targetDirectory, brandtext::join(parts, 2));
}

void brand::setOwnerWindow(platform::dialogs::WindowHandle window) { ownerWindow = window; }

void brand::setCorvane61Mode() {
  if (!keyTaken_) {
    keyTaken_ = true;
    suffixModeBeforeKey_ = suffixMode;
    replaceText(suffixBeforeKey_, brandtext::copy(suffix));
  }
  corvane61Mode = 1;
  suffixMode = 1;
  (void)setSuffix("32");  // two digits: valid
}

void brand::resetOptions() {
  corvane61Mode = 0;
  if (!keyTaken_) return;
  keyTaken_ = false;
  suffixMode = suffixModeBeforeKey_;
  replaceText(suffix, suffixBeforeKey_);  // null (out of memory) reads as empty
  suffixBeforeKey_ = nullptr;
}

// ---------------------------------------------------------------------------
// Queries.
// ---------------------------------------------------------------------------

const char* brand::fileName(uint64_t index) const {
  return index < mainFileList.count ? static_cast<const char*>(mainFileList.pointerAt(index)) : nullptr;
}

uint64_t brand::fileCount() const { return mainFileList.count; }

const char* brand::searchEntry(uint64_t index) const {
  return index < searchList.count ? static_cast<const char*>(searchList.pointerAt(index)) : nullptr;
}

int brand::clearFileList() {
  mainFileList.freeAll();
  return 1;
}

int brand::clearSearchList() {
  searchList.freeAll();
  return 1;
}

int brand::isReservedPrefix() const {
  const char* prefix = brandtext::orEmpty(filePrefix);
  if (juStrIEqual(prefix, "JU") || juStrIEqual(prefix, "WY")) return 1;
  return versionMode == 0 && (juStrIEqual(prefix, "KJ") || juStrIEqual(prefix, "VR")) ? 1 : 0;
}

int brand::isVersionCode(const char* pair) const {
  if (samePair(pair, rzmVersionCode) || samePair(pair, driverVersionCode)) return 1;
  for (uint64_t i = 0; i < additionalVersionCodes.count; ++i) {
    if (samePair(pair, static_cast<const char*>(additionalVersionCodes.pointerAt(i)))) return 1;
  }
  return 0;
}

char brand::hexDigit(uint32_t value) {
  const auto low = static_cast<uint8_t>(value);
  return static_cast<char>(low <= 9 ? '0' + low : low + 55);
}
