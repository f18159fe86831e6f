#!/usr/bin/env bash
# How vesk's time grows with the volume: each round runs each search on a small volume image and on a
# large one, back to back (which goes first alternates by round), so that both times of a ratio come from
# the same minute of the machine. Prints, for each search, the median of the rounds' ratios large/small with
# their range, and the median times. Warm only: a warm-up round first. Nothing else should run meanwhile.
#
#   bench/scale.sh [-n N] [-vesk PATH] SMALL_IMAGE LARGE_IMAGE
#     -n N        rounds (default 7)
#     -vesk PATH  the program (default: $VESK, else the newest build/*/app/vesk)
set -euo pipefail
export LC_ALL=C.UTF-8

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
RUNS=7
VESK_BIN=${VESK:-}

usage() {
    sed -n '3,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
    exit 2
}

while [[ $# -gt 0 ]]; do
    case $1 in
    -n) RUNS=$2; shift 2 ;;
    -vesk) VESK_BIN=$2; shift 2 ;;
    -*) usage ;;
    *) break ;;
    esac
done
[[ $# -eq 2 ]] || usage
IMAGES=("$1" "$2")
# shellcheck disable=SC2012 # build paths hold no newlines
[[ -n $VESK_BIN ]] || VESK_BIN=$(ls -t "$ROOT"/build/*/app/vesk 2>/dev/null | head -n 1 || true)
[[ -x $VESK_BIN ]] || { echo "scale: vesk not found (give -vesk)" >&2; exit 1; }

SEARCHES=('*.qqq' '*.txt' '* -si')
# seconds SEARCH IMAGE: the wall time of one run, its output thrown away.
seconds() {
    local -a words
    read -r -a words <<<"$1"
    local start=$EPOCHREALTIME
    "$VESK_BIN" "${words[@]}" -d "$2" -silent -JP >/dev/null
    awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.6f\n", b - a }'
}
# summary: the median of the numbers on standard input, with the smallest and the largest.
summary() {
    sort -g | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
                                         printf "%.3f (%.3f-%.3f)", m, v[1], v[NR] }'
}

echo "machine: $(nproc) processors, load average $(cut -d ' ' -f 1-3 /proc/loadavg), $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "vesk: $VESK_BIN; small: ${IMAGES[0]}; large: ${IMAGES[1]}; rounds: $RUNS"
set -f
for search in "${SEARCHES[@]}"; do
    seconds "$search" "${IMAGES[0]}" >/dev/null
    seconds "$search" "${IMAGES[1]}" >/dev/null
done
declare -A SMALL LARGE RATIOS
for ((round = 0; round < RUNS; round++)); do
    for search in "${SEARCHES[@]}"; do
        if ((round % 2 == 0)); then
            small=$(seconds "$search" "${IMAGES[0]}")
            large=$(seconds "$search" "${IMAGES[1]}")
        else
            large=$(seconds "$search" "${IMAGES[1]}")
            small=$(seconds "$search" "${IMAGES[0]}")
        fi
        SMALL[$search]+="$small "
        LARGE[$search]+="$large "
        RATIOS[$search]+="$(awk -v l="$large" -v s="$small" 'BEGIN { printf "%.6f", l / s }') "
    done
done
printf '%-10s %-26s %-26s %s\n' "search" "small s" "large s" "large/small"
for search in "${SEARCHES[@]}"; do
    printf '%-10s %-26s %-26s %s\n' "$search" "$(tr ' ' '\n' <<<"${SMALL[$search]}" | grep . | summary)" \
        "$(tr ' ' '\n' <<<"${LARGE[$search]}" | grep . | summary)" \
        "$(tr ' ' '\n' <<<"${RATIOS[$search]}" | grep . | summary)"
done
echo "after: load average $(cut -d ' ' -f 1-3 /proc/loadavg)"
