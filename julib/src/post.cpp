// Posting errors by message id on the calling thread's current list.

#include "julib/errors.h"
#include "julib/threads.h"

namespace {

// Loads the id's text and creates the error through the current list's
// factory, then posts it. Without a current list nothing is created.
JuError* postLoaded(uint16_t id, int isWarning) {
  JuErrorList* list = JuErrorList::current();
  if (list == nullptr) return juNullError();
  char16_t text[kJuMessageUnits] = {};
  juLoadMessage(text, id);
  return JuErrorList::post(list->newError(id, text, isWarning, 0, 0));
}

}  // namespace

JuError* juPostError(uint16_t id) { return postLoaded(id, 0); }

JuError* juPostWarning(uint16_t id) { return postLoaded(id, 1); }

JuError* juPostErrorA(uint16_t id, const char* text) {
  return juPostErrorExA(id, 0, text, 0, JuCodePageKind::kAnsi);
}

JuError* juPostErrorW(uint16_t id, const char16_t* text) { return juPostErrorExW(id, 0, text, 0); }

JuError* juPostErrorExA(uint16_t id, uint64_t nativeCode, const char* text, int isWarning, JuCodePageKind kind) {
  JuErrorList* list = JuErrorList::current();
  if (list == nullptr) return juNullError();
  return JuErrorList::post(list->newError(id, text, kind, isWarning, 0, nativeCode));
}

JuError* juPostErrorExW(uint16_t id, uint64_t nativeCode, const char16_t* text, int isWarning) {
  JuErrorList* list = JuErrorList::current();
  if (list == nullptr) return juNullError();
  return JuErrorList::post(list->newError(id, text, isWarning, 0, nativeCode));
}

JuError* juAppendMessageToError(uint16_t id, uint64_t index) {
  JuErrorList* list = JuErrorList::current();
  if (list == nullptr) return juNullError();
  JuError* error = list->at(index);
  if (error == nullptr) return list->nullError();
  char16_t text[kJuMessageUnits] = {};
  juLoadMessage(text, id);
  error->appendText(text);
  error->messageText.paramCounter = 0;
  return error;
}

void juAppendMessageToLastError(uint16_t id) {
  char16_t text[kJuMessageUnits] = {};
  juLoadMessage(text, id);
  JuErrorList::appendToLast(text);
}
