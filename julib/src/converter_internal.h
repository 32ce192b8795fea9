// Pieces shared by the converter manager, the converter pool, the lead-byte
// tables and the wide strings' code-page assignment: opening a converter by
// id or name with the failure posted, the callback installation, and the
// to-Unicode probe behind the lead-byte tables. The parallel cache arrays
// grow by array_growth.h.
#ifndef JULIB_SRC_CONVERTER_INTERNAL_H
#define JULIB_SRC_CONVERTER_INTERNAL_H

#include <unicode/ucnv.h>

#include <cstddef>
#include <cstdint>

#include "array_growth.h"
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

}  // namespace julib::internal

#endif  // JULIB_SRC_CONVERTER_INTERNAL_H
