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
# A test whose process the X connection or the leak checker's thread walk lost at start or exit (seen
# on loaded machines: the leak checker's tracer can fault while the software rasteriser's threads
# end) gets up to two more runs; a test that fails three times fails the build.
ctest_cmd=(ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600 --repeat until-pass:3)
if [[ -z "${DISPLAY:-}" ]]; then
  # Our own X server on a display number it picks itself (-displayfd), so runs that happen at the
  # same time on one machine never share or race for a display.
  displayfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
  xvfb_pid=$!
  trap 'kill "$xvfb_pid" 2>/dev/null; rm -f "$displayfile"' EXIT
  for _ in $(seq 100); do
    [[ -s "$displayfile" ]] && break
    sleep 0.1
  done
  [[ -s "$displayfile" ]] || { echo "test.sh: the X server did not start" >&2; exit 1; }
  export DISPLAY=":$(head -n1 "$displayfile")"
fi
"${ctest_cmd[@]}"

if [[ "${QX_SKIP_FUZZ:-0}" != 1 ]]; then
  bash tools/run-fuzz.sh "${QX_FUZZ_SECONDS:-30}"
fi
echo "test.sh: all tests passed"
