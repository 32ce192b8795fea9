// The frame every template setter of the parameter strings shares.
#ifndef JULIB_SRC_PARAM_STRING_INTERNAL_H
#define JULIB_SRC_PARAM_STRING_INTERNAL_H

#include "julib/internal/filled_ranges.h"
#include "string_family.h"

namespace julib::internal {

// Drops the old text and its filled ranges, restarts the counter, builds the
// new template and keeps the outcome in the error flag. 0, or 1. The build
// starts from a string without a buffer, as after release, but the old
// buffer is freed only after it: the new template may be read from it.
template <typename P, typename Build>
int setTemplate(P& p, FilledRanges& filled, Build build) {
  typename StringFamily<CharOf<P>>::String previous;
  previous.data = p.data;
  previous.capacity = p.capacity;
  previous.owns = p.owns;
  p.data = nullptr;
  p.capacity = 0;
  resetLength(p);
  filled.clear();
  p.paramCounter = 0;
  const int status = build() != 0 ? 1 : 0;
  if (status != 0) {
    p.flags |= P::kErrorFlag;
  } else {
    p.flags &= ~P::kErrorFlag;
  }
  return status;
}

}  // namespace julib::internal

#endif  // JULIB_SRC_PARAM_STRING_INTERNAL_H
