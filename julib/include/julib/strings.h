// The string families: narrow (JuSubString, JuString, JuStringEx,
// JuReplaceString), UTF-16 (JuSubStringW, JuStringW, JuStringWEx,
// JuReplaceStringW) and the parameter strings (JuParamString,
// JuParamStringW) that error messages are made of.
//
// Lengths, capacities and positions are size_t counts of bytes (narrow) or
// UTF-16 units (wide); a capacity includes room for the terminator. A string
// frees or reallocates only a buffer it owns; one on a caller's buffer cannot
// grow (2716 "Cannot handle strings larger than 65500 bytes."). Growth is
// exact: reserve is asked for exactly the size needed. Operations that can
// fail return 0 or 1 with the reason on the thread's error list; searches
// return an offset, the length when nothing is found. A source text may lie
// in the string's own buffer: it is read as it was when the call began.
#ifndef JULIB_STRINGS_H
#define JULIB_STRINGS_H

#include <cstddef>
#include <cstdint>

#include "julib/cstring.h"
#include "julib/internal/filled_ranges.h"
#include "julib/object.h"

class JuArray;
class JuString;
class JuStringW;
struct UConverter;

// ===========================================================================
// Narrow strings.
// ===========================================================================

// A view; it never frees or writes its text.
class JuSubString : public JuObject {
 public:
  JuSubString() = default;
  explicit JuSubString(JuCodePageKind kind) : kind(kind) {}
  explicit JuSubString(const char* text);  // NUL-terminated
  JuSubString(const char* text, JuCodePageKind kind);
  JuSubString(const char* text, size_t length);
  JuSubString(const char* text, size_t length, JuCodePageKind kind);
  ~JuSubString() override;

  // juStrNICompare of the two texts: no case, a proper prefix is less.
  int16_t compare(const JuObject& other) const override;

  void attach(const char* text, size_t length);
  void attach(const char* text, size_t length, JuCodePageKind kind);

  // First offset >= from of a character that starts with byte c.
  size_t findChar(char c, size_t from) const;
  // First offset >= from where the pattern matches, at character starts.
  size_t find(const char* pattern, size_t from) const;
  // Characters that start with c, up to the length or the first NUL.
  uint16_t countChar(char c) const;
  // 1 when not empty and it starts with "{" or holds ";".
  int needsBraces() const;
  // 1 when it starts with "{" and ends with "}".
  int isBraced() const;
  // The text between enclosing braces into `destination` (emptied first).
  [[nodiscard]] int unbraceInto(JuString& destination) const;
  // The text without its enclosing quotes, doubled quotes made single.
  //   "\"a\"\"b\"" -> a"b
  [[nodiscard]] int unquoteInto(JuString& destination, char quote) const;
  // Drops trailing isspace bytes.
  void trimRight();
  // Each non-empty CR LF separated piece as a new JuString appended to
  // `lines` (which should own its elements). 0, or 1.
  [[nodiscard]] int splitLines(JuArray& lines) const;
  // Index of the first table entry with the same bytes (no case), or count.
  size_t indexIn(const char* const* table, uint16_t count) const;
  size_t indexInNoCase(const char* const* table, uint16_t count) const;

  size_t length = 0;
  size_t initialLength = 0;  // set with length when the view is pointed
  char* data = nullptr;
  JuCodePageKind kind = JuCodePageKind::kAnsi;
};

// An owning, growable string. The text is terminated by assignment, replace
// and the in-place rewrites; appends do not terminate it.
class JuString : public JuSubString {
 public:
  JuString() = default;
  explicit JuString(JuCodePageKind kind) : JuSubString(kind) {}
  JuString(const JuString&) = delete;
  JuString& operator=(const JuString&) = delete;
  ~JuString() override;

  // Sets the buffer to exactly `capacity` bytes. 1 when the buffer is not
  // owned (2716) or on allocation failure (old buffer kept).
  [[nodiscard]] virtual int reserve(size_t capacity);

  // Owned copies; a previous owned buffer is released.
  [[nodiscard]] int assign(const char* text);
  [[nodiscard]] int assign(const char* text, JuCodePageKind kind);
  [[nodiscard]] int assign(const char* text, size_t n);
  [[nodiscard]] int assign(const char* text, size_t n, JuCodePageKind kind);
  // An empty owned buffer of capacity + 1 bytes.
  [[nodiscard]] int allocate(size_t capacity);
  [[nodiscard]] int allocate(size_t capacity, JuCodePageKind kind);
  // Takes over a block from the library allocator (owned).
  void adopt(char* buffer, size_t capacity, JuCodePageKind kind, size_t length);
  // Uses a caller's buffer (not owned; the string cannot grow).
  void attachBuffer(char* buffer, size_t capacity, size_t length);
  void attachBuffer(char* buffer, size_t capacity, JuCodePageKind kind, size_t length);
  // Frees an owned buffer; length, data and capacity become 0.
  void release();

  [[nodiscard]] int ensureFree(size_t n);
  [[nodiscard]] int appendChar(char c);
  [[nodiscard]] int append(const char* text);
  [[nodiscard]] int append(const char* text, size_t n);
  [[nodiscard]] int append(int64_t value);
  [[nodiscard]] int append(uint64_t value);
  // The view's text in quotes, quotes inside doubled.
  [[nodiscard]] int appendQuoted(const JuSubString& view, char quote);
  [[nodiscard]] int quote(char quote);
  // Removes enclosing quotes in place; returns the new length.
  size_t unquote();
  // Replaces oldLen bytes at pos (both cut to the text) by n bytes of text;
  // a text with n 0 is measured, a null text deletes.
  [[nodiscard]] int replace(size_t pos, size_t oldLen, const char* text, size_t newLen);
  // Replaces the range of a view into this string.
  [[nodiscard]] int replace(const JuSubString& range, const char* text, size_t n);
  // Every occurrence, resuming after each inserted text; an empty pattern
  // changes nothing.   "aaa" a->aa -> "aaaaaa"
  // The pattern is searched up to its terminator and findLength units are
  // replaced at each match; a pattern inside the string's own text is its
  // findLength units (what follows it there is the string's, not the
  // pattern's).   "x-x-x" with find = data, 1, "yy", 2 -> "yy-yy-yy"
  [[nodiscard]] int replaceAll(const char* find, const char* replacement);
  [[nodiscard]] int replaceAll(const char* find, size_t findLength, const char* replacement, size_t replacementLength);
  // Appends CR LF until the text ends in n of them.
  [[nodiscard]] int ensureTrailingLineBreaks(size_t n);
  // Removes "--" comments to the line end and "/* */" comments.
  [[nodiscard]] int stripComments();
  // Breaks lines longer than width at the last blank outside quotes.
  [[nodiscard]] int wrap(size_t width, char q1, char q2, char q3);
  // Each run of separators outside quotes becomes one blank (none at the
  // end): CR LF pairs / single CR or LF / tabs.
  [[nodiscard]] int joinLines(char q1, char q2, char q3);
  [[nodiscard]] int joinLineBreaks(char q1, char q2, char q3);
  [[nodiscard]] int joinTabs(char q1, char q2, char q3);

  size_t capacity = 0;
  uint32_t owns = 1;

 protected:
  // Releases the buffer when owned (the wiping string zeroes it first).
  virtual void freeBuffer();
  // Room for `needed` bytes in all: reserve(needed) unless already there.
  int makeRoom(size_t needed);
};

// A string that zeroes its buffer on every release and reallocation.
class JuStringEx : public JuString {
 public:
  JuStringEx() = default;
  explicit JuStringEx(JuCodePageKind kind) : JuString(kind) {}
  ~JuStringEx() override;
  [[nodiscard]] int reserve(size_t capacity) override;

 protected:
  void freeBuffer() override;
};

// An editing cursor over a target string: written text, a gap, unread text.
// The view part describes the unread text.
class JuReplaceString : public JuSubString {
 public:
  explicit JuReplaceString(JuString& target);
  JuReplaceString() = default;
  explicit JuReplaceString(JuCodePageKind kind) : JuSubString(kind) {}
  // A copy would end the same edit twice.
  JuReplaceString(const JuReplaceString&) = delete;
  JuReplaceString& operator=(const JuReplaceString&) = delete;
  ~JuReplaceString() override;  // ends the edit

  // Writes n bytes at the write position, growing the gap by n + 512 bytes
  // when it is too small. s may point into the target.
  [[nodiscard]] int write(const char* s, size_t n);
  // The n bytes in quotes, quotes inside doubled. A count that ends inside
  // a character: the call's writes become unread text again, 2737 (SQLSTATE
  // "01004") is posted and 1 returned.
  [[nodiscard]] int writeQuoted(const char* s, size_t n, char quote);
  // The bytes written since `position` become unread again.
  void unwriteTo(size_t position);

  JuString* target = nullptr;
  size_t writePosition = 0;
  size_t readPosition = 0;
};

// Sum of the first min(length, 5) bytes upper-cased; 0 for an empty view.
uint64_t juHashSubString(const JuSubString& view);
// Copies min(dstSize, srcSize) bytes, overlap-safe.
void juMemMoveMin(void* dst, size_t dstSize, const void* src, size_t srcSize);

// ===========================================================================
// UTF-16 strings: the narrow family's twins, in units.
// ===========================================================================

class JuSubStringW : public JuObject {
 public:
  JuSubStringW() = default;
  explicit JuSubStringW(const char16_t* text);
  JuSubStringW(const char16_t* text, size_t length);
  ~JuSubStringW() override;

  // juWStrNICompare: no case per code point.
  int16_t compare(const JuObject& other) const override;

  void attach(const char16_t* text, size_t length);
  size_t findChar(char16_t c, size_t from) const;
  size_t find(const char16_t* pattern, size_t from) const;
  uint16_t countChar(char16_t c) const;
  int needsBraces() const;
  int isBraced() const;
  [[nodiscard]] int unbraceInto(JuStringW& destination) const;
  [[nodiscard]] int unquoteInto(JuStringW& destination, char16_t quote) const;
  void trimRight();
  [[nodiscard]] int splitLines(JuArray& lines) const;
  size_t indexIn(const char16_t* const* table, uint16_t count) const;
  size_t indexInNoCase(const char16_t* const* table, uint16_t count) const;

  size_t length = 0;
  char16_t* data = nullptr;
};

class JuStringW : public JuSubStringW {
 public:
  JuStringW() = default;
  JuStringW(const JuStringW&) = delete;
  JuStringW& operator=(const JuStringW&) = delete;
  ~JuStringW() override;

  [[nodiscard]] virtual int reserve(size_t capacity);

  [[nodiscard]] int assign(const char16_t* text);
  [[nodiscard]] int assign(const char16_t* text, size_t n);
  [[nodiscard]] int allocate(size_t capacity);
  void adopt(char16_t* buffer, size_t capacity, size_t length);
  void attachBuffer(char16_t* buffer, size_t capacity, size_t length);
  void release();

  // n bytes of the kind to UTF-16: kind 2 copies the n / 2 units they hold (an
  // odd last byte is dropped), kind 1 converts from the ANSI code page (a
  // trailing lone lead byte is dropped), UTF-8 through ICU (2737 with SQLSTATE
  // "01004" when malformed).
  //   assignFromMultiByte(<bytes of u"hi">, 5, kind 2) -> 0, u"hi"
  [[nodiscard]] int assignFromMultiByte(const char* bytes, size_t n, JuCodePageKind kind);
  // n bytes of a code page id to UTF-16 through a converter opened for the
  // call (id 0: ICU's default converter). 2739 "Unknown codepage. " and the
  // id when the id has no converter.
  //   assignFromCodePage("caf\xE9", 4, 2252) -> 0, u"caf\u00E9"
  [[nodiscard]] int assignFromCodePage(const char* bytes, size_t n, int64_t id);
  // n bytes to UTF-16 through the caller's open converter. On failure (the
  // reason posted) the string holds a new, empty buffer and 1 is returned.
  [[nodiscard]] int assignFromConverter(const char* bytes, size_t n, UConverter* converter);
  // A narrow copy (UTF-8 for kind 3, else the ANSI code page), owned by the
  // string until the next call; "Out Of Memory" when it cannot be made.
  const char* narrow(JuCodePageKind kind);

  [[nodiscard]] int ensureFree(size_t n);
  [[nodiscard]] int appendChar(char16_t c);
  [[nodiscard]] int append(const char16_t* text);
  [[nodiscard]] int append(const char16_t* text, size_t n);
  [[nodiscard]] int append(int64_t value);
  [[nodiscard]] int append(uint64_t value);
  // n bytes, each widened to one unit (Latin-1).
  [[nodiscard]] int appendNarrow(const char* bytes, size_t n);
  [[nodiscard]] int appendQuoted(const JuSubStringW& view, char16_t quote);
  [[nodiscard]] int quote(char16_t quote);
  size_t unquote();
  [[nodiscard]] int replace(size_t pos, size_t oldLen, const char16_t* text, size_t newLen);
  [[nodiscard]] int replace(const JuSubStringW& range, const char16_t* text, size_t n);
  [[nodiscard]] int replaceAll(const char16_t* find, const char16_t* replacement);
  [[nodiscard]] int replaceAll(const char16_t* find, size_t findLength, const char16_t* replacement,
                               size_t replacementLength);
  [[nodiscard]] int ensureTrailingLineBreaks(size_t n);
  [[nodiscard]] int wrap(size_t width, char16_t q1, char16_t q2, char16_t q3);
  [[nodiscard]] int joinLines(char16_t q1, char16_t q2, char16_t q3);
  [[nodiscard]] int joinLineBreaks(char16_t q1, char16_t q2, char16_t q3);
  [[nodiscard]] int joinTabs(char16_t q1, char16_t q2, char16_t q3);
  // Buffer of exactly length + 1 units, through reserve (so the wiping
  // string wipes); a caller's buffer is left alone, and a failed
  // reallocation keeps the old buffer and capacity.
  void shrinkToFit();

  size_t capacity = 0;
  char* narrowCache = nullptr;
  uint32_t owns = 1;

 protected:
  // Bytes allocated for narrowCache (what the wiping string zeroes).
  size_t narrowCacheSize = 0;

  virtual void freeBuffer();
  int makeRoom(size_t needed);
  // Frees the narrow copy (the wiping string zeroes it first).
  virtual void freeNarrowCache();
};

class JuStringWEx : public JuStringW {
 public:
  JuStringWEx() = default;
  ~JuStringWEx() override;
  [[nodiscard]] int reserve(size_t capacity) override;

 protected:
  void freeBuffer() override;
  void freeNarrowCache() override;
};

class JuReplaceStringW : public JuSubStringW {
 public:
  explicit JuReplaceStringW(JuStringW& target);
  JuReplaceStringW() = default;
  JuReplaceStringW(const JuReplaceStringW&) = delete;
  JuReplaceStringW& operator=(const JuReplaceStringW&) = delete;
  ~JuReplaceStringW() override;

  [[nodiscard]] int write(const char16_t* s, size_t n);
  // A count that ends inside a surrogate pair: the call's writes become
  // unread text again, 2737 (SQLSTATE "01004") is posted and 1 returned.
  [[nodiscard]] int writeQuoted(const char16_t* s, size_t n, char16_t quote);
  void unwriteTo(size_t position);

  JuStringW* target = nullptr;
  size_t writePosition = 0;
  size_t readPosition = 0;
};

// Sum of the first min(length, 6) units upper-cased, unit i shifted left by
// 3 * i bits.
uint64_t juHashSubStringW(const JuSubStringW& view);
// Copies min(dstEnd - dst, n) bytes, overlap-safe.
void juMemMoveBounded(void* dst, const void* dstEnd, const void* src, size_t n);

// ===========================================================================
// Parameter strings: templates with numbered placeholders.
//
// The first parameter fills every "%s1" or "%d1", the second every "%s2" or
// "%d2", whatever their order; from the tenth on an "x" stands between the
// letter and the number ("%sx10"). Text and number parameters share the
// counter. A parameter's own text is never searched for later markers.
// ===========================================================================

class JuParamString : public JuString {
 public:
  static constexpr uint32_t kErrorFlag = 1;

  JuParamString() = default;
  explicit JuParamString(JuCodePageKind kind) : JuString(kind) {}
  ~JuParamString() override;

  // Template setters: release the text, reset the counter, set or clear the
  // error flag; 0, or 1.
  [[nodiscard]] int assign(const char* text);
  [[nodiscard]] int assign(const char* text, JuCodePageKind kind);
  [[nodiscard]] int assign(const char* text, size_t n);
  [[nodiscard]] int assign(const char* text, size_t n, JuCodePageKind kind);
  [[nodiscard]] int allocate(size_t capacity);
  [[nodiscard]] int allocate(size_t capacity, JuCodePageKind kind);

  //   "%s1 (%d2)" << "abc" << int64_t{42} -> "abc (42)"
  int addParam(const JuSubString& view);
  int addParam(const char* text);  // null removes the marker
  int addParam(int64_t value);
  int addParam(uint64_t value);
  [[nodiscard]] int addQuotedParam(const char* text, char quote);

  // Each adds the parameter only while the error flag is clear.
  JuParamString& operator<<(const JuSubString& view);
  JuParamString& operator<<(const char* text);
  JuParamString& operator<<(int64_t value);
  JuParamString& operator<<(uint64_t value);

  uint16_t paramCounter = 0;
  uint32_t flags = 0;

 private:
  int fillNext(char type, const char* text, size_t n);

  // Where parameters went; reset by the template setters.
  julib::internal::FilledRanges filled_;
};

class JuParamStringW : public JuStringW {
 public:
  static constexpr uint32_t kErrorFlag = 1;

  JuParamStringW() = default;
  ~JuParamStringW() override;

  [[nodiscard]] int assign(const char16_t* text);
  [[nodiscard]] int assign(const char16_t* text, size_t n);
  [[nodiscard]] int allocate(size_t capacity);
  // NUL-terminated bytes of the kind; kind 2 text ends at its first zero unit.
  [[nodiscard]] int assignFromMultiByte(const char* text, JuCodePageKind kind);
  // NUL-terminated bytes of a code page id / through an open converter.
  [[nodiscard]] int assignFromCodePage(const char* text, int64_t id);
  [[nodiscard]] int assignFromConverter(const char* text, UConverter* converter);

  int addParam(const JuSubStringW& view);
  int addParam(const char16_t* text);
  int addParam(int64_t value);
  int addParam(uint64_t value);
  [[nodiscard]] int addQuotedParam(const char16_t* text, char16_t quote);

  JuParamStringW& operator<<(const JuSubStringW& view);
  JuParamStringW& operator<<(const char16_t* text);
  JuParamStringW& operator<<(int64_t value);
  JuParamStringW& operator<<(uint64_t value);

  uint16_t paramCounter = 0;
  uint32_t flags = 0;

 private:
  int fillNext(char16_t type, const char16_t* text, size_t n);

  // Where parameters went; reset by the template setters.
  julib::internal::FilledRanges filled_;
};

#endif  // JULIB_STRINGS_H
