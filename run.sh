#!/usr/bin/env bash
# Installs what is missing, builds QuarlexII and starts it (under a virtual X server when there is
# no display). Arguments are passed to the program (a project file to open).
# QUARLEX_NO_ABOUT=1 skips the about box at start-up.
set -euo pipefail
cd "$(dirname "$0")"
bash tools/install-deps.sh tools/packages.txt
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release -j "$(nproc)" --target quarlex
if [[ -z "${DISPLAY:-}" ]]; then
  echo "run.sh: no display found; starting QuarlexII under a virtual X server (Xvfb)."
  exec xvfb-run -a -s "-screen 0 1600x1000x24" build-release/app/quarlex "$@"
fi
exec build-release/app/quarlex "$@"
