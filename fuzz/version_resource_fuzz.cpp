// Arbitrary bytes to the version-resource rewriter: as a resource of their
// own, and laid over a valid resource (each byte XORed into it, the length
// cut by the first byte) so that damage reaches every level of the tree.
// Whatever it accepts, the resource it writes must read back.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "julib/errors.h"
#include "julib/threads.h"
#include "update_version_info.h"

namespace {

std::vector<uint8_t> validResource() {
  JuArrayPVoid keys;
  JuArrayPVoid values;
  const char16_t* strings[][2] = {{u"CompanyName", u"Tarnwell Software Corporation"},
                                  {u"FileDescription", u"Tarnwell Brisklane ODBC Driver"},
                                  {u"FileVersion", u"08.02.0293 (B9999, U9999)"},
                                  {u"Comments", u""}};
  for (const auto& string : strings) {
    if (keys.insertAt(string[0], keys.count) != 0 || values.insertAt(string[1], values.count) != 0) std::abort();
  }
  const uint8_t fixed[versioninfo::kFixedInfoBytes] = {0xBD, 0x04, 0xEF, 0xFE};
  versioninfo::VersionBuffer buffer;
  if (versioninfo::buildVersionResource({fixed, u"040904B0", &keys, &values}, &buffer) != versioninfo::WriteStatus::kOk) {
    std::abort();
  }
  return std::vector<uint8_t>(buffer.data(), buffer.data() + buffer.length());
}

void rewriteAndReadBack(const uint8_t* bytes, size_t size, const char16_t* version) {
  CUpdateVersionInfoResourceApp app;
  app.newVersion = version;
  if (!app.inputBuffer.append(bytes, size) || app.rewrite(u"Acme", u"ABCD") == 0) return;
  versioninfo::VersionInfoReader reader;
  if (reader.read(app.outputBuffer.data(), app.outputBuffer.length()) != versioninfo::ReadStatus::kOk) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  juStartProgram(&juLibraryModule, nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<uint8_t> valid = validResource();
  JuErrorList errors(0, 1);
  JuErrorList::pushCurrent(&errors);
  const char16_t* version = size % 3 == 0 ? nullptr : size % 3 == 1 ? u"09.01" : u"09.01.02.03";
  rewriteAndReadBack(data, size, version);
  std::vector<uint8_t> laid = valid;
  for (size_t i = 0; i < size; ++i) laid[i % laid.size()] ^= data[i];
  if (size > 0) laid.resize(laid.size() - data[0] % 64);
  rewriteAndReadBack(laid.data(), laid.size(), version);
  JuErrorList::popCurrent();
  return 0;
}
