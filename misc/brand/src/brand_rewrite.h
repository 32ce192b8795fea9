// The rewriting of a driver file's bytes while it is copied: the search
// entries (names, CLSIDs, versions, the XML provider name) and the driver
// message prefix, over windows of a stream.
//
// A file is rewritten window by window. Each window holds the bytes not yet
// written: a tail carried from the previous window (already rewritten up to
// where it was cut) and the bytes read after it. Only occurrences that start
// before the window's limit are replaced, whole, even when they reach into
// the tail; the tail is written with the next window. So a text that
// straddles two reads is replaced once and whole, provided the tail is at
// least reach() bytes long.
#ifndef BRAND_BRAND_REWRITE_H
#define BRAND_BRAND_REWRITE_H

#include <cstddef>
#include <cstdint>

#include "brand_candidates.h"

class brand;

namespace brandrewrite {

// The first position in [from, end) where the `count` bytes of `upper` (an
// upper-cased text) occur ignoring ASCII case, or null. Bytes are bytes
// here, not characters: any byte of a binary file may start a name.
//   findNoCase("xAbora28", 8, "ABORA", 5) -> at 1
const char* findNoCase(const char* from, const char* end, const char* upper, size_t count);

// How an occurrence of a search entry is rewritten.
enum class EntryKind : uint8_t {
  kClsid,      // "{...}": its 16th to 19th characters become the prefix's hex digits
  kWholeText,  // the maker's XML provider name: the new name with its NUL
  kVersion,    // "08.02" or "08.02.0293": the digits of the new version's first five characters
  kPrefix,     // a name: its first two characters become the file prefix
};

struct Entry {
  char* text = nullptr;   // the entry upper-cased
  size_t length = 0;
  char* upper = nullptr;  // the replacement as written over upper-case occurrences
  char* lower = nullptr;  // ... and over lower-case ones
  size_t replacementLength = 0;
  EntryKind kind = EntryKind::kPrefix;
  size_t resume = 0;      // where the search goes on in the next window
};

// The search entries of one file and their replacements.
class NameRewriter {
 public:
  NameRewriter() = default;
  ~NameRewriter();
  NameRewriter(const NameRewriter&) = delete;
  NameRewriter& operator=(const NameRewriter&) = delete;

  // Takes the entries that a file written as `newName` holds (by the
  // extension from its first "."): ".dll" the search list and the current
  // file's listed name, ".cnt" the HELP entries, ".ini" the search list,
  // others none. Entries that cannot be rewritten within their own bytes
  // are left out: a braced entry shorter than a CLSID, a prefix entry of one
  // character. 0, or 1 when memory runs out (recorded).
  [[nodiscard]] int prepare(const brand& owner, const char* newName, const char* filePrefix);

  // Adds the entries' first two bytes to the candidates' pairs.
  void addPairsTo(Candidates& candidates) const;
  // Rewrites the occurrences that start in [0, limit) of window[0, length),
  // entry after entry: what an entry rewrote is what the next one searches.
  // `candidates` were started on this window with the entries' pairs among
  // theirs; the ranges a rewrite changed are collected again.
  void rewrite(char* window, size_t length, size_t limit, Candidates& candidates);

  // The bytes from an occurrence's start that its test and rewrite look at.
  size_t reach() const { return reach_; }
  size_t count() const { return count_; }

 private:
  void add(const char* entry, const char* filePrefix, const brand& owner, int* failed);
  // Both return the end of the bytes they changed.
  size_t rewriteAt(const Entry& entry, char* window, size_t length, size_t at) const;
  size_t rewriteName(char* name, size_t available, const char* replacement) const;
  // Rewrites entries [first, count_) searching each through the window:
  // where the window has more candidates than fit.
  void rewriteScanning(size_t first, char* window, size_t length, size_t limit);

  Entry* entries_ = nullptr;
  size_t count_ = 0;
  size_t capacity_ = 0;
  size_t reach_ = 0;
  const char* suffix_ = nullptr;  // two characters, or null outside suffix mode
  bool siblingMode_ = false;
};

// The driver message prefix "[Brisklane][ODBC " and its replacement
// "[" + prefix + "][ODBC ", each padded with zero bytes to one length L: the
// longer text's length + 1.
class PrefixRewriter {
 public:
  PrefixRewriter() = default;
  ~PrefixRewriter();
  PrefixRewriter(const PrefixRewriter&) = delete;
  PrefixRewriter& operator=(const PrefixRewriter&) = delete;

  // Builds both patterns for the UTF-16 message prefix (written as UTF-8).
  // 0, or 1 when memory runs out (recorded).
  [[nodiscard]] int prepare(const char16_t* messagePrefix);
  // Adds the old pattern's first two bytes to the candidates' pairs.
  void addPairsTo(Candidates& candidates) const {
    if (length_ >= 2) candidates.add(old_[0], old_[1]);
  }
  // Replaces the whole occurrences that start in [0, limit), at the
  // candidates when they are usable (started on this window with the old
  // pattern's pair among theirs), else searching the window itself.
  void rewrite(char* window, size_t length, size_t limit, const Candidates& candidates);

  size_t length() const { return length_; }
  const char* oldPattern() const { return old_; }
  const char* newPattern() const { return new_; }

 private:
  char* old_ = nullptr;
  char* new_ = nullptr;
  size_t length_ = 0;
  size_t resume_ = 0;
  PairFilter start_;  // the old pattern's first two bytes, for windows without candidates
};

}  // namespace brandrewrite

#endif  // BRAND_BRAND_REWRITE_H
