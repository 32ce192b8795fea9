// Conversion outcomes as posted errors and warnings, the counting
// from-Unicode callback, and opening converters with the failure posted.

#include <unicode/ucnv.h>

#include "converter_internal.h"
#include "julib/codepage.h"
#include "julib/converters.h"
#include "julib/errors.h"
#include "julib/numbers.h"

namespace {

// How each outcome is posted.
struct Outcome {
  uint16_t id;
  bool warning;
  const char* sqlState;
  uint16_t sqlStateCode;
};

constexpr Outcome kOutcomes[] = {
    {kJuMsgConversionTruncated, true, "01004", kJuSqlStateTruncation},
    {kJuMsgConversionSubstituted, true, "01000", kJuSqlStateWarning},
    {kJuMsgConversionFailed, false, "HY000", kJuSqlStateGeneral},
    {kJuMsgConversionTables, false, "HY000", kJuSqlStateGeneral},
    {kJuMsgUnknownCodePage, false, "HY000", kJuSqlStateGeneral},
};

// Posts the message with its SQLSTATE; 0 for a warning, 1 for an error.
int post(uint16_t id, JuError** posted = nullptr) {
  const Outcome* outcome = &kOutcomes[2];  // 2737 unless listed
  for (const Outcome& row : kOutcomes) {
    if (row.id == id) outcome = &row;
  }
  JuError* error = outcome->warning ? juPostWarning(outcome->id) : juPostError(outcome->id);
  error->setSqlState(outcome->sqlState, outcome->sqlStateCode);
  if (posted != nullptr) *posted = error;
  return outcome->warning ? 0 : 1;
}

}  // namespace

int juReportIcuError(UErrorCode error) {
  if (U_SUCCESS(error)) return 0;  // warnings too: what they flag has succeeded
  switch (error) {
    case U_FILE_ACCESS_ERROR:
      return post(kJuMsgUnknownCodePage);
    case U_ILLEGAL_CHAR_FOUND:
      return post(kJuMsgConversionSubstituted);
    case U_INVALID_TABLE_FORMAT:
    case U_INVALID_TABLE_FILE:
      return post(kJuMsgConversionTables);
    case U_BUFFER_OVERFLOW_ERROR:
      return post(kJuMsgConversionTruncated);
    default:
      return post(kJuMsgConversionFailed);
  }
}

int juReportConversionResult(int32_t code) {
  switch (code) {
    case kJuConvOk:
      return 0;
    case kJuConvTruncated:
      return post(kJuMsgConversionTruncated);
    case kJuConvUnmappable:
      return post(kJuMsgConversionSubstituted);
    case kJuConvBadTables:
      return post(kJuMsgConversionTables);
    case kJuConvUnknownCodePage:
      return post(kJuMsgUnknownCodePage);
    default:
      return post(kJuMsgConversionFailed);
  }
}

void juFromUnicodeCountingCallback(const void* context, UConverterFromUnicodeArgs* args, const UChar* codeUnits,
                                   int32_t length, UChar32 codePoint, UConverterCallbackReason reason,
                                   UErrorCode* error) {
  // ICU hands the context back as const; it is the installer's own record.
  auto* counting = static_cast<JuCountingCallbackContext*>(const_cast<void*>(context));
  const bool substitution = reason != UCNV_RESET && reason != UCNV_CLOSE && reason != UCNV_CLONE;
  if (substitution) {
    if (counting->mode == 1) return;  // the error stays: the conversion stops here
    if (counting->mode != 0) counting->substituted = 1;
  }
  if (counting->previousCallback != nullptr) {
    counting->previousCallback(counting->previousContext, args, codeUnits, length, codePoint, reason, error);
  }
}

namespace julib::internal {

void postUnknownCodePage(int64_t id) {
  JuError* error = nullptr;
  post(kJuMsgUnknownCodePage, &error);
  char digits[kJuNumberBufferSize];
  juFormatInt64(digits, id);
  error->appendText(digits);
}

void postUnknownCodePage(const char* name) {
  JuError* error = nullptr;
  post(kJuMsgUnknownCodePage, &error);
  error->appendText(name != nullptr ? name : "");
}

namespace {

// ucnv_open with the failure posted; `reportUnknown` posts 2739 for missing
// converter data.
template <typename ReportUnknown>
UConverter* openPosted(const char* name, ReportUnknown reportUnknown) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(name, &status);
  if (U_SUCCESS(status) && converter != nullptr) return converter;  // U_AMBIGUOUS_ALIAS_WARNING too
  if (converter != nullptr) ucnv_close(converter);
  if (status == U_FILE_ACCESS_ERROR) {
    reportUnknown();
  } else if (U_FAILURE(status)) {
    (void)juReportIcuError(status);  // whatever it posts, nothing was opened
  } else {
    (void)juReportIcuError(U_INTERNAL_PROGRAM_ERROR);
  }
  return nullptr;
}

}  // namespace

UConverter* openConverterById(int64_t id) {
  // Id 0 asks for ICU's default converter on purpose; any other id without
  // a name must not open it by accident.
  const char* name = id == 0 ? nullptr : juCodePageIdToName(id);
  if (id != 0 && name == nullptr) {
    postUnknownCodePage(id);
    return nullptr;
  }
  return openPosted(name, [id] { postUnknownCodePage(id); });
}

UConverter* openConverterByName(const char* name) {
  if (name == nullptr || name[0] == '\0') {
    postUnknownCodePage(name);
    return nullptr;
  }
  return openPosted(name, [name] { postUnknownCodePage(name); });
}

UErrorCode installCountingCallback(UConverter* converter, JuCountingCallbackContext* context) {
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setFromUCallBack(converter, juFromUnicodeCountingCallback, context, &context->previousCallback,
                        &context->previousContext, &status);
  return status;
}

void postCallbackFailure() { juPostError(kJuMsgUntexted)->appendText(" Unable to set callback"); }

}  // namespace julib::internal
