// UTF-16 strings from bytes of a code page id or of an open ICU converter,
// and the error forms whose message templates are made that way.

#include <unicode/ucnv.h>

#include <new>

#include "converter_internal.h"
#include "julib/codepage.h"
#include "julib/converters.h"
#include "julib/errors.h"
#include "julib/strings.h"
#include "param_string_internal.h"
#include "string_buffers.h"

namespace ji = julib::internal;

// ---------------------------------------------------------------------------
// JuStringW
// ---------------------------------------------------------------------------

int JuStringW::assignFromCodePage(const char* bytes, size_t n, int64_t id) {
  UConverter* converter = ji::openConverterById(id);  // the failure is posted
  if (converter == nullptr) return 1;
  const int status = assignFromConverter(bytes, n, converter);
  ucnv_close(converter);
  return status;
}

// One unit per byte is enough for every converter but the rare many-to-many
// mapping; a conversion that does not fit is reported, not cut silently.
int JuStringW::assignFromConverter(const char* bytes, size_t n, UConverter* converter) {
  if (converter == nullptr) return juReportConversionResult(kJuConvFailed);
  if (bytes == nullptr) {
    bytes = "";
    n = 0;
  }
  if (n >= static_cast<size_t>(INT64_MAX)) {  // beyond what the worker counts
    juReportOutOfMemory();
    return 1;
  }
  const size_t units = n + 1;
  char16_t* block = ji::allocateUnits<char16_t>(units);
  if (block == nullptr) return 1;
  int64_t produced = 0;
  const int32_t code = juConvToUnicode(block, static_cast<int64_t>(units), bytes, static_cast<int64_t>(n), &produced,
                                       nullptr, converter, 0);
  freeBuffer();
  data = block;
  capacity = units;
  owns = 1;
  if (code != kJuConvOk) {
    // The new buffer stays, empty.
    length = 0;
    block[0] = 0;
    (void)juReportConversionResult(code);
    return 1;
  }
  length = static_cast<size_t>(produced);
  block[length] = 0;
  return 0;
}

// ---------------------------------------------------------------------------
// JuParamStringW
// ---------------------------------------------------------------------------

using julib::internal::setTemplate;

int JuParamStringW::assignFromCodePage(const char* text, int64_t id) {
  return setTemplate(*this, filled_,
                     [&] { return JuStringW::assignFromCodePage(text != nullptr ? text : "", juStrLen(text), id); });
}

int JuParamStringW::assignFromConverter(const char* text, UConverter* converter) {
  return setTemplate(*this, filled_, [&] {
    return JuStringW::assignFromConverter(text != nullptr ? text : "", juStrLen(text), converter);
  });
}

// ---------------------------------------------------------------------------
// JuError and the error-list slots that make errors from narrow text of a
// converter or a code page. A text that cannot be converted leaves the
// message empty; the reason is on the thread's list.
// ---------------------------------------------------------------------------

JuError::JuError(uint16_t id, const char* text, UConverter* converter, int isWarning, uint16_t sqlStateCode,
                 uint64_t nativeCode)
    : nativeCode(nativeCode), messageId(id), sqlStateCode(sqlStateCode), flags(isWarning == 1 ? kWarning : 0) {
  if (text != nullptr) (void)messageText.assignFromConverter(text, converter);
}

JuError::JuError(uint16_t id, const char* text, int64_t codePage, int isWarning, uint16_t sqlStateCode,
                 uint64_t nativeCode)
    : nativeCode(nativeCode), messageId(id), sqlStateCode(sqlStateCode), flags(isWarning == 1 ? kWarning : 0) {
  if (text != nullptr) (void)messageText.assignFromCodePage(text, codePage);
}

JuError* JuErrorList::newError(uint16_t id, const char* text, UConverter* converter, int isWarning,
                               uint16_t sqlStateCode, uint64_t nativeCode) {
  return new (std::nothrow) JuError(id, text, converter, isWarning, sqlStateCode, nativeCode);
}

JuError* JuErrorList::newError(uint16_t id, const char* text, int64_t codePage, int isWarning, uint16_t sqlStateCode,
                               uint64_t nativeCode) {
  return new (std::nothrow) JuError(id, text, codePage, isWarning, sqlStateCode, nativeCode);
}
