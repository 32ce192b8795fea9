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
targets=("$@")
if ((${#targets[@]} == 0)); then
  for f in "$top"/fuzz/*_fuzz.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
# Only the targets and what they link: the shared libraries (trace library,
# stand-in) are not built for fuzzing.
cmake --build "$dir" --target "${targets[@]}"
failed=()
for t in "${targets[@]}"; do
  corpus="$dir/corpus/$t"
  mkdir -p "$corpus"
  echo "=== $t ($seconds s)"
  # The whole output stays in build/fuzz/<target>.out; a crash fails the run.
  status=0
  "$dir/fuzz/$t" -max_total_time="$seconds" -print_final_stats=1 "$corpus" >"$dir/$t.out" 2>&1 || status=$?
  grep -E "stat::number_of_executed_units|stat::average_exec_per_sec|ERROR|SUMMARY" "$dir/$t.out" || true
  if ((status != 0)); then
    echo "$t failed with status $status: see $dir/$t.out" >&2
    failed+=("$t")
  fi
done
((${#failed[@]} == 0)) || exit 1
