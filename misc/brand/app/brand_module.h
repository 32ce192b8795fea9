// The branding tool's module: the message catalogue of vrbrd28, its own
// string table (ids 100-419) before the library's catalogue.
#ifndef BRAND_APP_BRAND_MODULE_H
#define BRAND_APP_BRAND_MODULE_H

#include "brand_messages.h"  // the tool's message ids, kBrandMsg<Name>, generated
#include "platform/process.h"

// The start-up keeps it as juResourceModule, so messages by id, the
// library's and the tool's, load from it.
extern const platform::Module vrBrandModule;

#endif  // BRAND_APP_BRAND_MODULE_H
