// Pieces shared by the converter manager, the converter pool, the lead-byte
// tables and the wide strings' code-page assignment: opening a converter by
// id or name with the failure posted, the callback installation, growth of
// the parallel cache arrays, and the to-Unicode probe behind the lead-byte
// tables.
#ifndef JULIB_SRC_CONVERTER_INTERNAL_H
#define JULIB_SRC_CONVERTER_INTERNAL_H

#include <unicode/ucnv.h>

#include <cstddef>
#include <cstdint>

#include "julib/converters.h"
#include "julib/object.h"

namespace julib::internal {

// Opens the id's converter by its ICU name; id 0 opens ICU's default
// converter. Null, with the reason posted, when the id has no name (2739 and
// the id), its data is missing (the same) or ICU fails otherwise
// (juReportIcuError). ICU's warnings are success.
UConverter* openConverterById(int64_t id);
// The same by a NUL-terminated name; 2739 is followed by the name. A null or
// empty name is unknown (ICU would open its default converter).
UConverter* openConverterByName(const char* name);

// Posts 2739 "Unknown codepage. " with the id in decimal / the name appended.
void postUnknownCodePage(int64_t id);
void postUnknownCodePage(const char* name);

// Installs juFromUnicodeCountingCallback with `context`, storing the previous
// callback and context in it. ICU's status.
UErrorCode installCountingCallback(UConverter* converter, JuCountingCallbackContext* context);
// The manager's report of a failed installation: message 4 (which has no
// text) followed by " Unable to set callback".
void postCallbackFailure();

// Bytes of an incomplete character that the converter holds after reading
// the n bytes with flush off (0 when the text ends on a character boundary).
// The to-Unicode state is reset before and after.
size_t pendingAfter(UConverter* converter, const char* bytes, size_t n);

// A new 256-byte lead-byte table read from the converter; null (out of
// memory recorded) on failure.
uint8_t* buildLeadByteTable(UConverter* converter);
// The cached table of the id, or null.
const uint8_t* findLeadByteTable(const JuLeadByteCache* cache, int64_t id);
// Appends (id, table); the cache then owns the table. 0, or 1 (out of
// memory recorded; the table is not taken).
int addLeadByteTable(JuLeadByteCache* cache, int64_t id, uint8_t* table);

// The capacity after `capacity` when a cache is full: `first` from 0, else
// double. 0 (out of memory recorded) when that does not fit in size_t.
inline size_t nextCapacity(size_t capacity, size_t first) {
  if (capacity == 0) return first;
  if (capacity > SIZE_MAX / 2) {
    juReportOutOfMemory();
    return 0;
  }
  return capacity * 2;
}

// Reallocates an array of T to `capacity` elements; on failure (out of
// memory recorded) the array stays as it was.
template <typename T>
bool growArray(T*& items, size_t capacity) {
  if (capacity > SIZE_MAX / sizeof(T)) {
    juReportOutOfMemory();
    return false;
  }
  void* block = juRealloc(items, capacity * sizeof(T));
  if (block == nullptr) return false;
  items = static_cast<T*>(block);
  return true;
}

}  // namespace julib::internal

#endif  // JULIB_SRC_CONVERTER_INTERNAL_H
