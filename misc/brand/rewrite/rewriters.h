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
#ifndef BRAND_REWRITE_REWRITERS_H
#define BRAND_REWRITE_REWRITERS_H

#include <cstddef>
#include <cstdint>

#include "rewrite/byte_search.h"

namespace brandrewrite {

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
  TextSearch search;      // of text, for windows without usable candidates
  char* upper = nullptr;  // the replacement as written over upper-case occurrences
  char* lower = nullptr;  // ... and over lower-case ones
  size_t replacementLength = 0;
  EntryKind kind = EntryKind::kPrefix;
  size_t resume = 0;      // where the search goes on in the next window
};

// What the replacements of a file's entries are made of.
struct NameSettings {
  const char* filePrefix = nullptr;       // its first two characters go over names
  const char* suffix = nullptr;           // two characters in suffix mode, else null
  bool siblingMode = false;               // every lower-case name is rewritten
  const char* xmlProviderName = nullptr;  // replaces the maker's provider name
  const char16_t* newVersion = nullptr;   // in version mode, else null
};

// The search entries of one file and their replacements.
//   NameRewriter names;
//   names.prepare(settings, 2); names.add("VRORA28"); names.add("{8F0B...}");
class NameRewriter {
 public:
  NameRewriter() = default;
  ~NameRewriter();
  NameRewriter(const NameRewriter&) = delete;
  NameRewriter& operator=(const NameRewriter&) = delete;

  // Makes room for `capacity` entries (kept: `settings`' texts must outlive
  // the rewriter). A file prefix of fewer than two characters takes no
  // entries. 0, or 1 when memory runs out (recorded).
  [[nodiscard]] int prepare(const NameSettings& settings, size_t capacity);
  // Adds a search entry, in the order they are rewritten. Entries that
  // cannot be rewritten within their own bytes are left out: a braced entry
  // shorter than a CLSID, a prefix entry of one character; so are entries
  // beyond the capacity. 0, or 1 when memory runs out (recorded).
  [[nodiscard]] int add(const char* entry);

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
  NameSettings settings_;
  TextSearch helpExtension_;  // ".HLP" inside a name
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
  TextSearch search_;  // of the old pattern, for windows without candidates
};

// Writes `newPattern` over every whole occurrence of `oldPattern` in
// `chunk`, both `patternLength` bytes (brand::replaceMessagePrefix). 1; 0
// when the chunk is null or empty, a pattern is null, the lengths differ or
// are longer than the chunk.
//   "..[Brisklane][ODBC \0\0\0.." -> "..[ACME][ODBC \0\0\0\0\0\0\0\0.."
int replaceMessagePrefix(char* chunk, size_t length, const char* oldPattern, size_t oldLength, const char* newPattern,
                         size_t newLength);

// Rewrites the entries `names` holds in one whole chunk (brand::replaceNames).
void rewriteChunk(NameRewriter& names, char* chunk, size_t length);

}  // namespace brandrewrite

#endif  // BRAND_REWRITE_REWRITERS_H
