// The version-resource rewriter.
#include "version/update_version_info.h"

#include <cstring>
#include <string_view>

#include "julib/object.h"
#include "platform/checked_size.h"
#include "platform/files.h"
#include "platform/pe/update.h"

namespace pe = platform::pe;
using versioninfo::ReadStatus;
using versioninfo::ResourceText;

namespace {

constexpr pe::ResourceId kVersionType = pe::ResourceId::fromId(pe::kResourceTypeVersion);
constexpr char kOutOfMemory[] = "out of memory";

// A block for `units` units and a zero, the zero written; null when out of
// memory (recorded).
char16_t* newText(size_t units) {
  size_t bytes = 0;
  if (!platform::arrayBytes(&bytes, units, sizeof(char16_t), sizeof(char16_t))) {
    juReportOutOfMemory();
    return nullptr;
  }
  auto* text = static_cast<char16_t*>(juMallocChecked(bytes));
  if (text != nullptr) text[units] = 0;
  return text;
}

char16_t* copyText(const ResourceText& source) {
  char16_t* text = newText(source.units);
  if (text != nullptr) source.copyTo(text);
  return text;
}

char16_t* copyText(std::u16string_view source) {
  char16_t* text = newText(source.size());
  if (text != nullptr && !source.empty()) std::memcpy(text, source.data(), source.size() * sizeof(char16_t));
  return text;
}

// Appends a text the array then owns; on failure the text is freed.
bool appendOwned(JuArrayPVoid* array, char16_t* text) {
  if (text == nullptr) return false;
  if (array->insertAt(text, array->count) != 0) {
    juFree(text);
    return false;
  }
  return true;
}

}  // namespace

CUpdateVersionInfoResourceApp::CUpdateVersionInfoResourceApp() {
  keys.flags |= JuArray::kOwnsElements;
  values.flags |= JuArray::kOwnsElements;
}

CUpdateVersionInfoResourceApp::~CUpdateVersionInfoResourceApp() {
  clearStrings();
  juFree(resourceNameText);
}

void CUpdateVersionInfoResourceApp::clearStrings() {
  keys.freeAll();
  values.freeAll();
  juFree(tableKey);
  tableKey = nullptr;
}

// ---------------------------------------------------------------------------
// The file
// ---------------------------------------------------------------------------

int CUpdateVersionInfoResourceApp::update(const char16_t* companyName, const char16_t* messagePrefix) {
  fileDamaged = false;
  failure = "";
  if (filePath == nullptr && heldFile == nullptr) return fail("no file name");
  if (!readResource() || rewrite(companyName, messagePrefix) == 0) return 0;
  pe::ResourceUpdate change;
  const platform::ErrorNumber begun = heldFile != nullptr ? change.beginHeld(*heldFile) : change.begin(filePath);
  if (begun != platform::kErrorNone) return fail(change.errorText());
  if (fileSum != nullptr) change.setFileSum(*fileSum);
  if (change.replace(kVersionType, resourceName, language, outputBuffer.data(), outputBuffer.length()) !=
      platform::kErrorNone) {
    failure = change.errorText();
    change.discard();
    return 0;
  }
  // A certificate the commit removes had stopped matching when the copy
  // rewrote the file's bytes: nothing to report here.
  if (change.commit() == platform::kErrorNone) return 1;
  fileDamaged = change.leftDamaged();
  return fail(change.errorText());
}

bool CUpdateVersionInfoResourceApp::readResource() {
  pe::ResourceFile file;
  const platform::ErrorNumber opened = heldFile != nullptr ? file.openHeld(*heldFile) : file.open(filePath);
  if (opened != platform::kErrorNone) return fail(file.errorText());

  pe::ResourceNames names;
  const platform::ErrorNumber listed = file.names(kVersionType, &names);
  if (listed == platform::kErrorNotFound || (listed == platform::kErrorNone && names.size() == 0)) {
    return fail("the file has no version resource");
  }
  if (listed != platform::kErrorNone) return fail(file.errorText());
  // The name outlives the list it came from.
  juFree(resourceNameText);
  resourceNameText = nullptr;
  resourceName = names[0];
  if (resourceName.isName()) {
    resourceNameText = copyText(resourceName.name());
    if (resourceNameText == nullptr) return fail(kOutOfMemory);
    resourceName = pe::ResourceId::fromName(std::u16string_view(resourceNameText, resourceName.name().size()));
  }

  pe::ResourceLanguages languages;
  if (file.languages(kVersionType, resourceName, &languages) != platform::kErrorNone || languages.size() == 0) {
    return fail(file.errorText()[0] != 0 ? file.errorText() : "the version resource has no language");
  }
  language = languages[0];

  pe::ResourceBytes bytes;
  if (file.read(kVersionType, resourceName, language, &bytes) != platform::kErrorNone) return fail(file.errorText());
  if (bytes.size() == 0) return fail("the version resource is empty");
  inputBuffer.clear();
  return inputBuffer.append(bytes.data(), bytes.size()) || fail(kOutOfMemory);
}

// ---------------------------------------------------------------------------
// The resource
// ---------------------------------------------------------------------------

int CUpdateVersionInfoResourceApp::rewrite(const char16_t* companyName, const char16_t* messagePrefix) {
  clearStrings();
  const std::u16string_view version = newVersion != nullptr ? newVersion : u"";
  if (newVersion != nullptr && !versioninfo::isVersionText(version)) return fail("the new version is not a version");

  versioninfo::VersionInfoReader reader;
  switch (reader.read(inputBuffer.data(), inputBuffer.length())) {
    case ReadStatus::kOk:
      break;
    case ReadStatus::kNoStringTable:
      return fail("the version resource has no string table");
    case ReadStatus::kMalformed:
      return fail("the version resource is damaged");
  }
  std::memcpy(fixedFileInfo, reader.fixedInfo(), sizeof fixedFileInfo);
  if (!version.empty()) versioninfo::setFixedVersions(fixedFileInfo, version);
  tableKey = copyText(reader.tableKey());
  if (tableKey == nullptr) return fail(kOutOfMemory);

  const versioninfo::Branding branding{companyName != nullptr ? companyName : u"",
                                       messagePrefix != nullptr ? messagePrefix : u"", version};
  if (!readStrings(reader, branding)) return fail(kOutOfMemory);
  return writeResource() ? 1 : 0;
}

bool CUpdateVersionInfoResourceApp::readStrings(const versioninfo::VersionInfoReader& reader,
                                                const versioninfo::Branding& branding) {
  versioninfo::StringEntry entry;
  for (size_t at = reader.firstString(); reader.nextString(&at, &entry);) {
    char16_t* key = copyText(entry.key);
    if (!appendOwned(&keys, key)) return false;
    char16_t* old = copyText(entry.value);
    if (old == nullptr) return false;
    char16_t* value = versioninfo::brandedValue(std::u16string_view(key, entry.key.units),
                                                std::u16string_view(old, entry.value.units), entry.hasValue, branding);
    juFree(old);
    if (!appendOwned(&values, value)) return false;
  }
  return true;
}

bool CUpdateVersionInfoResourceApp::writeResource() {
  const versioninfo::VersionContent content{fixedFileInfo, tableKey, &keys, &values};
  switch (versioninfo::buildVersionResource(content, &outputBuffer)) {
    case versioninfo::WriteStatus::kOk:
      return true;
    case versioninfo::WriteStatus::kOutOfMemory:
      return fail(kOutOfMemory);
    case versioninfo::WriteStatus::kTooLong:
      return fail("a text of the new version resource is too long");
    case versioninfo::WriteStatus::kBadTableKey:
      return fail("the version resource's string table has a bad key");
  }
  return fail("the version resource could not be written");
}
