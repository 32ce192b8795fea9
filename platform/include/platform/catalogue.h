// Message tables compiled into the binaries, loaded by id as LoadString does.
#ifndef PLATFORM_CATALOGUE_H
#define PLATFORM_CATALOGUE_H

#include <cstddef>
#include <cstdint>

#include "platform/process.h"

namespace platform {

struct MessageRow {
  uint16_t id;
  const char16_t* text;
};

// Rows sorted by ascending id (the generator guarantees it).
struct MessageTable {
  const MessageRow* rows;
  size_t count;
};

// Looks `id` up in the tables of `module`, first table first.
// Returns the text, or null when no table of the module has the id or the
// module is null.
const char16_t* findMessage(ModuleHandle module, uint16_t id) noexcept;

// LoadStringW: copies at most units - 1 units of the text and a zero unit.
// Returns the units copied; 0 (and buffer[0] = 0 when units > 0) when the id
// has no text.
size_t loadString(ModuleHandle module, uint16_t id, char16_t* buffer, size_t units) noexcept;

// LoadStringA: the text in the process ANSI code page, at most bytes - 1
// bytes and a NUL, never ending inside a double-byte character. Returns the
// bytes copied; 0 (and buffer[0] = 0 when bytes > 0) when the id has no text.
size_t loadStringNarrow(ModuleHandle module, uint16_t id, char* buffer, size_t bytes) noexcept;

}  // namespace platform

#endif  // PLATFORM_CATALOGUE_H
