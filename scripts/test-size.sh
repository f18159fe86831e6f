#!/usr/bin/env bash
# The size of the test code beside the product's: lines (wc -l) of the committed .cpp, .h, .py and
# .sh files under app/ volume/ image/ cmdline/ platform/ (product) and tests/ fuzz/ (tests). Golden texts,
# transcripts and recipes are data and do not count; tools/ and bench/ count as neither.
set -euo pipefail
cd "$(dirname "$0")/.."
lines() { git ls-files -z -- "$@" | grep -zE '\.(cpp|h|py|sh)$' | xargs -0 cat | wc -l; }
product=$(lines app volume image cmdline platform)
tests=$(lines tests fuzz)
echo "product $product lines, tests $tests lines, ratio $(awk "BEGIN { printf \"%.2f\", $tests / $product }")"
