// The frame every template setter of the parameter strings shares.
#ifndef JULIB_SRC_PARAM_STRING_INTERNAL_H
#define JULIB_SRC_PARAM_STRING_INTERNAL_H

#include "julib/internal/filled_ranges.h"

namespace julib::internal {

// Drops the old text and its filled ranges, restarts the counter, builds the
// new template and keeps the outcome in the error flag. 0, or 1.
template <typename P, typename Build>
int setTemplate(P& p, FilledRanges& filled, Build build) {
  p.release();
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
