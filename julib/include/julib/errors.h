// Errors (JuError) and the per-thread stacks of error lists (JuErrorList).
//
// Library operations return a status and post the reason on the calling
// thread's current list:
//   juPostError(kJuMsgNumberTooLarge)->addParam(text);   // "Number too large: " + text
// Posting never fails visibly: where no error could be stored the caller gets
// the null error, which ignores everything chained on it.
#ifndef JULIB_ERRORS_H
#define JULIB_ERRORS_H

#include <cstddef>
#include <cstdint>

#include "julib/containers.h"
#include "julib/cstring.h"
#include "julib/messages.h"  // the catalogue's message ids, kJuMsg<Name>, generated
#include "julib/object.h"
#include "julib/strings.h"
#include "platform/process.h"

class JuErrorList;
class JuThreadInfo;

// SQLSTATE codes: the small number an error carries beside its SQLSTATE text.
inline constexpr uint16_t kJuSqlStateGeneral = 60;     // "HY000"
inline constexpr uint16_t kJuSqlStateWarning = 2;      // "01000"
inline constexpr uint16_t kJuSqlStateTruncation = 4;   // "01004"

// ---------------------------------------------------------------------------
// JuError: one diagnostic.
// ---------------------------------------------------------------------------

class JuError : public JuNode {
 public:
  static constexpr uint32_t kWarning = 1;
  static constexpr uint32_t kKeep = 2;         // removal never deletes it
  static constexpr uint32_t kOutOfMemory = 4;  // the static out-of-memory error
  static constexpr uint32_t kInert = 8;        // parameters are ignored

  // Which static error JuError(StaticKind) builds.
  enum class StaticKind { kOutOfMemory = 1, kNull = 2 };

  // Template = the UTF-16 text; kind 3.
  JuError(uint16_t id, const char16_t* text, int isWarning, uint16_t sqlStateCode, uint64_t nativeCode);
  // Template = the narrow text converted with an open ICU converter; kind 3.
  JuError(uint16_t id, const char* text, UConverter* converter, int isWarning, uint16_t sqlStateCode,
          uint64_t nativeCode);
  // Template = the narrow text converted from a code page id (2739 posted
  // and an empty message when the id has no converter); kind 3.
  JuError(uint16_t id, const char* text, int64_t codePage, int isWarning, uint16_t sqlStateCode,
          uint64_t nativeCode);
  // Template = the narrow text converted by `kind`; the error keeps the kind.
  JuError(uint16_t id, const char* text, JuCodePageKind kind, int isWarning, uint16_t sqlStateCode,
          uint64_t nativeCode);
  explicit JuError(StaticKind kind);
  ~JuError() override;

  // The order of two errors by SQLSTATE class, then row, column, third key.
  int16_t compare(const JuObject& other) const override;

  // Fill the next "%s" / "%d" placeholder. Each returns this error, or the
  // current list's null error when the parameter could not be stored; an
  // inert error is returned untouched. Narrow text is converted by the
  // error's kind (a view by its own); text that does not convert shows as
  // "<unknown>", and malformed UTF-8 is tried as ANSI first.
  JuError* addParam(const char* text);
  JuError* addParam(const JuSubString& view);
  JuError* addParam(const JuSubStringW& view);
  JuError* addParam(const char16_t* text);
  JuError* addParam(int64_t value);
  JuError* addParam(uint64_t value);
  JuError* addParam(int32_t value) { return addParam(static_cast<int64_t>(value)); }
  JuError* addParam(uint32_t value) { return addParam(static_cast<uint64_t>(value)); }

  // Appends to the message (narrow bytes widened one unit each).
  void appendText(const char* text);
  void appendText(const char16_t* text);

  // The message as narrow text in the error's kind / as terminated UTF-16
  // (null when it has no buffer). "Out Of Memory" for the out-of-memory error.
  const char* message();
  const char16_t* messageW();
  // The SQLSTATE text narrowed into its own field (at most 5 characters).
  const char* sqlState();
  // Writes the five-character SQLSTATE and its code; ignored by an inert
  // error, so a chain on the null error changes nothing.
  JuError* setSqlState(const char* state, uint16_t code);

  // Move one count between the errors and warnings of the owning list.
  void makeWarning();
  void makeError();

  bool isWarning() const { return (flags & kWarning) != 0; }
  // The shared static errors (null and out of memory) never change.
  bool isStatic() const;

  JuErrorList* owningList = nullptr;
  uint64_t nativeCode = 0;
  uint16_t messageId = 0;
  uint16_t sqlStateCode = 0;
  JuParamStringW messageText;
  JuCodePageKind kind = JuCodePageKind::kUtf8;
  char sqlStateNarrow[6] = {};
  char16_t sqlStateText[6] = {};
  int64_t row = -1;
  int64_t column = -1;
  int64_t thirdKey = INT64_MIN;
  uint32_t flags = 0;

 private:
  // Fills the next "%s" with narrow text of `textKind` (algorithm of the
  // narrow parameters).
  JuError* addNarrowParam(const char* text, size_t n, JuCodePageKind textKind);
};

// ---------------------------------------------------------------------------
// JuErrorList: a thread's diagnostics in posting order.
// ---------------------------------------------------------------------------

// Holds and owns JuError pointers (sorted insertion off). Made without
// keep-all it keeps only the first error (and the warnings before it). An
// out-of-memory report sets a pending mark that stands for the static
// out-of-memory error at the end of the list without taking a slot.
class JuErrorList : public JuSortedArray {
 public:
  JuErrorList(uintptr_t owner, int keepAll);
  ~JuErrorList() override;

  // Slots 2 to 7. The newError slots make an error without posting it; null
  // (out of memory recorded) when it cannot be allocated.
  virtual JuError* outOfMemoryError();
  virtual JuError* nullError();
  virtual JuError* newError(uint16_t id, const char16_t* text, int isWarning, uint16_t sqlStateCode,
                            uint64_t nativeCode);
  virtual JuError* newError(uint16_t id, const char* text, UConverter* converter, int isWarning,
                            uint16_t sqlStateCode, uint64_t nativeCode);
  virtual JuError* newError(uint16_t id, const char* text, int64_t codePage, int isWarning,
                            uint16_t sqlStateCode, uint64_t nativeCode);
  virtual JuError* newError(uint16_t id, const char* text, JuCodePageKind kind, int isWarning,
                            uint16_t sqlStateCode, uint64_t nativeCode);

  // --- On the calling thread's current list ---------------------------------
  // Stores `error` (see the header comment); returns it, or the null error.
  static JuError* post(JuError* error);
  static void postOutOfMemory();
  static JuError* lastError();
  static uint16_t lastErrorId();
  static uint64_t lastNativeError();
  static void popLast();
  static uintptr_t currentOwner();
  static void setLastSeverity(int warning);
  static void appendToLast(const char* text);
  static void appendToLast(const char16_t* text);
  // The current list, or null.
  static JuErrorList* current();

  // --- The current-list stack ----------------------------------------------
  static void pushCurrent(JuErrorList* list);
  static JuErrorList* popCurrent();
  static void pushOnto(JuErrorList* list, JuThreadInfo* record);
  static JuErrorList* popFrom(JuThreadInfo* record);

  // --- Reading --------------------------------------------------------------
  JuError* last();
  JuError* first();
  JuError* next();
  JuError* at(uint64_t index);
  // 0 nothing stored; 1 errors and warnings; 2 errors only; 3 warnings only.
  int status() const;
  int hasErrors() const { return errors != 0; }
  int hasOnlyWarnings() const { return warnings != 0 && errors == 0; }

  // --- Removing, moving and changing ---------------------------------------
  // Each answers a pending mark first (the static error, mark cleared).
  JuError* removeAt(uint64_t index);
  JuError* removeFirst();
  JuError* removeLast();
  // removeLast, then deletes the result unless it has the keep flag.
  void discardLast();
  void moveFrom(JuErrorList& source);
  void copyFrom(const JuErrorList& source);
  void moveLastTo(uint64_t index);
  void makeAllWarnings();
  void makeWarningsFrom(uint64_t index);
  void appendToAllFrom(const char* text, uint64_t index);
  // Narrow messages joined by `separator`; 0, or 1 when growing fails.
  [[nodiscard]] int joinMessages(JuString& out, char separator);

  uint64_t errors = 0;
  uint64_t warnings = 0;
  uintptr_t owner;
  JuErrorList* previous = nullptr;
  void** holder = nullptr;
  uint64_t cursor = 0;
  uint8_t keepAll;
  uint8_t pendingOutOfMemory = 0;

 private:
  JuError* errorAt(uint64_t index) const { return static_cast<JuError*>(pointerAt(index)); }
  // Appends an error, counted by its warning flag. 0, or 1 (out of memory).
  int store(JuError* error);
  // Unstores the error at index; answers the pending mark first.
  JuError* take(uint64_t index);
};

// The start-up of a program that uses the library (a deliverable, a test, a
// benchmark): the calling thread's record first on a new record list,
// `module` as the message catalogue, and `list` (a keep-all list, or null)
// made the thread's current list.
void juStartProgram(platform::ModuleHandle module, JuErrorList* list);

// The static errors; they exist from static initialisation to exit.
JuError* juOutOfMemoryError();
JuError* juNullError();

// ---------------------------------------------------------------------------
// Posting by message id (on the current list; the null error without one).
// ---------------------------------------------------------------------------

JuError* juPostError(uint16_t id);
JuError* juPostWarning(uint16_t id);
JuError* juPostErrorA(uint16_t id, const char* text);
JuError* juPostErrorW(uint16_t id, const char16_t* text);
JuError* juPostErrorExA(uint16_t id, uint64_t nativeCode, const char* text, int isWarning, JuCodePageKind kind);
JuError* juPostErrorExW(uint16_t id, uint64_t nativeCode, const char16_t* text, int isWarning);
// Appends the id's text to the error at `index` and restarts its parameter
// numbering at 1; the null error when there is none.
JuError* juAppendMessageToError(uint16_t id, uint64_t index);
void juAppendMessageToLastError(uint16_t id);

#endif  // JULIB_ERRORS_H
