// Message tables: LoadStringW and LoadStringA over compiled-in rows.

#include "platform/catalogue.h"

#include <algorithm>

#include "platform/ansi.h"

namespace platform {

const char16_t* findMessage(ModuleHandle module, uint16_t id) noexcept {
  if (module == nullptr) return nullptr;
  for (const MessageTable* table : module->tables) {
    if (table == nullptr) break;
    const MessageRow* end = table->rows + table->count;
    const MessageRow* row = std::lower_bound(table->rows, end, id,
                                             [](const MessageRow& r, uint16_t key) { return r.id < key; });
    if (row != end && row->id == id) return row->text;
  }
  return nullptr;
}

size_t loadString(ModuleHandle module, uint16_t id, char16_t* buffer, size_t units) noexcept {
  if (buffer == nullptr || units == 0) return 0;
  const char16_t* text = findMessage(module, id);
  size_t n = 0;
  if (text != nullptr) {
    while (text[n] != 0 && n + 1 < units) {
      buffer[n] = text[n];
      ++n;
    }
  }
  buffer[n] = 0;
  return n;
}

size_t loadStringNarrow(ModuleHandle module, uint16_t id, char* buffer, size_t bytes) noexcept {
  if (buffer == nullptr || bytes == 0) return 0;
  buffer[0] = '\0';
  const char16_t* text = findMessage(module, id);
  if (text == nullptr) return 0;
  // Catalogue texts are short; a double-byte code page needs at most two
  // bytes a unit.
  char converted[2048];
  int n = wideToMultiByte(kCodePageAnsi, text, -1, converted, sizeof converted);
  if (n <= 1) return 0;
  size_t length = static_cast<size_t>(n - 1);  // without the converted NUL
  size_t take = 0;
  while (take < length && take + 1 < bytes) {
    const size_t step = isLeadByte(static_cast<uint8_t>(converted[take])) ? 2 : 1;
    if (take + step > length || take + step + 1 > bytes) break;
    take += step;
  }
  std::copy(converted, converted + take, buffer);
  buffer[take] = '\0';
  return take;
}

}  // namespace platform
