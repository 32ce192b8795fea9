// What the message box and the folder browser share: the module their
// templates are registered under.
#ifndef PLATFORM_SRC_DIALOGS_BOXES_INTERNAL_H
#define PLATFORM_SRC_DIALOGS_BOXES_INTERNAL_H

#include "platform/process.h"

namespace platform::dialogs::internal {

// The platform's own module: its templates meet no program's.
ModuleHandle boxesModule();

}  // namespace platform::dialogs::internal

#endif  // PLATFORM_SRC_DIALOGS_BOXES_INTERNAL_H
