// What the message box and the folder browser share: the module their
// templates are registered under, and their registration.
#ifndef PLATFORM_SRC_DIALOGS_BOXES_INTERNAL_H
#define PLATFORM_SRC_DIALOGS_BOXES_INTERNAL_H

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/dialogs/model.h"
#include "platform/process.h"

namespace platform::dialogs::internal {

// The platform's own module: its templates meet no program's.
ModuleHandle boxesModule();

// Registers `count` templates of the platform's module under the ids
// `first`, `first` + 1 ..., unless `*registered` says that was done; a
// registration that failed (out of memory) is tried again by the next call.
bool registerOnce(std::atomic<bool>* registered, uint16_t first, const DialogTemplate* templates, size_t count);

}  // namespace platform::dialogs::internal

#endif  // PLATFORM_SRC_DIALOGS_BOXES_INTERNAL_H
