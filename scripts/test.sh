#!/usr/bin/env bash
# The second command of the README: the whole test suite, in a normal build
# and in an AddressSanitizer + UndefinedBehaviorSanitizer build.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
for flavour in normal sanitize; do
  echo "=== $flavour build"
  "$top/scripts/build.sh" "$flavour"
  ctest --test-dir "$top/build/$flavour" --output-on-failure -j "$jobs"
done
