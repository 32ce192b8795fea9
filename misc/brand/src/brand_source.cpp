// Finding a listed driver file without regard to case.

#include "brand_source.h"

#include <cstring>
#include <initializer_list>

#include "brand.h"
#include "brand_messages.h"
#include "brand_text.h"
#include "julib/cstring.h"
#include "julib/errors.h"
#include "julib/object.h"
#include "platform/files.h"

namespace brandsource {

namespace {

constexpr char kToolsDirectory[] = "..\\tools\\";

struct Search {
  const char16_t* wanted;
  char* found = nullptr;
  int matches = 0;
  bool failed = false;
};

bool visit(const char* entry, bool isDirectory, void* context) {
  auto& search = *static_cast<Search*>(context);
  if (isDirectory) return true;
  char16_t* name = brandtext::widenUtf8(entry);
  if (name == nullptr) {
    search.failed = true;
    return false;
  }
  const bool equal = juWStrIEqual(name, search.wanted) != 0;
  juFree(name);
  if (!equal) return true;
  if (++search.matches > 1) return false;  // a second match settles it
  search.found = juStrNDup(entry, std::strlen(entry));
  search.failed = search.found == nullptr;
  return !search.failed;
}

}  // namespace

Source::~Source() {
  for (char* text : {directory, name, path}) juFree(text);
}

Lookup find(const char* directory, const char* wanted, Source* source) {
  source->directory = juStrNDup(directory, std::strlen(directory));
  char16_t* name = brandtext::widenUtf8(wanted);
  if (source->directory == nullptr || name == nullptr) {
    juFree(name);
    return Lookup::kNoMemory;
  }
  Search search{name};
  const platform::ErrorNumber walked = platform::listDirectory(directory, visit, &search);
  juFree(name);
  if (search.failed) {
    juFree(search.found);
    return Lookup::kNoMemory;
  }
  if (walked != platform::kErrorNone || search.matches == 0) return Lookup::kMissing;
  if (search.matches > 1) {
    juFree(search.found);
    return Lookup::kAmbiguous;
  }
  source->name = search.found;
  source->path = brandtext::join(directory, source->name);
  return source->path != nullptr ? Lookup::kFound : Lookup::kNoMemory;
}

Lookup locate(const brand& owner, const char* listed, Source* source) {
  const bool fromTools = owner.replaceInstall != 0 && std::strstr(listed, ".exe") != nullptr;
  char* directory = brandtext::join(owner.targetDirectory, fromTools ? kToolsDirectory : "");
  if (directory == nullptr) return Lookup::kNoMemory;
  const Lookup found = find(directory, listed, source);
  juFree(directory);
  return found;
}

void resolve(const brand& owner, const char* listed, const char* newName, Names* names) {
  names->found = locate(owner, listed, &names->source);
  if (names->found == Lookup::kFound && newName != nullptr) {
    names->target = find(names->source.directory, newName, &names->existing);
  }
}

void postAmbiguous(const char* directory, const char* name) {
  JuError* error = juPostError(kBrandMsgSourceNameAmbiguous);
  (void)error->addParam(name);
  (void)error->addParam(directory);
}

}  // namespace brandsource
