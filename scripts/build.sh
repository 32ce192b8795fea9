#!/usr/bin/env bash
# Configures and builds one build directory.
#   scripts/build.sh [normal|sanitize] [extra cmake arguments...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
flavour=${1:-normal}
shift || true
case "$flavour" in
  normal) dir="$top/build/normal"; flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  sanitize) dir="$top/build/sanitize"; flags=(-DCMAKE_BUILD_TYPE=Debug -DJU_SANITIZE=ON -DJU_BUILD_BENCH=OFF) ;;
  *) echo "usage: $0 [normal|sanitize]" >&2; exit 2 ;;
esac
cmake -S "$top" -B "$dir" -G Ninja "${flags[@]}" "$@" >/dev/null
cmake --build "$dir"
