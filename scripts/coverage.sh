#!/usr/bin/env bash
# Line and branch coverage of the product code (app/, volume/, image/, cmdline/, platform/) by the plain
# test suite: an unoptimised build with gcov instrumentation, the suite run once, gcovr's summary.
#
#     bash scripts/coverage.sh [BUILD-DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/coverage}
bash scripts/install-deps.sh
command -v gcovr >/dev/null || { export DEBIAN_FRONTEND=noninteractive; apt-get update -q; apt-get install -y -q gcovr; }
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DVESK_BENCH=OFF -DCMAKE_CXX_FLAGS=--coverage \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
find "$build" -name '*.gcda' -delete
ctest --test-dir "$build" -j "$(nproc)" >/dev/null || ctest --test-dir "$build" --rerun-failed --output-on-failure
gcovr -r . -f 'app/' -f 'volume/' -f 'image/' -f 'cmdline/' -f 'platform/' -e 'platform/windows/' \
  --exclude-unreachable-branches --exclude-throw-branches -s -o "$build/coverage.txt" "$build"
tail -n 4 "$build/coverage.txt"
