// The rewriting of a driver file's bytes: search entries and the message
// prefix, window by window.

#include "brand_rewrite.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
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

// The bytes | 0x20: a letter's lower case, and a few other bytes folded
// together with it. Only a filter: candidates are compared in full after.
char folded(char c) { return static_cast<char>(c | 0x20); }

// The `count` bytes at p equal `upper` (upper-cased) ignoring ASCII case.
bool equalNoCase(const char* p, const char* upper, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (upperAscii(p[i]) != upper[i]) return false;
  }
  return true;
}

// Calls found(p) for each p in [from, stop), in order, where the folded
// p[0] and p[1] are one of the `count` folded pairs (p[1] may lie at
// `stop`); stops early when found returns false, and then returns false.
template <typename Found>
bool findFoldedPairsTail(const char* p, const char* stop, const char (*pairs)[2], size_t count, Found& found) {
  for (; p < stop; ++p) {
    for (size_t i = 0; i < count; ++i) {
      if (folded(p[0]) == pairs[i][0] && folded(p[1]) == pairs[i][1]) {
        if (!found(p)) return false;
        break;
      }
    }
  }
  return true;
}

#if defined(__x86_64__) && defined(__GNUC__)
// Thirty-two starts at a time, on processors that have AVX2.
template <typename Found>
__attribute__((target("avx2"))) bool findFoldedPairsWide(const char* from, const char* stop,
                                                         const char (*pairs)[2], size_t count, Found& found) {
  const char* p = from;
  const __m256i fold = _mm256_set1_epi8(0x20);
  __m256i firsts[8];
  __m256i seconds[8];
  for (size_t i = 0; i < count && i < 8; ++i) {
    firsts[i] = _mm256_set1_epi8(pairs[i][0]);
    seconds[i] = _mm256_set1_epi8(pairs[i][1]);
  }
  for (; stop - p >= 32; p += 32) {
    const __m256i x = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), fold);
    const __m256i y = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1)), fold);
    __m256i hit = _mm256_setzero_si256();
    for (size_t i = 0; i < count && i < 8; ++i) {
      hit = _mm256_or_si256(hit, _mm256_and_si256(_mm256_cmpeq_epi8(x, firsts[i]), _mm256_cmpeq_epi8(y, seconds[i])));
    }
    for (unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(hit)); mask != 0; mask &= mask - 1) {
      if (!found(p + __builtin_ctz(mask))) return false;
    }
  }
  return findFoldedPairsTail(p, stop, pairs, count, found);
}

bool haveWideVectors() {
  static const bool have = __builtin_cpu_supports("avx2") != 0;
  return have;
}
#endif

template <typename Found>
bool findFoldedPairs(const char* from, const char* stop, const char (*pairs)[2], size_t count, Found found) {
#if defined(__x86_64__) && defined(__GNUC__)
  if (haveWideVectors()) return findFoldedPairsWide(from, stop, pairs, count, found);
#endif
  const char* p = from;
#if defined(__SSE2__)
  const __m128i fold = _mm_set1_epi8(0x20);
  __m128i firsts[8];
  __m128i seconds[8];
  for (size_t i = 0; i < count && i < 8; ++i) {
    firsts[i] = _mm_set1_epi8(pairs[i][0]);
    seconds[i] = _mm_set1_epi8(pairs[i][1]);
  }
  for (; stop - p >= 16; p += 16) {
    const __m128i x = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), fold);
    const __m128i y = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1)), fold);
    __m128i hit = _mm_setzero_si128();
    for (size_t i = 0; i < count && i < 8; ++i) {
      hit = _mm_or_si128(hit, _mm_and_si128(_mm_cmpeq_epi8(x, firsts[i]), _mm_cmpeq_epi8(y, seconds[i])));
    }
    for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit)); mask != 0; mask &= mask - 1) {
      if (!found(p + __builtin_ctz(mask))) return false;
    }
  }
#endif
  return findFoldedPairsTail(p, stop, pairs, count, found);
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
  const char pair[2] = {folded(entry.text[0]), folded(entry.text[1])};
  for (size_t i = 0; i < std::min(pairCount_, kMaxPairs); ++i) {
    if (pairs_[i][0] == pair[0] && pairs_[i][1] == pair[1]) return;
  }
  if (pairCount_ < kMaxPairs) std::memcpy(pairs_[pairCount_], pair, 2);
  ++pairCount_;
}

void NameRewriter::rewrite(char* window, size_t length, size_t limit) {
  limit = std::min(limit, length);
  // Every entry is at least two bytes long (add), so a start lies below
  // length - 1.
  const size_t stop = std::min(limit, length > 0 ? length - 1 : 0);
  candidateCount_ = 0;
  if (count_ == 0 || pairCount_ > kMaxPairs || !collectCandidates(window, 0, stop)) {
    return rewriteScanning(0, window, length, limit);
  }
  for (size_t i = 0; i < count_; ++i) {
    Entry& entry = entries_[i];
    size_t at = entry.resume;
    const size_t* next = std::lower_bound(candidates_, candidates_ + candidateCount_, at);
    for (; next != candidates_ + candidateCount_ && *next < limit; ++next) {
      const size_t p = *next;
      if (p < at || entry.length > length - p || !equalNoCase(window + p, entry.text, entry.length)) continue;
      const size_t changed = rewriteAt(entry, window, length, p);
      at = p + entry.length;
      // What the rewrite wrote may start a pair itself.
      if (!collectCandidates(window, p > 0 ? p - 1 : 0, std::min(changed, stop))) {
        entry.resume = at;
        return rewriteScanning(i, window, length, limit);
      }
      next = std::lower_bound(candidates_, candidates_ + candidateCount_, at) - 1;
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

bool NameRewriter::collectCandidates(const char* window, size_t from, size_t to) {
  if (from >= to) return true;
  return findFoldedPairs(window + from, window + to, pairs_, pairCount_, [&](const char* hit) {
    const size_t p = static_cast<size_t>(hit - window);
    size_t* end = candidates_ + candidateCount_;
    size_t* place = std::lower_bound(candidates_, end, p);
    if (place != end && *place == p) return true;
    if (candidateCount_ == kMaxCandidates) return false;
    std::memmove(place + 1, place, static_cast<size_t>(end - place) * sizeof *place);
    *place = p;
    ++candidateCount_;
    return true;
  });
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
  return 0;
}

void PrefixRewriter::rewrite(char* window, size_t length, size_t limit) {
  limit = std::min(limit, length);
  size_t at = resume_;
  if (length_ >= 2 && length >= length_) {
    // Candidates where the first two bytes stand; a replacement changes only
    // its own bytes, so the starts found behind it stay valid.
    const char pair[1][2] = {{folded(old_[0]), folded(old_[1])}};
    const size_t stop = std::min(limit, length - length_ + 1);
    (void)findFoldedPairs(window + std::min(at, stop), window + stop, pair, 1, [&](const char* hit) {
      const size_t p = static_cast<size_t>(hit - window);
      if (p >= at && std::memcmp(hit, old_, length_) == 0) {
        std::memcpy(window + p, new_, length_);
        at = p + length_;
      }
      return true;  // the search runs to the end: no early stop
    });
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
  if (chunk != nullptr) names.rewrite(chunk, length, length);
  return 1;
}
