// Writing a file through a shared mapping, with guarded stores. The system's
// side is unix/file_mapping.inc.

#include "platform/file_mapping.h"

#include "platform/memory.h"

#include "unix/file_mapping.inc"
