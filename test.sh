#!/usr/bin/env bash
# Installs what is missing, builds with the address and undefined-behaviour sanitizers, runs every
# test (under a virtual X server when there is no display), then runs each fuzz target briefly.
# Environment: QX_FUZZ_SECONDS (default 30) per fuzz target; QX_SKIP_FUZZ=1 skips fuzzing.
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD

bash tools/install-deps.sh tools/packages.txt tools/packages-interop.txt

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQX_SANITIZE=ON >/dev/null
cmake --build build -j "$jobs"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest_cmd=(ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600)
if [[ -z "${DISPLAY:-}" ]]; then
  xvfb-run -a -s "-screen 0 1280x1024x24" "${ctest_cmd[@]}"
else
  "${ctest_cmd[@]}"
fi

if [[ "${QX_SKIP_FUZZ:-0}" != 1 ]]; then
  bash tools/run-fuzz.sh "${QX_FUZZ_SECONDS:-30}"
fi
echo "test.sh: all tests passed"
