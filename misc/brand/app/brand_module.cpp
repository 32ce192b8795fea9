// The branding tool's module.

#include "app/brand_module.h"

#include "julib/threads.h"
#include "platform/catalogue.h"

// The main program's module: codeAddress null names the program's own file.
const platform::Module vrBrandModule = {"vrbrd28", nullptr, {&vrBrandMessages, &juLibraryMessages, nullptr, nullptr}};
