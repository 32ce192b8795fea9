// JuError: one diagnostic with a parameterised message.

#include <cstring>

#include "julib/errors.h"
#include "julib/threads.h"
#include "cstring_internal.h"

namespace {

const char16_t kOutOfMemoryText[] = u"Out Of Memory";
const char16_t kUnknownText[] = u"<unknown>";

// The null error of the current list (or the process's when there is none).
JuError* currentNullError() {
  JuErrorList* list = JuErrorList::current();
  return list != nullptr ? list->nullError() : juNullError();
}

// Removes and deletes the errors the current list gained beyond `count`.
void discardSince(JuErrorList* list, uint64_t count) {
  while (list->count > count) list->discardLast();
}

}  // namespace

JuError::JuError(uint16_t id, const char16_t* text, int isWarning, uint16_t sqlStateCode, uint64_t nativeCode)
    : nativeCode(nativeCode), messageId(id), sqlStateCode(sqlStateCode), flags(isWarning == 1 ? kWarning : 0) {
  if (text != nullptr) (void)messageText.assign(text);  // a failure is on the thread's list
}

JuError::JuError(uint16_t id, const char* text, JuCodePageKind kind, int isWarning, uint16_t sqlStateCode,
                 uint64_t nativeCode)
    : nativeCode(nativeCode),
      messageId(id),
      sqlStateCode(sqlStateCode),
      kind(kind),
      flags(isWarning == 1 ? kWarning : 0) {
  if (text != nullptr) (void)messageText.assignFromMultiByte(text, kind);
}

JuError::JuError(StaticKind staticKind) {
  if (staticKind == StaticKind::kOutOfMemory) {
    messageId = kJuMsgOutOfMemory;
    flags = kKeep | kOutOfMemory;
  } else {
    flags = kKeep | kInert;
  }
}

JuError::~JuError() = default;

// The static errors are shared by every thread: nothing may change them, so
// parameters, appended text, SQLSTATEs and severity changes pass them by.
bool JuError::isStatic() const { return (flags & (kInert | kOutOfMemory)) != 0; }

JuError* JuError::addParam(const char16_t* text) {
  if (isStatic()) return this;
  return messageText.addParam(text) == 0 ? this : currentNullError();
}

JuError* JuError::addParam(const JuSubStringW& view) {
  if (isStatic()) return this;
  return messageText.addParam(view) == 0 ? this : currentNullError();
}

JuError* JuError::addParam(int64_t value) {
  if (isStatic()) return this;
  return messageText.addParam(value) == 0 ? this : currentNullError();
}

JuError* JuError::addParam(uint64_t value) {
  if (isStatic()) return this;
  return messageText.addParam(value) == 0 ? this : currentNullError();
}

JuError* JuError::addParam(const char* text) {
  if (text == nullptr) return addParam(static_cast<const char16_t*>(nullptr));
  return addNarrowParam(text, julib::internal::terminatedBytes(text, kind), kind);
}

JuError* JuError::addParam(const JuSubString& view) { return addNarrowParam(view.data, view.length, view.kind); }

JuError* JuError::addNarrowParam(const char* text, size_t n, JuCodePageKind textKind) {
  if (isStatic()) return this;
  JuErrorList* list = JuErrorList::current();
  const uint64_t before = list != nullptr ? list->count : 0;
  JuStringW converted;
  int failed = converted.assignFromMultiByte(text, n, textKind);
  if (failed && textKind == JuCodePageKind::kUtf8 && list != nullptr && list->count > before &&
      !list->pendingOutOfMemory) {
    // Not UTF-8 after all: the conversion's own error goes, and the bytes are
    // read as ANSI text instead.
    discardSince(list, before);
    converted.release();
    failed = converted.assignFromMultiByte(text, n, JuCodePageKind::kAnsi);
    if (failed) discardSince(list, before);
  }
  const int filled = failed ? messageText.addParam(kUnknownText)
                            : messageText.addParam(JuSubStringW(converted.data, converted.length));
  return filled == 0 ? this : currentNullError();
}

void JuError::appendText(const char* text) {
  if (isStatic() || text == nullptr) return;
  (void)messageText.appendNarrow(text, std::strlen(text));  // a failure is on the thread's list
}

void JuError::appendText(const char16_t* text) {
  if (isStatic() || text == nullptr) return;
  (void)messageText.append(text);
}

const char* JuError::message() {
  if (flags & kOutOfMemory) return "Out Of Memory";
  return messageText.narrow(kind);
}

const char16_t* JuError::messageW() {
  if (flags & kOutOfMemory) return kOutOfMemoryText;
  if (messageText.data == nullptr) return nullptr;
  // Appends leave the text unterminated; the capacity always has room.
  if (messageText.capacity > messageText.length) messageText.data[messageText.length] = 0;
  return messageText.data;
}

const char* JuError::sqlState() {
  if (flags & kOutOfMemory) return "HY001";
  if (isStatic()) return "";
  size_t i = 0;
  for (; i < 5 && sqlStateText[i] != 0; ++i) sqlStateNarrow[i] = static_cast<char>(sqlStateText[i] & 0xFF);
  sqlStateNarrow[i] = '\0';
  return sqlStateNarrow;
}

JuError* JuError::setSqlState(const char* state, uint16_t code) {
  if (isStatic()) return this;
  size_t i = 0;
  for (; i < 5 && state != nullptr && state[i] != '\0'; ++i) sqlStateText[i] = static_cast<unsigned char>(state[i]);
  sqlStateText[i] = 0;
  sqlStateCode = code;
  return this;
}

void JuError::makeWarning() {
  if (isStatic() || (flags & kWarning)) return;
  flags |= kWarning;
  if (owningList != nullptr) {
    --owningList->errors;
    ++owningList->warnings;
  }
}

void JuError::makeError() {
  if (isStatic() || !(flags & kWarning)) return;
  flags &= ~kWarning;
  if (owningList != nullptr) {
    --owningList->warnings;
    ++owningList->errors;
  }
}

// --- Order -----------------------------------------------------------------

namespace {

// The SQLSTATE an error is ordered by: its own text, else the catalogue text
// of its SQLSTATE code, else HY001 / HY000.
void effectiveSqlState(const JuError& error, char16_t* out) {
  if (error.sqlStateText[0] != 0) {
    std::memcpy(out, error.sqlStateText, sizeof error.sqlStateText);
    return;
  }
  if (error.sqlStateCode != 0) {
    char16_t text[kJuMessageUnits] = {};
    juLoadMessage(text, error.sqlStateCode);
    size_t i = 0;
    for (; i < 5 && text[i] != 0; ++i) out[i] = text[i];
    out[i] = 0;
    return;
  }
  const char16_t* fallback = (error.flags & JuError::kOutOfMemory) ? u"HY001" : u"HY000";
  std::memcpy(out, fallback, 6 * sizeof(char16_t));
}

bool equals(const char16_t* a, const char16_t* b) {
  for (size_t i = 0;; ++i) {
    if (a[i] != b[i]) return false;
    if (a[i] == 0) return true;
  }
}

// 1 for the classes "03" to "HZ", 0 for the informational and foreign ones.
int classRank(const char16_t* state) {
  const char16_t c0 = state[0];
  const char16_t c1 = c0 == 0 ? 0 : state[1];
  if (c0 == u'0') return c1 >= u'3' ? 1 : 0;
  if (c0 >= u'1' && c0 <= u'G') return 1;
  if (c0 == u'H') return c1 <= u'Z' ? 1 : 0;
  return 0;
}

bool isClass(const char16_t* state, char16_t c0, char16_t c1) { return state[0] == c0 && state[0] != 0 && state[1] == c1; }

int16_t order(int64_t a, int64_t b) { return a < b ? -1 : (a > b ? 1 : 0); }

}  // namespace

int16_t JuError::compare(const JuObject& other) const {
  const auto& that = static_cast<const JuError&>(other);
  char16_t mine[6] = {};
  char16_t theirs[6] = {};
  effectiveSqlState(*this, mine);
  effectiveSqlState(that, theirs);
  if (!equals(mine, theirs)) {
    // Communication-link and cursor-operation conflicts come before all else.
    for (const char16_t* first : {u"08S01", u"01S01"}) {
      if (equals(mine, first)) return -1;
      if (equals(theirs, first)) return 1;
    }
    const bool sameClass = mine[0] == theirs[0] && (mine[0] == 0 || mine[1] == theirs[1]);
    if (!sameClass) {
      const int rankMine = classRank(mine);
      const int rankTheirs = classRank(theirs);
      if (rankMine != rankTheirs) return rankMine > rankTheirs ? -1 : 1;
      if (isClass(mine, u'I', u'M')) return -1;
      if (isClass(theirs, u'I', u'M')) return 1;
    }
  }
  if (int16_t c = order(row, that.row)) return c;
  if (int16_t c = order(column, that.column)) return c;
  return order(thirdKey, that.thirdKey);
}
