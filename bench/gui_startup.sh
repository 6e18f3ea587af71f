#!/usr/bin/env bash
# Start-up time of the window beside a minimal GTK 3 program, both under Xvfb: builds the
# optimised programs and prints each median and the ratio.
#   bench/gui_startup.sh [RUNS]     (default 15 runs of each)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ORVANTA_BENCH_DIR:-build/bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DORVANTA_BUILD_TESTS=OFF \
  -DORVANTA_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target bench_gui_startup >/dev/null
exec "$build/bench/bench_gui_startup" --runs "${1:-15}"
