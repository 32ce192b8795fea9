// JuErrorList: a thread's diagnostics in posting order, and the per-thread
// stack of current lists.

#include <algorithm>

#include "julib/errors.h"
#include "julib/threads.h"

JuErrorList::JuErrorList(uintptr_t owner, int keepAll) : owner(owner), keepAll(keepAll != 0 ? 1 : 0) {
  mode = kAppendModes;  // posting order, never sorted
  (void)allocate(16);   // a failure is on the thread's list; posting grows later
}

JuErrorList::~JuErrorList() {
  // A list that is destroyed while still current must not stay reachable
  // from its thread's record.
  if (holder != nullptr && *holder == this) *holder = previous;
  pendingOutOfMemory = 0;
  for (uint64_t i = 0; i < count; ++i) delete errorAt(i);
  count = 0;
  errors = 0;
  warnings = 0;
}

JuError* JuErrorList::outOfMemoryError() { return juOutOfMemoryError(); }

JuError* JuErrorList::nullError() { return juNullError(); }

JuError* JuErrorList::newError(uint16_t id, const char16_t* text, int isWarning, uint16_t sqlStateCode,
                               uint64_t nativeCode) {
  return new (std::nothrow) JuError(id, text, isWarning, sqlStateCode, nativeCode);
}

JuError* JuErrorList::newError(uint16_t id, const char* text, JuCodePageKind kind, int isWarning,
                               uint16_t sqlStateCode, uint64_t nativeCode) {
  return new (std::nothrow) JuError(id, text, kind, isWarning, sqlStateCode, nativeCode);
}

// --- The current list --------------------------------------------------------

void juStartProgram(platform::ModuleHandle module, JuErrorList* list) {
  juResourceModule.store(module, std::memory_order_release);
  juStartThreadInfoList();
  if (list != nullptr) JuErrorList::pushCurrent(list);
}

JuErrorList* JuErrorList::current() { return static_cast<JuErrorList*>(JuThreadInfo::getSlot(0)); }

void JuErrorList::pushCurrent(JuErrorList* list) {
  void** slot = JuThreadInfo::slotAddress(0);
  if (slot == nullptr) return;  // no thread record can be made
  list->previous = static_cast<JuErrorList*>(*slot);
  *slot = list;
  list->holder = slot;
}

JuErrorList* JuErrorList::popCurrent() {
  JuErrorList* list = current();
  if (list != nullptr) JuThreadInfo::setSlot(0, list->previous);
  return list;
}

void JuErrorList::pushOnto(JuErrorList* list, JuThreadInfo* record) {
  if (record == nullptr) return;
  list->previous = static_cast<JuErrorList*>(record->slots[0]);
  record->slots[0] = list;
  list->holder = &record->slots[0];
}

JuErrorList* JuErrorList::popFrom(JuThreadInfo* record) {
  if (record == nullptr) return nullptr;
  auto* list = static_cast<JuErrorList*>(record->slots[0]);
  if (list != nullptr) record->slots[0] = list->previous;
  return list;
}

uintptr_t JuErrorList::currentOwner() {
  JuErrorList* list = current();
  return list != nullptr ? list->owner : 0;
}

// --- Posting -----------------------------------------------------------------

int JuErrorList::store(JuError* error) {
  if (insert(error) != 0) return 1;
  error->owningList = this;
  if (error->isWarning()) {
    ++warnings;
  } else {
    ++errors;
  }
  return 0;
}

JuError* JuErrorList::post(JuError* error) {
  JuErrorList* list = current();
  if (list == nullptr) return error;
  if (list->keepAll == 0 && list->errors != 0) {
    if (error != nullptr && !(error->flags & JuError::kKeep)) delete error;
    return list->nullError();
  }
  if (error == nullptr) return list->nullError();
  if (list->store(error) != 0) {
    // The failed growth has set the out-of-memory mark, which now stands for
    // this error; an error stored nowhere would only leak.
    delete error;
    return list->nullError();
  }
  return error;
}

void JuErrorList::postOutOfMemory() {
  JuErrorList* list = current();
  if (list == nullptr) return;
  if (list->keepAll == 0 && list->errors != 0) list->discardLast();
  if (!list->pendingOutOfMemory) {
    ++list->errors;
    list->pendingOutOfMemory = 1;
  }
}

// --- Reading -------------------------------------------------------------------

JuError* JuErrorList::last() {
  if (pendingOutOfMemory) return outOfMemoryError();
  return count == 0 ? nullptr : errorAt(count - 1);
}

JuError* JuErrorList::lastError() {
  JuErrorList* list = current();
  return list != nullptr ? list->last() : nullptr;
}

uint16_t JuErrorList::lastErrorId() {
  JuError* error = lastError();
  return error != nullptr ? error->messageId : 0;
}

uint64_t JuErrorList::lastNativeError() {
  JuError* error = lastError();
  return error != nullptr ? error->nativeCode : 0;
}

JuError* JuErrorList::first() {
  if (count == 0) return nullptr;
  cursor = 1;
  return errorAt(0);
}

JuError* JuErrorList::next() {
  if (cursor >= count) return nullptr;
  return errorAt(cursor++);
}

JuError* JuErrorList::at(uint64_t index) {
  if (index >= count) return nullptr;
  cursor = index + 1;
  return errorAt(index);
}

int JuErrorList::status() const {
  if (count == 0) return 0;
  if (errors != 0 && warnings != 0) return 1;
  return errors != 0 ? 2 : 3;
}

// --- Removing, moving and changing ----------------------------------------

JuError* JuErrorList::take(uint64_t index) {
  if (pendingOutOfMemory) {
    pendingOutOfMemory = 0;
    --errors;
    cursor = 0;
    return outOfMemoryError();
  }
  if (index >= count) return nullptr;
  JuError* error = errorAt(index);
  JuArray::removeAt(index);
  error->owningList = nullptr;
  if (error->isWarning()) {
    --warnings;
  } else {
    --errors;
  }
  cursor = 0;
  return error;
}

JuError* JuErrorList::removeAt(uint64_t index) { return take(index); }

JuError* JuErrorList::removeFirst() { return take(0); }

JuError* JuErrorList::removeLast() { return take(count == 0 ? 0 : count - 1); }

void JuErrorList::discardLast() {
  JuError* error = removeLast();
  if (error != nullptr && !(error->flags & JuError::kKeep)) delete error;
}

void JuErrorList::popLast() {
  if (JuErrorList* list = current()) list->discardLast();
}

void JuErrorList::moveFrom(JuErrorList& source) {
  if (source.pendingOutOfMemory && !pendingOutOfMemory) {
    ++errors;
    pendingOutOfMemory = 1;
  }
  while (source.count != 0 || source.pendingOutOfMemory) {
    JuError* error = source.removeFirst();
    if (error == nullptr || error->isStatic()) continue;  // the mark is carried above
    if (store(error) != 0) delete error;                   // the mark now stands for it
  }
}

void JuErrorList::copyFrom(const JuErrorList& source) {
  if (source.pendingOutOfMemory && !pendingOutOfMemory) {
    ++errors;
    pendingOutOfMemory = 1;
  }
  for (uint64_t i = 0; i < source.count; ++i) {
    JuError* original = source.errorAt(i);
    JuError* copy = newError(original->messageId, original->messageW(), original->isWarning() ? 1 : 0,
                             original->sqlStateCode, original->nativeCode);
    if (copy == nullptr) continue;  // out of memory is recorded
    std::copy(original->sqlStateText, original->sqlStateText + 6, copy->sqlStateText);
    if (store(copy) != 0) delete copy;
  }
}

void JuErrorList::moveLastTo(uint64_t index) {
  if (index >= count) return;
  const uint64_t last = data[count - 1];
  JuArray::removeAt(count - 1);
  (void)JuArray::insertAt(last, index);  // the slot just freed: no growth
}

void JuErrorList::makeAllWarnings() {
  if (pendingOutOfMemory) {
    JuError* warning = newError(kJuMsgOutOfMemoryWarning, u"Out Of Memory", 1, 0, 0);
    pendingOutOfMemory = 0;
    --errors;
    if (warning != nullptr && store(warning) != 0) {
      // The failed append reported out of memory again and set the mark.
      delete warning;
      if (pendingOutOfMemory) {
        pendingOutOfMemory = 0;
        --errors;
      }
    }
  }
  makeWarningsFrom(0);
}

void JuErrorList::makeWarningsFrom(uint64_t index) {
  for (uint64_t i = index; i < count; ++i) errorAt(i)->makeWarning();
}

void JuErrorList::setLastSeverity(int warning) {
  JuError* error = lastError();
  if (error == nullptr) return;
  if (warning == 1) {
    error->makeWarning();
  } else {
    error->makeError();
  }
}

void JuErrorList::appendToAllFrom(const char* text, uint64_t index) {
  for (uint64_t i = index; i < count; ++i) errorAt(i)->appendText(text);
}

void JuErrorList::appendToLast(const char* text) {
  JuError* error = lastError();
  if (error == nullptr || error->isStatic()) return;
  error->appendText(text);
  error->messageText.paramCounter = 0;
}

void JuErrorList::appendToLast(const char16_t* text) {
  JuError* error = lastError();
  if (error == nullptr || error->isStatic()) return;
  error->appendText(text);
  error->messageText.paramCounter = 0;
}

int JuErrorList::joinMessages(JuString& out, char separator) {
  for (uint64_t i = 0; i < count; ++i) {
    const char* text = errorAt(i)->message();
    const size_t n = juStrLen(text);
    const size_t needed = out.length + n + 2;
    if ((out.data == nullptr || out.capacity < needed) && out.reserve(needed) != 0) return 1;
    if (i != 0) (void)out.appendChar(separator);  // room was made above
    (void)out.append(text, n);
  }
  return 0;
}
