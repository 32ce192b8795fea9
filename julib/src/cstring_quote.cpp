// Quoting and unquoting with a quote character, and bracket removal. Narrow
// and UTF-16 forms share one walk each; they differ only in how long a
// character is (a double-byte or UTF-8 character, a surrogate pair).

#include "cstring_internal.h"
#include "julib/cstring.h"

#include <cstring>

using julib::internal::charLen;
using julib::internal::isHighSurrogate;
using julib::internal::isLeadByte;

namespace {

constexpr size_t kUnbounded = SIZE_MAX;

// Character lengths for the walks below.
struct NarrowByKind {
  JuCodePageKind kind;
  size_t operator()(const char* p) const { return charLen(p, kind); }
};
struct NarrowAnsi {
  size_t operator()(const char* p) const { return isLeadByte(*p) ? 2 : 1; }
};
struct WidePairs {
  size_t operator()(const char16_t* p) const { return isHighSurrogate(*p) ? 2 : 1; }
};

// Writes quote, the n units of src with each one-unit quote doubled, quote
// and a terminator. `room` bounds the content written between the quotes; a
// character cut by n or by the room ends the content. Returns the end.
template <typename Unit, typename CharLen>
Unit* quoteInto(Unit* dst, size_t room, const Unit* src, size_t n, Unit quote, CharLen charLenAt) {
  Unit* out = dst;
  *out++ = quote;
  for (size_t i = 0; i < n;) {
    const size_t len = charLenAt(src + i);
    if (len > n - i) break;
    const bool doubled = len == 1 && src[i] == quote;
    const size_t need = doubled ? 2 : len;
    if (need > room) break;
    if (doubled) {
      *out++ = quote;
      *out++ = quote;
    } else {
      std::memcpy(out, src + i, len * sizeof(Unit));
      out += len;
    }
    room -= need;
    i += len;
  }
  *out++ = quote;
  *out = Unit{0};
  return out;
}

// The bounded form: sizes below 4 hold no content (3: two quotes; 1 or 2: an
// empty text; 0: nothing written).
template <typename Unit, typename CharLen>
Unit* quoteBounded(Unit* dst, size_t size, const Unit* src, size_t n, Unit quote, CharLen charLenAt) {
  if (size == 0) return dst;
  if (size < 3) {
    dst[0] = Unit{0};
    return dst;
  }
  // Room for the content: size less the two quotes and the terminator.
  return quoteInto(dst, size - 3, src, n, quote, charLenAt);
}

// Copies the inner text of n units (the first unit is the quote, the last is
// taken as the closing one): a quote is dropped and the unit after it
// copied; a character is copied whole unless the `limit` on units written
// cuts it, which keeps its first part. Writes a terminator, returns the end.
template <typename Unit, typename CharLen>
Unit* unquoteInto(Unit* dst, size_t limit, const Unit* src, size_t n, CharLen charLenAt) {
  size_t written = 0;
  if (n >= 3) {
    const Unit quote = src[0];
    const size_t end = n - 1;  // inner text: [1, end)
    for (size_t i = 1; i < end && written < limit;) {
      if (src[i] == quote) {
        if (++i < end) dst[written++] = src[i++];
        continue;
      }
      size_t len = charLenAt(src + i);
      if (len > end - i) len = end - i;  // the closing quote is no part of it
      if (len > limit - written) len = limit - written;
      std::memmove(dst + written, src + i, len * sizeof(Unit));
      written += len;
      i += len;
    }
  }
  dst[written] = Unit{0};
  return dst + written;
}

inline char narrowQuote(uint16_t quote) { return static_cast<char>(quote & 0xFF); }

}  // namespace

// --- Quoting ----------------------------------------------------------------------

char* juStrNQuote(char* dst, const char* src, size_t n, JuCodePageKind kind, uint16_t quote) {
  return quoteInto(dst, kUnbounded, src, n, narrowQuote(quote), NarrowByKind{kind});
}

char* juStrQuote(char* dst, const char* src, JuCodePageKind kind, uint16_t quote) {
  return juStrNQuote(dst, src, std::strlen(src), kind, quote);
}

char* juStrCatQuoted(char* dst, const char* src, JuCodePageKind kind, uint16_t quote) {
  return juStrQuote(dst + std::strlen(dst), src, kind, quote);
}

char* juStrNQuoteBounded(char* dst, size_t size, const char* src, size_t n, JuCodePageKind kind, uint16_t quote) {
  return quoteBounded(dst, size, src, n, narrowQuote(quote), NarrowByKind{kind});
}

char16_t* juWStrNQuote(char16_t* dst, const char16_t* src, size_t n, uint16_t quote) {
  return quoteInto(dst, kUnbounded, src, n, static_cast<char16_t>(quote), WidePairs{});
}

char16_t* juWStrNQuoteBounded(char16_t* dst, size_t size, const char16_t* src, size_t n, uint16_t quote) {
  return quoteBounded(dst, size, src, n, static_cast<char16_t>(quote), WidePairs{});
}

// --- Unquoting copies ---------------------------------------------------------------

char* juStrNUnquote(char* dst, const char* src, size_t n) { return unquoteInto(dst, kUnbounded, src, n, NarrowAnsi{}); }

char* juStrUnquote(char* dst, const char* src) { return juStrNUnquote(dst, src, std::strlen(src)); }

char* juStrNUnquoteBounded(char* dst, size_t size, const char* src, size_t n) {
  if (size == 0) return dst;
  return unquoteInto(dst, size - 1, src, n, NarrowAnsi{});
}

char16_t* juWStrNUnquote(char16_t* dst, const char16_t* src, size_t n) {
  return unquoteInto(dst, kUnbounded, src, n, WidePairs{});
}

char16_t* juWStrNUnquoteBounded(char16_t* dst, size_t size, const char16_t* src, size_t n) {
  if (size == 0) return dst;
  return unquoteInto(dst, size - 1, src, n, WidePairs{});
}

// --- Unquoting in place ---------------------------------------------------------------

size_t juStrNUnquoteInPlace(char* text, size_t n, uint16_t quote, JuCodePageKind kind) {
  const char q = narrowQuote(quote);
  if (n < 2 || text[0] != q) return n;
  const size_t end = juStrNLastCharIndex(text, n, kind);  // the closing quote
  if (end == 0 || text[end] != q) return n;
  // Well formed only when every inner quote is doubled inside the quotes.
  for (size_t i = 1; i < end;) {
    if (text[i] == q) {
      if (i + 1 >= end || text[i + 1] != q) return n;
      i += 2;
    } else {
      i += charLen(text + i, kind);
    }
  }
  // Characters are moved whole by the same kind that checked the quotes, so
  // a trail byte that equals an ANSI lead byte cannot swallow a quote.
  size_t length = 0;
  for (size_t i = 1; i < end;) {
    if (text[i] == q) {
      text[length++] = q;
      i += 2;
      continue;
    }
    size_t len = charLen(text + i, kind);
    if (len > end - i) len = end - i;
    std::memmove(text + length, text + i, len);
    length += len;
    i += len;
  }
  return length;
}

size_t juStrUnquoteInPlace(char* text, uint16_t quote, JuCodePageKind kind) {
  const size_t length = juStrNUnquoteInPlace(text, std::strlen(text), quote, kind);
  text[length] = '\0';
  return length;
}

size_t juWStrNUnquoteInPlace(char16_t* text, size_t n, uint16_t quote) {
  const char16_t q = static_cast<char16_t>(quote);
  if (n < 2 || text[0] != q || text[n - 1] != q) return n;
  size_t length = 0;
  for (size_t i = 1; i < n - 1; ++i) {
    // A quote stands for the unit after it (a doubled quote for one quote);
    // a quote that is the last inner unit is dropped.
    if (text[i] == q && ++i == n - 1) break;
    text[length++] = text[i];
  }
  text[length] = 0;
  return length;
}

void juWStrUnquoteInPlace(char16_t* text, uint16_t quote) {
  const char16_t q = static_cast<char16_t>(quote);
  if (text[0] != q) return;
  size_t length = 0;
  for (size_t i = 1; text[i] != 0; ++i) {
    // A quote followed by the terminator closes the text.
    if (text[i] == q && text[++i] == 0) break;
    text[length++] = text[i];
  }
  text[length] = 0;
}

// --- Brackets ----------------------------------------------------------------------------

size_t juWStrNUnbracket(char16_t* dst, const char16_t* src, size_t n) {
  if (n < 2 || src[0] != u'[' || src[n - 1] != u']') {
    juWStrNCopy(dst, src, n);
    return n;
  }
  size_t length = 0;
  for (size_t i = 1; i < n - 1;) {
    if (src[i] != u']') {
      dst[length++] = src[i++];
      continue;
    }
    // A "]" pairs with the unit after it and gives one "]"; a "]" that is
    // the last inner unit ends the copy.
    if (i + 1 == n - 1) break;
    dst[length++] = u']';
    i += 2;
  }
  return length;
}
