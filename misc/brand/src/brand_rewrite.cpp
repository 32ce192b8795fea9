// The rewriting of a driver file's bytes: search entries and the message
// prefix, window by window.

#include "brand_rewrite.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "brand.h"
#include "brand_text.h"
#include "julib/object.h"
#include "platform/checked_size.h"
#include "platform/utf16.h"

namespace brandrewrite {

namespace {

constexpr char kMakerProvider[] = "BRISKLANE CLOSED XML ADO PROVIDER";
constexpr char kMakerProviderAsShipped[] = "Brisklane Closed XML ADO Provider";
constexpr char kOldMessagePrefix[] = "[Brisklane][ODBC ";
// The 16th to 19th characters of "{xxxxxxxx-xxxx-xxxx-...}": the third group.
constexpr size_t kClsidDigits = 15;
constexpr size_t kClsidMinimum = kClsidDigits + 4;

char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
bool isLetter(char c) { return upperAscii(c) >= 'A' && upperAscii(c) <= 'Z'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool endsWith(const char* text, size_t n, const char* tail) {
  const size_t m = std::strlen(tail);
  return n >= m && std::memcmp(text + n - m, tail, m) == 0;
}

// "08.02", or its long form "08.02.0293": both stand for the version whose
// digits the new version's first five characters give.
bool isVersionText(const char* text, size_t n) {
  if (n < 5 || text[2] != '.' || !isDigit(text[3])) return false;
  if (n == 5) return true;
  return text[5] == '.' && isDigit(text[0]) && isDigit(text[1]) && isDigit(text[4]);
}

// A heap copy of `n` bytes with each letter passed through `change`.
char* copyWith(const char* text, size_t n, char (*change)(char)) {
  char* out = brandtext::copy(text, n);
  if (out != nullptr) {
    for (size_t i = 0; i < n; ++i) out[i] = change(out[i]);
  }
  return out;
}

// Where the search goes on in the next window, which starts at `limit`.
size_t resumeAfter(size_t at, size_t limit) { return at > limit ? at - limit : 0; }

// The first p in [from, stop) where p[0] and p[1] equal `first` and
// `second` ignoring ASCII case (p[1] may lie at `stop`), or null. Sixteen
// starts at a time where the processor has SSE2.
const char* findPairNoCase(const char* from, const char* stop, char first, char second) {
  const char a = upperAscii(first), b = lowerAscii(first);
  const char c = upperAscii(second), d = lowerAscii(second);
  const char* p = from;
#if defined(__SSE2__)
  const __m128i aa = _mm_set1_epi8(a), bb = _mm_set1_epi8(b);
  const __m128i cc = _mm_set1_epi8(c), dd = _mm_set1_epi8(d);
  for (; stop - p >= 16; p += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));  // p[16] is p[15]'s second byte
    const __m128i hit = _mm_and_si128(_mm_or_si128(_mm_cmpeq_epi8(x, aa), _mm_cmpeq_epi8(x, bb)),
                                      _mm_or_si128(_mm_cmpeq_epi8(y, cc), _mm_cmpeq_epi8(y, dd)));
    const int mask = _mm_movemask_epi8(hit);
    if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
  }
#endif
  for (; p < stop; ++p) {
    if ((p[0] == a || p[0] == b) && (p[1] == c || p[1] == d)) return p;
  }
  return nullptr;
}

// The `count` bytes at p equal `upper` (upper-cased) ignoring ASCII case.
bool equalNoCase(const char* p, const char* upper, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (upperAscii(p[i]) != upper[i]) return false;
  }
  return true;
}

}  // namespace

const char* findNoCase(const char* from, const char* end, const char* upper, size_t count) {
  if (from == nullptr || upper == nullptr || count == 0 || end < from || static_cast<size_t>(end - from) < count) {
    return nullptr;
  }
  const char* last = end - count;  // the last possible start
  if (count == 1) {
    for (const char* p = from; p <= last; ++p) {
      if (upperAscii(*p) == upper[0]) return p;
    }
    return nullptr;
  }
  // Candidates are where the first two bytes match; the rest is compared
  // only there.
  for (const char* p = findPairNoCase(from, last + 1, upper[0], upper[1]); p != nullptr;
       p = findPairNoCase(p + 1, last + 1, upper[0], upper[1])) {
    size_t i = 2;
    while (i < count && upperAscii(p[i]) == upper[i]) ++i;
    if (i == count) return p;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// NameRewriter
// ---------------------------------------------------------------------------

NameRewriter::~NameRewriter() {
  for (size_t i = 0; i < count_; ++i) {
    juFree(entries_[i].text);
    juFree(entries_[i].upper);
    juFree(entries_[i].lower);
  }
  juFree(entries_);
}

int NameRewriter::prepare(const brand& owner, const char* newName, const char* filePrefix) {
  suffix_ = owner.suffixMode != 0 && std::strlen(brandtext::orEmpty(owner.suffix)) >= 2 ? owner.suffix : nullptr;
  siblingMode_ = owner.siblingMode != 0;
  const char* dot = std::strchr(brandtext::orEmpty(newName), '.');
  if (dot == nullptr || std::strlen(brandtext::orEmpty(filePrefix)) < 2) return 0;
  const bool dll = std::strcmp(dot, ".dll") == 0;
  const bool help = std::strcmp(dot, ".cnt") == 0;
  const bool ini = std::strcmp(dot, ".ini") == 0;
  if (!dll && !help && !ini) return 0;

  capacity_ = help ? static_cast<size_t>(owner.helpCount) : static_cast<size_t>(owner.searchList.count) + 1;
  size_t bytes = 0;
  if (!platform::multiplySizes(&bytes, capacity_, sizeof(Entry))) {
    juReportOutOfMemory();
    return 1;
  }
  entries_ = static_cast<Entry*>(juMallocChecked(bytes));
  if (entries_ == nullptr) return 1;
  int failed = 0;
  if (help) {
    for (uint64_t i = 0; i < owner.helpCount && failed == 0; ++i) {
      add(owner.fileName(owner.helpIndex + i), filePrefix, owner, &failed);
    }
  } else {
    for (uint64_t i = 0; i < owner.searchList.count && failed == 0; ++i) {
      add(owner.searchEntry(i), filePrefix, owner, &failed);
    }
    if (dll && failed == 0) add(owner.currentFile, filePrefix, owner, &failed);
  }
  return failed;
}

void NameRewriter::add(const char* text, const char* filePrefix, const brand& owner, int* failed) {
  const size_t n = std::strlen(brandtext::orEmpty(text));
  if (n == 0 || count_ == capacity_) return;
  Entry entry;
  entry.length = n;
  entry.text = copyWith(text, n, upperAscii);
  if (entry.text == nullptr) {
    *failed = 1;
    return;
  }
  const char* brace = static_cast<const char*>(std::memchr(entry.text, '}', n));
  char* replacement = nullptr;
  if (brace != nullptr) {
    // Only a whole CLSID has the digits to replace.
    if (brace != entry.text + n - 1 || n < kClsidMinimum) return juFree(entry.text);
    entry.kind = EntryKind::kClsid;
    replacement = brandtext::copy(entry.text, n);
    if (replacement != nullptr) {
      for (size_t i = 0; i < 2; ++i) {
        const auto byte = static_cast<unsigned char>(upperAscii(filePrefix[i]));
        replacement[kClsidDigits + 2 * i] = brand::hexDigit(byte >> 4);
        replacement[kClsidDigits + 2 * i + 1] = brand::hexDigit(byte & 0x0F);
      }
    }
  } else if (std::strcmp(entry.text, kMakerProvider) == 0) {
    const char* provider = owner.xmlProviderName;
    if (provider == nullptr || std::strcmp(provider, kMakerProviderAsShipped) == 0) return juFree(entry.text);
    entry.kind = EntryKind::kWholeText;
    replacement = brandtext::copy(provider);
  } else if (owner.versionMode != 0 && isVersionText(entry.text, n)) {
    const char16_t* version = brandtext::orEmpty(owner.newVersion);
    char digits[6] = {};
    for (size_t i = 0; i < 5; ++i) {
      if (version[i] == 0 || version[i] > 0x7F) return juFree(entry.text);  // no version to write
      digits[i] = static_cast<char>(version[i]);
    }
    entry.kind = EntryKind::kVersion;
    replacement = brandtext::copy(digits, 5);
  } else {
    // Two characters go over the occurrence: it must hold two.
    if (n < 2) return juFree(entry.text);
    entry.kind = EntryKind::kPrefix;
    replacement = copyWith(filePrefix, 2, upperAscii);
  }
  if (replacement != nullptr) {
    entry.replacementLength = std::strlen(replacement);
    entry.upper = replacement;
    entry.lower = copyWith(replacement, entry.replacementLength, lowerAscii);
  }
  if (entry.upper == nullptr || entry.lower == nullptr) {
    juFree(entry.text);
    juFree(entry.upper);
    *failed = 1;
    return;
  }
  reach_ = std::max(reach_, n);
  if (entry.kind == EntryKind::kWholeText) reach_ = std::max(reach_, entry.replacementLength + 1);
  entries_[count_++] = entry;
}

void NameRewriter::addPairsTo(Candidates& candidates) const {
  for (size_t i = 0; i < count_; ++i) candidates.add(entries_[i].text[0], entries_[i].text[1]);
}

void NameRewriter::rewrite(char* window, size_t length, size_t limit, Candidates& candidates) {
  limit = std::min(limit, length);
  // Every entry is at least two bytes long (add), so a start lies below
  // length - 1.
  const size_t stop = std::min(limit, length > 0 ? length - 1 : 0);
  if (count_ == 0) return;
  if (!candidates.usable()) return rewriteScanning(0, window, length, limit);
  for (size_t i = 0; i < count_; ++i) {
    Entry& entry = entries_[i];
    size_t at = entry.resume;
    for (const size_t* next = candidates.from(at); next != candidates.end() && *next < limit; ++next) {
      const size_t p = *next;
      if (p < at || entry.length > length - p || !equalNoCase(window + p, entry.text, entry.length)) continue;
      const size_t changed = rewriteAt(entry, window, length, p);
      at = p + entry.length;
      // What the rewrite wrote may start a pair itself.
      if (!candidates.collect(window, p > 0 ? p - 1 : 0, std::min(changed, stop))) {
        entry.resume = at;
        return rewriteScanning(i, window, length, limit);
      }
      next = candidates.from(at) - 1;  // at lies behind p, a candidate
    }
    entry.resume = resumeAfter(at, limit);
  }
}

void NameRewriter::rewriteScanning(size_t first, char* window, size_t length, size_t limit) {
  for (size_t i = first; i < count_; ++i) {
    Entry& entry = entries_[i];
    size_t at = entry.resume;
    while (at < limit) {
      const char* hit = findNoCase(window + at, window + length, entry.text, entry.length);
      if (hit == nullptr || static_cast<size_t>(hit - window) >= limit) break;
      const size_t p = static_cast<size_t>(hit - window);
      rewriteAt(entry, window, length, p);
      at = p + entry.length;
    }
    entry.resume = resumeAfter(at, limit);
  }
}

size_t NameRewriter::rewriteAt(const Entry& entry, char* window, size_t length, size_t at) const {
  char* p = window + at;
  // An upper-case start (or one that is no letter) gets the replacement as
  // it is, a lower-case one its lower-case form, occurrence by occurrence.
  const bool upper = p[0] == entry.text[0];
  const char* r = upper ? entry.upper : entry.lower;
  switch (entry.kind) {
    case EntryKind::kClsid:
      std::memcpy(p + kClsidDigits, r + kClsidDigits, 4);
      return at + kClsidDigits + 4;
    case EntryKind::kWholeText: {
      // The new name and its NUL, as far as the window reaches.
      const size_t n = std::min(entry.replacementLength + 1, length - at);
      std::memcpy(p, r, n);
      return at + n;
    }
    case EntryKind::kVersion:
      p[0] = r[0];
      p[1] = r[1];
      p[3] = r[3];
      p[4] = r[4];
      return at + 5;
    case EntryKind::kPrefix:
      if (!upper) return at + rewriteName(p, length - at, r);
      p[0] = r[0];
      p[1] = r[1];
      return at + 2;
  }
  return length;
}

size_t NameRewriter::rewriteName(char* name, size_t available, const char* replacement) const {
  const char* zero = static_cast<const char*>(std::memchr(name, 0, available));
  const size_t n = zero != nullptr ? static_cast<size_t>(zero - name) : available;
  if (n > 6 && endsWith(name, n, "kj.dll")) {
    name[n - 6] = replacement[0];
    name[n - 5] = replacement[1];
    return n;
  }
  const bool named = (n > 4 && endsWith(name, n, ".dll")) || (n > 2 && isLetter(name[n - 2]) && endsWith(name, n, "tc")) ||
                     siblingMode_ || (n > 7 && findNoCase(name + 7, name + n, ".HLP", 4) != nullptr);
  if (!named) return 0;
  name[0] = replacement[0];
  name[1] = replacement[1];
  if (suffix_ == nullptr) return 2;
  const char* dot = static_cast<const char*>(std::memchr(name, '.', n));
  const size_t end = dot != nullptr ? static_cast<size_t>(dot - name) : n;
  // The suffix goes behind the prefix, never over it or before the name.
  if (end >= 4) {
    name[end - 2] = suffix_[0];
    name[end - 1] = suffix_[1];
  }
  return std::max<size_t>(end, 2);
}

// ---------------------------------------------------------------------------
// PrefixRewriter
// ---------------------------------------------------------------------------

PrefixRewriter::~PrefixRewriter() {
  juFree(old_);
  juFree(new_);
}

int PrefixRewriter::prepare(const char16_t* messagePrefix) {
  const char16_t* prefix = brandtext::orEmpty(messagePrefix);
  char* utf8 = brandtext::toUtf8(prefix, platform::utf16::unitLength(prefix));
  const char* parts[] = {"[", utf8, "][ODBC "};
  char* replacement = utf8 != nullptr ? brandtext::join(parts, 3) : nullptr;
  juFree(utf8);
  if (replacement == nullptr) return 1;
  length_ = std::max(std::strlen(kOldMessagePrefix), std::strlen(replacement)) + 1;
  old_ = static_cast<char*>(juMallocChecked(length_));
  new_ = static_cast<char*>(juMallocChecked(length_));
  if (old_ == nullptr || new_ == nullptr) {
    juFree(replacement);
    return 1;
  }
  std::memset(old_, 0, length_);
  std::memset(new_, 0, length_);
  std::memcpy(old_, kOldMessagePrefix, std::strlen(kOldMessagePrefix));
  std::memcpy(new_, replacement, std::strlen(replacement));
  juFree(replacement);
  start_.add(old_[0], old_[1]);
  return 0;
}

void PrefixRewriter::rewrite(char* window, size_t length, size_t limit, const Candidates& candidates) {
  limit = std::min(limit, length);
  size_t at = resume_;
  if (length_ >= 2 && length >= length_) {
    // Candidates where the first two bytes stand; a replacement changes only
    // its own bytes, so the starts found behind it stay valid.
    const size_t stop = std::min(limit, length - length_ + 1);
    auto replace = [&](size_t p) {
      if (p >= at && std::memcmp(window + p, old_, length_) == 0) {
        std::memcpy(window + p, new_, length_);
        at = p + length_;
      }
      return true;  // the search runs to the end: no early stop
    };
    if (candidates.usable()) {
      for (const size_t* p = candidates.from(at); p != candidates.end() && *p < stop; ++p) replace(*p);
    } else {
      (void)start_.find(window, std::min(at, stop), stop, replace);
    }
  }
  resume_ = resumeAfter(at, limit);
}

}  // namespace brandrewrite

// ---------------------------------------------------------------------------
// The brand object's rewriting calls, on one whole chunk.
// ---------------------------------------------------------------------------

int64_t brand::findBytes(const char* buffer, size_t length, const char* pattern, size_t patternLength) {
  if (buffer == nullptr || pattern == nullptr || length == 0 || patternLength == 0 || patternLength > length) {
    return -1;
  }
  const char* last = buffer + (length - patternLength);
  for (const char* p = buffer; p <= last; ++p) {
    p = static_cast<const char*>(std::memchr(p, pattern[0], static_cast<size_t>(last - p) + 1));
    if (p == nullptr) return -1;
    if (std::memcmp(p + 1, pattern + 1, patternLength - 1) == 0) return p - buffer;
  }
  return -1;
}

int brand::replaceMessagePrefix(char* chunk, size_t length, const char* oldPattern, size_t oldLength,
                                const char* newPattern, size_t newLength) {
  if (chunk == nullptr || length == 0 || oldPattern == nullptr || newPattern == nullptr || oldLength != newLength ||
      oldLength == 0 || oldLength > length) {
    return 0;
  }
  for (size_t at = 0;;) {
    const int64_t found = findBytes(chunk + at, length - at, oldPattern, oldLength);
    if (found < 0) return 1;
    at += static_cast<size_t>(found);
    std::memcpy(chunk + at, newPattern, newLength);
    at += newLength;
  }
}

int brand::replaceNames(char* chunk, size_t length, const char* newName, const char* filePrefix) {
  brandrewrite::NameRewriter names;
  if (names.prepare(*this, newName, filePrefix) != 0) return 0;
  if (chunk != nullptr) {
    brandrewrite::Candidates candidates;
    names.addPairsTo(candidates);
    candidates.start(chunk, length, length);
    names.rewrite(chunk, length, length, candidates);
  }
  return 1;
}
