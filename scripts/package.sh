#!/usr/bin/env bash
# Installs what is missing, then builds the Debian package of vesk: a Release build of the program
# alone, then CPack, which computes the run-time dependencies with dpkg-shlibdeps. Prints the
# package's path.
# Usage: scripts/package.sh [build folder, default build/package]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh >&2
build=${1:-build/package}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVESK_TESTS=OFF -DVESK_BENCH=OFF >/dev/null
cmake --build "$build" --target vesk -j "$(nproc)" >/dev/null
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/vesk_*_*.deb
