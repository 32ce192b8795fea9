// Converter calls that stop between two characters. When the destination
// cannot hold the next character whole, ICU writes what fits of it, keeps
// the rest for its next call and moves the source past the character; these
// calls take that part back out, so that the destination ends after the
// last whole character and the source resumes at the first one not written.

#include <unicode/ucnv.h>

#include <cstddef>

#include "codepage_workers.h"

namespace julib::internal {
namespace {

// Room for the last call, which is traced with ICU's offsets in an array on
// the stack: more than ICU ever keeps back of one character (its overflow
// buffers hold 32 units), so that what it writes first of a character cut
// by the call before is always followed by characters of its own.
constexpr ptrdiff_t kTracedUnits = 96;

// The two directions of a converter, told apart by their unit types.
template <typename Out, typename In>
struct Direction;

template <>
struct Direction<char16_t, char> {
  static void convert(UConverter* converter, char16_t** out, const char16_t* limit, const char** in, const char* end,
                      int32_t* offsets, bool flush, UErrorCode* error) {
    ucnv_toUnicode(converter, out, limit, in, end, offsets, flush, error);
  }
  static void reset(UConverter* converter) { ucnv_resetToUnicode(converter); }
};

template <>
struct Direction<char, char16_t> {
  static void convert(UConverter* converter, char** out, const char* limit, const char16_t** in, const char16_t* end,
                      int32_t* offsets, bool flush, UErrorCode* error) {
    ucnv_fromUnicode(converter, out, limit, in, end, offsets, flush, error);
  }
  static void reset(UConverter* converter) { ucnv_resetFromUnicode(converter); }
};

// Whether the converter kept back part of a character after a cut (a call
// without input writes it out); resets its direction either way, so that it
// holds nothing for its next call.
template <typename Out, typename In>
bool dropKeptBack(UConverter* converter) {
  Out scratch[kTracedUnits];
  Out* out = scratch;
  const In nothing{};
  const In* in = &nothing;
  UErrorCode error = U_ZERO_ERROR;
  Direction<Out, In>::convert(converter, &out, scratch + kTracedUnits, &in, in, nullptr, false, &error);
  Direction<Out, In>::reset(converter);
  return out != scratch;
}

// The units [0, n) that a traced call wrote, with ICU's offsets from `in`
// (-1 for units of no source unit: shift sequences, a byte-order mark).
// Returns how many of them stay: the units of `cutKey`, and the unowned
// units that lead them, go. Sets `resume` to a source unit of `cutKey`
// when one of its units is found.
template <typename In, typename KeyOf>
ptrdiff_t unitsBefore(const int32_t* offsets, ptrdiff_t n, const In* in, int32_t cutKey, const KeyOf& keyOf,
                      const In*& resume) {
  ptrdiff_t kept = n;
  for (; kept > 0; --kept) {
    const int32_t offset = offsets[kept - 1];
    if (offset < 0) continue;
    if (keyOf(in + offset) != cutKey) break;
    resume = in + offset;
  }
  return kept;
}

template <typename Out, typename In>
UErrorCode convertWholeChars(UConverter* converter, Out*& out, Out* limit, const In*& in, const In* end, bool flush,
                             const int32_t* keys) {
  using D = Direction<Out, In>;
  const In* const start = in;
  UErrorCode error = U_ZERO_ERROR;
  if (limit - out > kTracedUnits) {
    // Most of the text in one call; only what lands near the end is traced.
    D::convert(converter, &out, limit - kTracedUnits, &in, end, nullptr, flush, &error);
    if (error != U_BUFFER_OVERFLOW_ERROR) return error;
    error = U_ZERO_ERROR;
  }
  Out* const traced = out;
  const In* const tracedIn = in;
  int32_t offsets[kTracedUnits];
  D::convert(converter, &out, limit, &in, end, offsets, flush, &error);
  if (error != U_BUFFER_OVERFLOW_ERROR) return error;

  const auto keyOf = [&](const In* p) { return keys != nullptr ? keys[p - start] : static_cast<int32_t>(p - start); };
  const ptrdiff_t n = out - traced;
  // The character to cut before: the one ICU kept part of (the last one
  // with units written), else the one it would have converted next.
  const In* resume = in;
  int32_t cutKey = keyOf(in);
  if (dropKeptBack<Out, In>(converter)) {
    resume = tracedIn;
    cutKey = keyOf(tracedIn);
    for (ptrdiff_t i = n; i > 0; --i) {
      if (offsets[i - 1] < 0) continue;
      resume = tracedIn + offsets[i - 1];
      cutKey = keyOf(resume);
      break;
    }
  }
  Out* const cut = traced + unitsBefore(offsets, n, tracedIn, cutKey, keyOf, resume);
  for (Out* p = cut; p < out; ++p) *p = 0;
  out = cut;
  in = resume;
  return U_BUFFER_OVERFLOW_ERROR;
}

}  // namespace

UErrorCode toUnicodeWholeChars(UConverter* converter, char16_t*& out, char16_t* limit, const char*& in,
                               const char* end, bool flush) {
  return convertWholeChars<char16_t, char>(converter, out, limit, in, end, flush, nullptr);
}

UErrorCode fromUnicodeWholeChars(UConverter* converter, char*& out, char* limit, const char16_t*& in,
                                 const char16_t* end, bool flush, const int32_t* keys) {
  return convertWholeChars<char, char16_t>(converter, out, limit, in, end, flush, keys);
}

}  // namespace julib::internal
