// The version-resource rewriter: brands the version resource of a library
// the branding tool wrote (company, description, versions) and writes it
// back into the file.
#ifndef BRAND_VERSION_UPDATE_VERSION_INFO_H
#define BRAND_VERSION_UPDATE_VERSION_INFO_H

#include <cstdint>

#include "julib/containers.h"
#include "platform/pe/held_file.h"
#include "platform/pe/image.h"
#include "platform/pe/resources.h"
#include "version/version_resource.h"
#include "version/version_values.h"
#include "version/version_writer.h"

// Set filePath (and newVersion in version mode), then call update:
//   CUpdateVersionInfoResourceApp app;
//   app.filePath = "out/xyora32.dll";
//   app.newVersion = u"09.01";
//   if (app.update(u"Acme Corp", u"ACME") == 0) ... warn: the file is as the copy wrote it
class CUpdateVersionInfoResourceApp {
 public:
  CUpdateVersionInfoResourceApp();
  virtual ~CUpdateVersionInfoResourceApp();
  CUpdateVersionInfoResourceApp(const CUpdateVersionInfoResourceApp&) = delete;
  CUpdateVersionInfoResourceApp& operator=(const CUpdateVersionInfoResourceApp&) = delete;

  // Reads the file's first version resource (first name, first language),
  // brands it with rewrite and replaces it in the file. Nonzero when the new
  // resource was written and committed; 0 on any failure (no file, not a PE
  // file, no version resource, a damaged one, out of memory, the file could
  // not be written), the file then left byte for byte as it was unless
  // fileDamaged is set. A resource that takes the old one's file bytes is
  // written over them in the file, not through a new copy: call it on a
  // file that no one else reads yet.
  int update(const char16_t* companyName, const char16_t* messagePrefix);

  // The branding without the file: reads the resource in inputBuffer and
  // writes the branded one into outputBuffer, filling fixedFileInfo,
  // tableKey, keys and values on the way. Nonzero on success; 0 when the
  // new version is not a version text ("09.01", "09.01.02.03"), the resource
  // is damaged or has no string table, a node of the new one would pass
  // 65535 bytes, or memory runs out.
  int rewrite(const char16_t* companyName, const char16_t* messagePrefix);

  // Set by the caller. Both zero-terminated; the path is UTF-8.
  const char16_t* newVersion = nullptr;  // null keeps the versions
  const char* filePath = nullptr;
  // Optional, in place of filePath: a file the caller is still writing, its
  // headers and resources held in memory (platform/pe/held_file.h). A
  // resource that fits is then written with the held bytes, once; after any
  // failure the caller writes the held bytes itself.
  const platform::pe::HeldFile* heldFile = nullptr;
  // Optional: the checksum of the file's bytes as the caller just wrote
  // them, so that a resource that fits where the old one was is written in
  // place without reading the file again.
  const platform::pe::PeChecksum* fileSum = nullptr;
  // Set by update when writing in place failed and the old bytes could not
  // be written back either: the file is then damaged and must not be used.
  bool fileDamaged = false;
  // Why the last update or rewrite failed, as a short static text ("the
  // file has no version resource", the PE layer's own reason, ...); "" when
  // it did not fail.
  const char* failure = "";

  // Found by update: the first version resource's name (its text, for a
  // name, in resourceNameText) and language (0xFFFF before).
  platform::pe::ResourceId resourceName;
  char16_t* resourceNameText = nullptr;
  uint16_t language = 0xFFFF;

  uint8_t fixedFileInfo[versioninfo::kFixedInfoBytes] = {};
  versioninfo::VersionBuffer inputBuffer;   // the old resource
  versioninfo::VersionBuffer outputBuffer;  // the new one
  JuArrayPVoid values;                      // owned UTF-16 texts, one per String entry
  char16_t* tableKey = nullptr;             // "040904B0"
  JuArrayPVoid keys;                        // owned UTF-16 texts, in the same order

 private:
  [[nodiscard]] bool readResource();
  [[nodiscard]] bool readStrings(const versioninfo::VersionInfoReader& reader, const versioninfo::Branding& branding);
  [[nodiscard]] bool writeResource();
  // Keeps `reason` as the failure; returns false (or 0) for the caller.
  bool fail(const char* reason) {
    failure = reason;
    return false;
  }
  void clearStrings();
};

#endif  // BRAND_VERSION_UPDATE_VERSION_INFO_H
