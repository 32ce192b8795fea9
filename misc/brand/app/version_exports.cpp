// The program's version information, exported by name for the tools that
// read it from the installed program.

#include "app/startup.h"

namespace {

constexpr char kCompanyName[] = "Tarnwell Software Corporation";
#define VRBRD28_FILE_VERSION "08.02.0293 (B9999, U9999)"
constexpr char kFileVersion[] = VRBRD28_FILE_VERSION;
constexpr char16_t kFileVersionW[] = u"" VRBRD28_FILE_VERSION;
#undef VRBRD28_FILE_VERSION

}  // namespace

extern "C" {

const char* getCompanyNameString() { return kCompanyName; }
const char* getFileVersionString() { return kFileVersion; }
const char16_t* getFileVersionStringW() { return kFileVersionW; }

}  // extern "C"
