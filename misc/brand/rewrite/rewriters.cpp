// The rewriting of a driver file's bytes: search entries and the message
// prefix, window by window.

#include "rewrite/rewriters.h"

#include <algorithm>
#include <cstring>

#include "julib/object.h"
#include "platform/checked_size.h"
#include "platform/utf16.h"
#include "text/ascii.h"
#include "text/brand_text.h"

namespace brandrewrite {

namespace {

using brandtext::isDigit;
using brandtext::lowerAscii;
using brandtext::upperAscii;

constexpr char kMakerProvider[] = "BRISKLANE CLOSED XML ADO PROVIDER";
constexpr char kMakerProviderAsShipped[] = "Brisklane Closed XML ADO Provider";
constexpr char kOldMessagePrefix[] = "[Brisklane][ODBC ";
constexpr char kHelpExtension[] = ".HLP";
// The 16th to 19th characters of "{xxxxxxxx-xxxx-xxxx-...}": the third group.
constexpr size_t kClsidDigits = 15;
constexpr size_t kClsidMinimum = kClsidDigits + 4;

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

}  // namespace

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

int NameRewriter::prepare(const NameSettings& settings, size_t capacity) {
  settings_ = settings;
  helpExtension_.prepare(kHelpExtension, sizeof kHelpExtension - 1, true);
  if (std::strlen(brandtext::orEmpty(settings.filePrefix)) < 2 || capacity == 0) return 0;
  size_t bytes = 0;
  if (!platform::multiplySizes(&bytes, capacity, sizeof(Entry))) {
    juReportOutOfMemory();
    return 1;
  }
  entries_ = static_cast<Entry*>(juMallocChecked(bytes));
  if (entries_ == nullptr) return 1;
  capacity_ = capacity;
  return 0;
}

int NameRewriter::add(const char* text) {
  const size_t n = std::strlen(brandtext::orEmpty(text));
  if (n == 0 || count_ == capacity_) return 0;
  Entry entry;
  entry.length = n;
  entry.text = copyWith(text, n, upperAscii);
  if (entry.text == nullptr) return 1;
  const char* brace = static_cast<const char*>(std::memchr(entry.text, '}', n));
  char* replacement = nullptr;
  const char* filePrefix = settings_.filePrefix;
  if (brace != nullptr) {
    // Only a whole CLSID has the digits to replace.
    if (brace != entry.text + n - 1 || n < kClsidMinimum) {
      juFree(entry.text);
      return 0;
    }
    entry.kind = EntryKind::kClsid;
    replacement = brandtext::copy(entry.text, n);
    if (replacement != nullptr) {
      for (size_t i = 0; i < 2; ++i) {
        const auto byte = static_cast<unsigned char>(upperAscii(filePrefix[i]));
        replacement[kClsidDigits + 2 * i] = brandtext::hexDigit(byte >> 4);
        replacement[kClsidDigits + 2 * i + 1] = brandtext::hexDigit(byte & 0x0F);
      }
    }
  } else if (std::strcmp(entry.text, kMakerProvider) == 0) {
    const char* provider = settings_.xmlProviderName;
    if (provider == nullptr || std::strcmp(provider, kMakerProviderAsShipped) == 0) {
      juFree(entry.text);
      return 0;
    }
    entry.kind = EntryKind::kWholeText;
    replacement = brandtext::copy(provider);
  } else if (settings_.newVersion != nullptr && isVersionText(entry.text, n)) {
    const char16_t* version = settings_.newVersion;
    char digits[6] = {};
    for (size_t i = 0; i < 5; ++i) {
      if (version[i] == 0 || version[i] > 0x7F) {  // no version to write
        juFree(entry.text);
        return 0;
      }
      digits[i] = static_cast<char>(version[i]);
    }
    entry.kind = EntryKind::kVersion;
    replacement = brandtext::copy(digits, 5);
  } else {
    // Two characters go over the occurrence: it must hold two.
    if (n < 2) {
      juFree(entry.text);
      return 0;
    }
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
    return 1;
  }
  entry.search.prepare(entry.text, n, true);
  reach_ = std::max(reach_, n);
  if (entry.kind == EntryKind::kWholeText) reach_ = std::max(reach_, entry.replacementLength + 1);
  entries_[count_++] = entry;
  return 0;
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
      if (p < at || entry.length > length - p || !entry.search.matchesAt(window + p)) continue;
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
      const char* hit = entry.search.find(window + at, window + length);
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
  if (n > 6 && brandtext::endsWith(name, n, "kj.dll")) {
    name[n - 6] = replacement[0];
    name[n - 5] = replacement[1];
    return n;
  }
  const bool named = (n > 4 && brandtext::endsWith(name, n, ".dll")) ||
                     (n > 2 && brandtext::isLetter(name[n - 2]) && brandtext::endsWith(name, n, "tc")) ||
                     settings_.siblingMode || (n > 7 && helpExtension_.find(name + 7, name + n) != nullptr);
  if (!named) return 0;
  name[0] = replacement[0];
  name[1] = replacement[1];
  const char* suffix = settings_.suffix;
  if (suffix == nullptr) return 2;
  const char* dot = static_cast<const char*>(std::memchr(name, '.', n));
  const size_t end = dot != nullptr ? static_cast<size_t>(dot - name) : n;
  // The suffix goes behind the prefix, never over it or before the name.
  if (end >= 4) {
    name[end - 2] = suffix[0];
    name[end - 1] = suffix[1];
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
  search_.prepare(old_, length_, false);
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
      for (const char* p = search_.find(window + std::min(at, stop), window + stop + length_ - 1); p != nullptr;
           p = search_.find(window + at, window + stop + length_ - 1)) {
        replace(static_cast<size_t>(p - window));
      }
    }
  }
  resume_ = resumeAfter(at, limit);
}

// ---------------------------------------------------------------------------
// One whole chunk.
// ---------------------------------------------------------------------------

int replaceMessagePrefix(char* chunk, size_t length, const char* oldPattern, size_t oldLength, const char* newPattern,
                         size_t newLength) {
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

void rewriteChunk(NameRewriter& names, char* chunk, size_t length) {
  if (chunk == nullptr) return;
  Candidates candidates;
  names.addPairsTo(candidates);
  candidates.start(chunk, length, length);
  names.rewrite(chunk, length, length, candidates);
}

}  // namespace brandrewrite
