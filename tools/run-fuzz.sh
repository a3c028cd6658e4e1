#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time, all at once.
# Seeds: fuzz/corpus/<name>/ (checked in) plus whatever tools/make-fuzz-seeds writes at run time.
# Undefined behaviour stops a target as a memory error does: the fuzz build makes it fatal.
set -euo pipefail
seconds=${1:-30}
cd "$(dirname "$0")/.."
ls fuzz/*.cpp >/dev/null 2>&1 || { echo "no fuzz targets"; exit 0; }
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQX_FUZZ=ON >/dev/null
cmake --build build-fuzz -j "$(nproc)"
out=build-fuzz/runs
rm -rf "$out" && mkdir -p "$out"
pids=()
names=()
for src in fuzz/*.cpp; do
  name=$(basename "$src" .cpp)
  corpus="$out/corpus-$name"
  mkdir -p "$corpus"
  [[ -d "fuzz/corpus/$name" ]] && cp -r "fuzz/corpus/$name/." "$corpus/"
  ( cd "$out" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 "../fuzz_$name" -max_total_time="$seconds" -rss_limit_mb=2048 \
      -timeout=20 -print_final_stats=1 "corpus-$name" >"$name.log" 2>&1 ) &
  pids+=($!)
  names+=("$name")
done
failed=0
for i in "${!pids[@]}"; do
  if ! wait "${pids[$i]}"; then
    echo "fuzz target ${names[$i]} failed:"; tail -n 60 "$out/${names[$i]}.log"; failed=1
  else
    echo "fuzz target ${names[$i]}: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$out/${names[$i]}.log" || echo ran)"
  fi
done
exit $failed
