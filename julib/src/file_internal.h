// Helpers shared by the file layer and the path functions: units of narrow
// and UTF-16 paths, names in the system's form, and the path rules the
// operations build on.
#ifndef JULIB_SRC_FILE_INTERNAL_H
#define JULIB_SRC_FILE_INTERNAL_H

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>

#include "julib/cstring.h"
#include "julib/files.h"
#include "platform/files.h"

namespace julib::files {

// A UTF-16 path of kJuPathChars units needs at most three UTF-8 bytes a unit.
inline constexpr size_t kUtf8PathBytes = kJuPathChars * 3;

// The separator the layer writes when it joins paths: the system's own.
inline constexpr char kJoiner = '/';

inline bool isSeparator(uint32_t c) { return c == '/' || c == '\\'; }

// Handles are descriptor + 1; 0 and values beyond any descriptor become one
// the system rejects as invalid.
inline platform::FileDescriptor descriptorOf(JuFileHandle handle) {
  if (handle == kJuNoFile || handle - 1 > static_cast<JuFileHandle>(INT_MAX)) return platform::kNoDescriptor;
  return static_cast<platform::FileDescriptor>(handle - 1);
}

template <typename Unit>
size_t length(const Unit* text) {
  return std::char_traits<Unit>::length(text);
}

// Units of the character at p: narrow text steps by the ANSI code page (a
// trail byte may look like '\'); UTF-16 steps by unit, since surrogates never
// equal a separator, '.' or ':'.
inline size_t charLength(const char* p) { return juCharLen(p, JuCodePageKind::kAnsi); }
inline size_t charLength(const char16_t*) { return 1; }

// The largest count <= limit that does not end inside a character of the n
// units of text.
size_t wholeCharsWithin(const char* text, size_t n, size_t limit);
size_t wholeCharsWithin(const char16_t* text, size_t n, size_t limit);

// How a conversion of text to bytes ended.
enum class Conversion { kDone, kNoRoom, kInvalid };

// `units` units of UTF-16 as UTF-8 into `destination` of `size` bytes, no
// terminator added unless the text holds one. Exact: an unpaired surrogate
// has no UTF-8 form and fails the conversion (kInvalid) rather than become
// another character. *bytes gets the bytes written, or on kNoRoom the bytes
// needed (nothing of use is written then; SIZE_MAX for more than INT32_MAX
// units).
//   toUtf8(u"caf\u00e9", 4, buf, 8, &n) -> kDone, n = 5
Conversion toUtf8(const char16_t* text, size_t units, char* destination, size_t size, size_t* bytes);

// A name in the system's form (UTF-8): narrow names are used as they are,
// UTF-16 names are converted (into the object, or a heap block for a long
// one). get() is null when a UTF-16 name holds an unpaired surrogate or its
// block could not be allocated (out of memory recorded).
class SystemName {
 public:
  explicit SystemName(const char* name) : name_(name) {}
  explicit SystemName(const char16_t* name);
  ~SystemName();
  SystemName(const SystemName&) = delete;
  SystemName& operator=(const SystemName&) = delete;

  const char* get() const { return name_; }

 private:
  const char* name_ = nullptr;
  char* heap_ = nullptr;
  char inline_[kUtf8PathBytes + 1];
};

// Text from the system (n bytes of UTF-8) into `destination` of `size` units
// with a terminator: copied as it is, or converted to UTF-16. False, with an
// empty destination when size > 0, when it does not fit or (UTF-16) is not
// valid UTF-8.
bool fromSystem(const char* text, size_t n, char* destination, size_t size);
bool fromSystem(const char* text, size_t n, char16_t* destination, size_t size);

// Copies as much of `text` as fits `size` units, with a terminator; nothing
// when size is 0. Narrow text is the system's (UTF-8) and is cut between
// characters of it; UTF-16 text never keeps half a surrogate pair.
void copyCut(char* destination, size_t size, const char* text);
void copyCut(char16_t* destination, size_t size, const char16_t* text);

// juAdaptPathToVolume for the operations: 0, or 1 with 1524 posted.
int adaptPath(const char* source, char* destination, size_t size);
int adaptPath(const char16_t* source, char16_t* destination, size_t size);

// juMakeFullPath with an outcome, for callers that must not use a cut path.
enum class FullPath { kComplete, kCut, kUnchanged };
FullPath makeFullPath(char* path, size_t size);
FullPath makeFullPath(char16_t* path, size_t size);

}  // namespace julib::files

#endif  // JULIB_SRC_FILE_INTERNAL_H
