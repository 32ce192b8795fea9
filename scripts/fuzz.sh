#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer and runs each for a while
# under AddressSanitizer and UndefinedBehaviorSanitizer.
#   scripts/fuzz.sh [seconds per target, default 60] [target name...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
"$top/scripts/install-deps.sh"
missing=()
for p in clang libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
dir="$top/build/fuzz"
CC=clang CXX=clang++ cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DJU_BUILD_FUZZ=ON -DJU_BUILD_TESTS=OFF -DJU_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir"
targets=("$@")
if ((${#targets[@]} == 0)); then
  for f in "$dir"/fuzz/*_fuzz; do targets+=("$(basename "$f")"); done
fi
for t in "${targets[@]}"; do
  corpus="$dir/corpus/$t"
  mkdir -p "$corpus"
  echo "=== $t ($seconds s)"
  "$dir/fuzz/$t" -max_total_time="$seconds" -print_final_stats=1 "$corpus" 2>&1 | grep -E "stat::number_of_executed_units|stat::average_exec_per_sec|ERROR|SUMMARY" || true
done
