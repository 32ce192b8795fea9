// The brand object's list builders: names from the INF's comma lists, with
// "##" standing for a version code, into the main, optional and search
// lists.

#include <cstring>

#include "brand.h"
#include "brand_text.h"
#include "julib/cstring.h"
#include "julib/tokenizer.h"

namespace {

bool endsWith(const char* text, size_t length, const char* tail) {
  const size_t n = std::strlen(tail);
  return length >= n && std::memcmp(text + length - n, tail, n) == 0;
}

bool holdsEqual(const JuArrayPVoid& list, const char* name) {
  for (uint64_t i = 0; i < list.count; ++i) {
    if (std::strcmp(static_cast<const char*>(list.pointerAt(i)), name) == 0) return true;
  }
  return false;
}

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
  if (extension == nullptr || (n >= 5 && endsWith(name, n, ".exe"))) return name;
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
      if (holdsEqual(destination, name)) {
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
