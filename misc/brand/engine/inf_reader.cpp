// The branding INF reader: vrbrand.inf's sections START and FILES into the
// brand object (brand::readInf), and where the INF is.
//
// Values are read through the library's profile access in UTF-16 and kept as
// UTF-8, so names reach the file system as they are written in the INF, and
// whole, however long they are.

#include "engine/inf_reader.h"

#include <cstring>

#include "brand_messages.h"
#include "engine/brand.h"
#include "engine/directory_listing.h"
#include "julib/cstring.h"
#include "julib/object.h"
#include "julib/profile.h"
#include "julib/threads.h"
#include "platform/checked_size.h"
#include "platform/paths.h"
#include "platform/utf16.h"
#include "text/ascii.h"
#include "text/brand_text.h"

namespace brandengine {

char* findInf(const char* directory) {
  char16_t relative[kJuMessageUnits];
  const size_t units = juLoadMessage(relative, kBrandMsgInfFileName);
  char* relativeUtf8 = brandtext::toUtf8(relative, units);
  if (relativeUtf8 == nullptr) return nullptr;
  // The catalogue names it relative to the current directory (".\vrbrand.inf").
  const std::string_view name = platform::fileName(relativeUtf8);
  const char* parts[] = {directory != nullptr && directory[0] != 0 ? directory : ".", "/"};
  char* where = brandtext::join(parts, 2);
  char* nameUtf8 = brandtext::copy(name.data(), name.size());
  DirectoryListing listing;
  const char* found = nullptr;
  char* path = nullptr;
  if (where != nullptr && nameUtf8 != nullptr && listing.list(where) &&
      listing.find(nameUtf8, &found) == Lookup::kFound) {
    path = brandtext::join(where, found);
  }
  juFree(where);
  juFree(nameUtf8);
  juFree(relativeUtf8);
  return path;
}

}  // namespace brandengine

namespace {

constexpr char16_t kDefaultXmlProvider[] = u"Brisklane Closed XML ADO Provider";

// The INF being read: its name and its two sections, from the catalogue.
class InfFile {
 public:
  explicit InfFile(const char* programDirectory) {
    juLoadMessage(start_, kBrandMsgInfStartSection);
    juLoadMessage(files_, kBrandMsgInfFilesSection);
    // The program's directory first, then the current directory; the name
    // is found whatever its case, as the driver files are.
    char* path = programDirectory != nullptr && programDirectory[0] != 0 ? brandengine::findInf(programDirectory)
                                                                          : nullptr;
    if (path == nullptr) path = brandengine::findInf(nullptr);
    if (path != nullptr) {
      name_ = brandtext::widenUtf8(path);
      juFree(path);
    } else {
      // None there: the catalogue's name, which reads as a missing file.
      char16_t relative[kJuMessageUnits];
      juLoadMessage(relative, kBrandMsgInfFileName);
      name_ = brandtext::copy(relative);
    }
  }
  ~InfFile() { juFree(name_); }
  InfFile(const InfFile&) = delete;
  InfFile& operator=(const InfFile&) = delete;

  const char16_t* start() const { return start_; }
  const char16_t* files() const { return files_; }

  // The whole value of `key` as a heap UTF-8 text; `fallback` (null: empty)
  // when the key is missing or empty. Null when out of memory.
  char* value(const char16_t* section, const char16_t* key, const char16_t* fallback) const {
    size_t size = 2000;
    for (;;) {
      size_t bytes = 0;
      auto* buffer = platform::multiplySizes(&bytes, size, sizeof(char16_t))
                         ? static_cast<char16_t*>(juMallocChecked(bytes))
                         : nullptr;
      if (buffer == nullptr) return nullptr;
      const size_t units = juGetPrivateProfileStringW(section, key, u"", buffer, size, name_, 0);
      // A value that filled the buffer may have been cut: read it again
      // with twice the room.
      if (units + 1 >= size && platform::multiplySizes(&size, size, 2)) {
        juFree(buffer);
        continue;
      }
      char* text = units != 0 ? brandtext::toUtf8(buffer, units)
                              : brandtext::toUtf8(fallback != nullptr ? fallback : u"",
                                                  platform::utf16::unitLength(fallback));
      juFree(buffer);
      return text;
    }
  }

  // A version code: the value's first two characters when they are ASCII
  // (a code is two digits), else as many as are; `fallback` when the key is
  // missing or empty.
  void code(const char16_t* section, const char16_t* key, const char* fallback, char* out) const {
    char16_t buffer[3];
    const size_t units = juGetPrivateProfileStringW(section, key, u"", buffer, 3, name_, 0);
    if (units == 0) {
      std::strcpy(out, fallback);
      return;
    }
    size_t n = 0;
    while (n < units && buffer[n] < 0x80) {
      out[n] = static_cast<char>(buffer[n]);
      ++n;
    }
    out[n] = 0;
  }

 private:
  char16_t start_[kJuMessageUnits];
  char16_t files_[kJuMessageUnits];
  char16_t* name_ = nullptr;
};

// Owns a heap text for a scope.
class Text {
 public:
  explicit Text(char* text) : text_(text) {}
  ~Text() { juFree(text_); }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  const char* get() const { return brandtext::orEmpty(text_); }
  bool empty() const { return get()[0] == 0; }
  bool failed() const { return text_ == nullptr; }

 private:
  char* text_;
};

// Takes the first two bytes of a list as the source prefix when none is set.
void takeSourcePrefix(const char* list) {
  if (brandSourcePrefix[0] != 0) return;
  const size_t n = list[0] == 0 ? 0 : list[1] == 0 ? 1 : 2;
  std::memcpy(brandSourcePrefix, list, n);
  brandSourcePrefix[n] = 0;
}

bool containsNoCase(const char* text, const char* word) {
  return juStrNIFind(text, std::strlen(text), word, std::strlen(word), JuCodePageKind::kUtf8) != nullptr;
}

void assign(char*& field, char* text) {
  juFree(field);
  field = text;
}

}  // namespace

void brand::readInf(const char* programDirectory) {
  const InfFile inf(programDirectory);
  const char16_t* start = inf.start();

  // --- START ---------------------------------------------------------------
  assign(productText, inf.value(start, u"PRODUCT", kBrandDefaultProduct));
  const char* product = brandtext::orEmpty(productText);
  siblingMode = containsNoCase(product, "Lanthorne") || containsNoCase(product, "Corvane") ? 1 : 0;
  std::strcpy(brandSourcePrefix, siblingMode != 0 ? "KJ" : "");

  const Text platformValue(inf.value(start, u"PLATFORM", nullptr));
  if (platformValue.empty()) return;
  assign(infVersionText, inf.value(start, u"VERSION", nullptr));
  const char* platformParts[] = {platformValue.get(), "  Vers. ", infVersionText};
  assign(platformText, brandtext::join(platformParts, 3));
  if (brandtext::orEmpty(infVersionText)[0] == 0) return;
  inf.code(start, u"RZMVER", "", rzmVersionCode);
  inf.code(start, u"DRVVER", "00", driverVersionCode);

  // Two digits and a comma a step; the last code may end the text instead.
  const Text additional(inf.value(start, u"ADDITIONAL_DRVVERS", nullptr));
  const char* codes = additional.get();
  const size_t codesLength = std::strlen(codes);
  for (size_t i = 0; i + 2 <= codesLength; i += 3) {
    const bool digits = brandtext::isDigit(codes[i]) && brandtext::isDigit(codes[i + 1]);
    if (!digits || (codes[i + 2] != ',' && codes[i + 2] != 0)) continue;
    char* code = brandtext::copy(codes + i, 2);
    if (code == nullptr) return;
    if (additionalVersionCodes.insertAt(code, additionalVersionCodes.count) != 0) {
      juFree(code);
      return;
    }
  }

  // --- FILES -----------------------------------------------------------------
  const char16_t* files = inf.files();
  assign(libraryExtension, inf.value(files, u"LIBEXTENSION", u".dll"));
  const char* library = brandtext::orEmpty(libraryExtension);
  if (versionMode != 0 && !addOldVersion()) return;
  const Text helpExtension(inf.value(files, u"HLPEXTENSION", u".hlp"));
  const Text otherExtension(inf.value(files, u"OTHEREXTENSION", nullptr));
  const Text iniExtension(inf.value(files, u"INIEXTENSION", u".ini"));

  const Text common(inf.value(files, u"COMMON", nullptr));
  if (common.empty() || !addFiles(common.get(), library)) return;
  takeSourcePrefix(common.get());
  const Text optional(inf.value(files, u"OPTIONAL", nullptr));
  if (!optional.empty() && (!addOptionalFiles(optional.get(), library) || !addFiles(optional.get(), library))) return;
  const Text drivers(inf.value(files, u"DRIVERS", nullptr));
  if (!drivers.empty()) {
    if (!addFiles(drivers.get(), library)) return;
    takeSourcePrefix(drivers.get());
  }
  assign(rzmList, inf.value(files, u"RZM", nullptr));
  if (brandtext::orEmpty(rzmList)[0] != 0) {
    if (!addFileList(mainFileList, rzmList, rzmVersionCode, library)) return;
    takeSourcePrefix(rzmList);
  }
  if (siblingMode == 0 && brandSourcePrefix[0] == 0) std::strcpy(brandSourcePrefix, "VR");

  // The RZM's ICU library: its three-character version, or the driver's code.
  const Text icuVersion(inf.value(files, u"RZMICUVER", nullptr));
  const char* icuParts[] = {brandSourcePrefix, "ICU", icuVersion.empty() ? driverVersionCode : icuVersion.get()};
  const Text icuName(brandtext::join(icuParts, 3));
  const char* rzmParts[] = {rzmList, ",", icuName.get()};
  assign(rzmList, brandtext::join(rzmParts, 3));
  if (icuName.failed() || rzmList == nullptr) return;
  if (!icuVersion.empty() && !addFileList(mainFileList, icuName.get(), "", library)) return;

  for (const char16_t* key : {u"DTC", u"SETUP"}) {
    const Text list(inf.value(files, key, nullptr));
    if (!addFiles(list.get(), library)) return;
  }
  for (const char16_t* key : {u"RPLC", u"CLSIDS"}) {
    const Text list(inf.value(files, key, nullptr));
    if (!addSearchEntries(list.get())) return;
  }
  const Text iniFiles(inf.value(files, u"INIFILES", nullptr));
  if (!addFiles(iniFiles.get(), iniExtension.get())) return;
  assign(xmlProviderName, inf.value(files, u"XMLVEN", kDefaultXmlProvider));

  const Text help(inf.value(files, u"HELP", nullptr));
  helpIndex = mainFileList.count;
  if (!addFiles(help.get(), helpExtension.get())) return;
  helpCount = mainFileList.count - helpIndex;
  if (!otherExtension.empty()) (void)addFiles(help.get(), otherExtension.get());  // the last step: nothing to stop
}
