#!/usr/bin/env bash
# Builds the tests that run the reader threads (a device's reads in the background, the prefetch of
# far reads, every image layer read in the background, the program over every container) under
# ThreadSanitizer, and runs them: a data race or a lock-order problem fails the run.
#
#   scripts/test-threads.sh [BUILD_DIR]      (default build/test-threads)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build/test-threads}
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESK_THREAD_SANITIZER=ON -DVESK_BENCH=OFF \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build "$dir" -j "$(nproc)" --target volume_tests platform_tests image_tests vesk
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
for test in tests/volume/volume_tests tests/platform/platform_tests tests/image/image_tests; do
  "$dir/$test" --gtest_brief=1
done
ctest --test-dir "$dir" --output-on-failure -R '^images_equivalence$'
