#!/usr/bin/env bash
# Installs what is missing, builds vesk and the test-volume builder, makes a sample NTFS volume
# from a committed recipe, and searches it for every .txt file with its MFT record number and size.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=build/sample
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVESK_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target vesk vesk-mkvol
image=$build/sample.img
"$build/tools/mkvol/vesk-mkvol" build tests/volumes/basic.recipe "$image"
# vesk writes names in the locale's character set; the sample holds names in several scripts.
if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then
  export LC_ALL=C.UTF-8
fi
echo
echo "\$ vesk \"*.txt\" -si -ssize -d $image"
"$build/app/vesk" "*.txt" -si -ssize -d "$image"
