#!/usr/bin/env bash
# Installs what is missing, builds with the address and undefined-behaviour sanitizers, runs every
# test once (under a virtual X server when there is no display), then runs each fuzz target briefly.
# A test that fails once fails the run: no test is run again to let it pass.
#   ./test.sh                  everything, as CI runs it
#   ./test.sh --repeat-gl N    builds, then runs the GL tests N times in a row and lists every
#                              failure: finds the test that fails by chance before it lands
# Environment: QX_FUZZ_SECONDS (default 30) per fuzz target; QX_SKIP_FUZZ=1 skips fuzzing.
set -euo pipefail
cd "$(dirname "$0")"

usage() { echo "usage: $0 [--repeat-gl N]" >&2; exit 2; }
repeat_gl=0
case $# in
  0) ;;
  2) [[ $1 == --repeat-gl && $2 =~ ^[1-9][0-9]*$ ]] || usage; repeat_gl=$2 ;;
  *) usage ;;
esac

bash tools/install-deps.sh tools/packages.txt tools/packages-interop.txt

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQX_SANITIZE=ON >/dev/null
cmake --build build -j "$jobs"

# Ours first, so that options the caller sets win. intercept_tls_get_addr=0 is for the programs
# that are not linked with the test main (benchmark checks, interop tools), which sets it itself
# and says why: without it the leak check at exit can fault on a GL driver's thread-local block.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:intercept_tls_get_addr=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

if [[ -z "${DISPLAY:-}" ]]; then
  # Our own X server on a display number it picks itself (-displayfd), so runs that happen at the
  # same time on one machine never share or race for a display. -noreset: otherwise the server
  # resets whenever its last client leaves and drops the connections still being opened
  # meanwhile; with test processes coming and going all the time, a test starting at that moment
  # was refused ("could not connect to display").
  displayfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$displayfile" >/dev/null 2>&1 &
  xvfb_pid=$!
  trap 'kill "$xvfb_pid" 2>/dev/null; rm -f "$displayfile"' EXIT
  for _ in $(seq 100); do
    [[ -s "$displayfile" ]] && break
    sleep 0.1
  done
  [[ -s "$displayfile" ]] || { echo "test.sh: the X server did not start" >&2; exit 1; }
  export DISPLAY=":$(head -n1 "$displayfile")"
fi
ctest_cmd=(ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600)

if ((repeat_gl > 0)); then
  logs=build/repeat-gl
  rm -rf "$logs" && mkdir -p "$logs"
  failed_runs=0
  for ((run = 1; run <= repeat_gl; ++run)); do
    log="$logs/run$run.log"
    if "${ctest_cmd[@]}" -L gl >"$log" 2>&1; then
      echo "run $run of $repeat_gl: passed"
    else
      failed_runs=$((failed_runs + 1))
      echo "run $run of $repeat_gl: FAILED ($log)"
      sed -n '/^The following tests FAILED:/,$p' "$log" | grep -E '^\s+[0-9]+ - ' || tail -n 5 "$log"
    fi
  done
  echo "test.sh: $failed_runs of $repeat_gl runs of the GL tests failed"
  exit $((failed_runs > 0))
fi

"${ctest_cmd[@]}"

if [[ "${QX_SKIP_FUZZ:-0}" != 1 ]]; then
  bash tools/run-fuzz.sh "${QX_FUZZ_SECONDS:-30}"
fi
echo "test.sh: all tests passed"
