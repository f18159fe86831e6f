#!/usr/bin/env bash
# Checks the formatting of every C++ source, then builds the whole suite twice, plain and under
# AddressSanitizer with UndefinedBehaviorSanitizer, warnings as errors, and runs it both times; then
# the tests of the reader threads under ThreadSanitizer (scripts/test-threads.sh). Exits non-zero if
# anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
echo "== formatting"
# Every C++ source of the project's folders (the checkout may come without git).
find app volume image cmdline platform tests fuzz tools bench \( -name '*.cpp' -o -name '*.h' \) -print0 |
  xargs -0 clang-format --dry-run -Werror
jobs=$(nproc)
for variant in plain sanitize; do
  dir=build/test-$variant
  flag=OFF; [ $variant = sanitize ] && flag=ON
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESK_SANITIZE=$flag \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "== $variant suite"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
done
echo "== reader threads under ThreadSanitizer"
bash scripts/test-threads.sh
