#!/usr/bin/env bash
# Builds the fuzz targets (fuzz/) with clang, AddressSanitizer and UndefinedBehaviorSanitizer, and
# runs each for SECONDS seconds (default 60) from its committed seeds, one after the other.
# Exits non-zero if any target finds a crash, a hang (an input taking over a second, three for the
# disk target), a leak or a sanitizer report; the input is left in build/fuzz/findings/.
#
#     bash scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bash scripts/install-deps.sh
missing=()
for p in clang libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

targets=(record run_list index search rows shadow disk drive_value)
build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESK_FUZZ=ON \
  -DVESK_TESTS=OFF -DVESK_BENCH=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/%/_fuzzer}"

export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/fuzz/lsan.supp
mkdir -p "$build/findings"
failed=()
for target in "${targets[@]}"; do
  # New inputs go to a corpus of the build, so the committed seeds stay as they are.
  corpus=$build/corpus/$target
  mkdir -p "$corpus"
  echo "== $target: ${seconds} s"
  log=$build/findings/$target.log
  # The disk target writes a disk of up to 4 MiB to a file and has it probed whole before the
  # search: a few tenths of a second for a sound one, so a hang is what takes three seconds.
  limit=1; [ "$target" = disk ] && limit=3
  if ! nice -n 10 "$build/fuzz/${target}_fuzzer" "$corpus" "fuzz/corpus/$target" \
      -max_total_time="$seconds" -timeout=$limit -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/findings/$target-" >"$log" 2>&1; then
    failed+=("$target")
  fi
  tail -n 40 "$log"
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found defects in: ${failed[*]} (inputs in $build/findings)" >&2
  exit 1
fi
