// The brand object: construction, setters with their validation, queries,
// the tests of prefixes and version codes, the list builders, and the
// rewriting calls on one chunk. The run is in brand_run.cpp; what the object
// delegates lives in the modules it names.

#include "engine/brand.h"

#include <cstring>
#include <new>

#include "engine/directory_listing.h"
#include "engine/file_brander.h"
#include "engine/file_names.h"
#include "julib/cstring.h"
#include "julib/tokenizer.h"
#include "platform/utf16.h"
#include "rewrite/rewriters.h"
#include "text/ascii.h"
#include "text/brand_text.h"
#include "version/version_values.h"

char brandSourcePrefix[3] = {};

namespace {

// Replaces a heap text by another (null when it could not be made).
template <typename Char>
void replaceText(Char*& field, Char* text) {
  juFree(field);
  field = text;
}

bool isSeparator(char c) { return c == '\\' || c == '/'; }

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
  delete directories_;
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
  return brandtext::isDigit(stored[0]) && brandtext::isDigit(stored[1]) ? 0 : 1;
}

int brand::setVersion(const char16_t* text) {
  const size_t length = platform::utf16::unitLength(text);
  if (length != 5 && length != 11) return 1;
  replaceText(newVersion, brandtext::copy(text));
  return versioninfo::isVersionText(std::u16string_view(text, length)) ? 0 : 1;
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
  // Stored and shown as the system names it: '/' separates.
  const size_t length = std::strlen(text);
  const char* parts[] = {text, isSeparator(text[length - 1]) ? "" : "/"};
  char* directory = brandtext::join(parts, 2);
  for (char* p = directory; p != nullptr && *p != 0; ++p) {
    if (*p == '\\') *p = '/';
  }
  replaceText(targetDirectory, directory);
}

void brand::setReporter(brandengine::Reporter* reporter) { reporter_ = reporter; }

brandengine::Reporter& brand::reporter() const {
  static brandengine::SilentReporter silentReporter;
  return reporter_ != nullptr ? *reporter_ : silentReporter;
}

void brand::startListing() {
  if (inRun_) return;
  delete directories_;
  directories_ = nullptr;
}

brandengine::RunDirectories* brand::runDirectories() {
  if (directories_ == nullptr) directories_ = new (std::nothrow) brandengine::RunDirectories;  // null: recorded
  return directories_;
}

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

char brand::hexDigit(uint32_t value) { return brandtext::hexDigit(value); }

// ---------------------------------------------------------------------------
// List builders.
// ---------------------------------------------------------------------------

bool brandHoldsName(const JuArrayPVoid& list, const char* name) {
  for (uint64_t i = 0; i < list.count; ++i) {
    if (std::strcmp(static_cast<const char*>(list.pointerAt(i)), name) == 0) return true;
  }
  return false;
}

namespace {

// The listed name of one item: "##" replaced by the code, lower-cased, the
// extension appended; null when it cannot be allocated.
char* listedName(const char* item, size_t length, const char* code, const char* extension) {
  char* name = brandtext::copy(item, length);
  if (name == nullptr) return nullptr;
  // A code of other than two characters would cut the name or leave half of
  // the marker: the marker then stays as it is.
  char* marker = std::strstr(name, "##");
  if (marker != nullptr && code[0] != 0 && code[1] != 0 && code[2] == 0) std::memcpy(marker, code, 2);
  brandtext::lowerUtf8(name);
  const size_t n = std::strlen(name);
  if (extension == nullptr || (n >= 5 && brandtext::endsWith(name, n, ".exe"))) return name;
  const char* parts[] = {name, extension};
  char* withExtension = brandtext::join(parts, 2);
  juFree(name);
  return withExtension;
}

}  // namespace

int brand::addFileList(JuArrayPVoid& destination, const char* commaText, const char* code, const char* extension) {
  JuScanner scanner(brandtext::orEmpty(commaText), JuCodePageKind::kUtf8);
  JuToken token;
  for (;;) {
    scanner.nextUntil(token, ',');
    if (token.type == kJuTokenEnd) return 1;
    if (token.type == kJuTokenUntil && juStrNTrimmedLen(token.data, token.length, JuCodePageKind::kUtf8) != 0) {
      char* name = listedName(token.data, token.length, brandtext::orEmpty(code), extension);
      if (name == nullptr) return 0;
      if (brandHoldsName(destination, name)) {
        juFree(name);
      } else if (destination.insertAt(name, destination.count) != 0) {
        juFree(name);
        return 0;
      }
    }
    // The comma is never taken by nextUntil: step over it.
    if (scanner.peekChar(1) == ',') ++scanner.position;
  }
}

namespace {

// addFileList once for each additional version code, then with the driver's.
template <typename Add>
int forEachVersionCode(const brand& object, Add add) {
  for (uint64_t i = 0; i < object.additionalVersionCodes.count; ++i) {
    if (!add(static_cast<const char*>(object.additionalVersionCodes.pointerAt(i)))) return 0;
  }
  return add(object.driverVersionCode);
}

}  // namespace

int brand::addFiles(const char* commaText, const char* extension) {
  return forEachVersionCode(*this, [&](const char* code) {
    return addFileList(mainFileList, commaText, code, extension);
  });
}

int brand::addOptionalFiles(const char* commaText, const char* extension) {
  return forEachVersionCode(*this, [&](const char* code) {
    return addFileList(optionalFileList, commaText, code, extension);
  });
}

int brand::addSearchEntries(const char* commaText) {
  return forEachVersionCode(*this, [&](const char* code) {
    return addFileList(searchList, commaText, code, nullptr);
  });
}

int brand::addOldVersion() {
  const char* version = brandtext::orEmpty(infVersionText);
  // The short form needs the third and fourth characters: a shorter text is
  // taken as it is.
  if (version[0] != 0 && version[1] == '.' && version[2] != 0 && version[3] != 0) {
    const char shortForm[] = {'0', version[0], '.', version[2], version[3], 0};
    return addSearchEntries(shortForm);
  }
  return addSearchEntries(version);
}

// ---------------------------------------------------------------------------
// What the object delegates.
// ---------------------------------------------------------------------------

char* brand::newFileName(const char* listedName) const { return brandengine::newFileName(*this, listedName); }

int64_t brand::findBytes(const char* buffer, size_t length, const char* pattern, size_t patternLength) {
  return brandrewrite::findBytes(buffer, length, pattern, patternLength);
}

int brand::replaceMessagePrefix(char* chunk, size_t length, const char* oldPattern, size_t oldLength,
                                const char* newPattern, size_t newLength) {
  return brandrewrite::replaceMessagePrefix(chunk, length, oldPattern, oldLength, newPattern, newLength);
}

int brand::replaceNames(char* chunk, size_t length, const char* newName, const char* filePrefix) {
  brandrewrite::NameRewriter names;
  if (brandengine::prepareNameRewriter(*this, newName, filePrefix, &names) != 0) return 0;
  brandrewrite::rewriteChunk(names, chunk, length);
  return 1;
}
