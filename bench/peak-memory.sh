#!/usr/bin/env bash
# The peak memory (maximum resident set, from GNU time) of vesk's benchmarked searches on one volume, with
# the directory cache and without it (-nocache). The difference is what the cache takes: it keeps every
# directory record the scan meets, so it grows with the volume's directories, while the rest of the search
# should not grow with the volume at all. Each search is held to BUDGET MiB plus its directory cache.
#
#   bench/peak-memory.sh [options] IMAGE
#     -vesk PATH       the program (default: $VESK, else the newest build/*/app/vesk)
#     -manifest FILE   the volume's manifest, to count its directories (default: IMAGE.manifest)
#     -budget MIB      the memory allowed beside the directory cache (default 64)
#
# The searches run warm (after one untimed search that reads the volume into the page cache: a cold search
# holds one block more), one after the other, each once with and once without the cache.
set -euo pipefail
export LC_ALL=C.UTF-8

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VESK_BIN=${VESK:-}
MANIFEST=
BUDGET=64

usage() {
    sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
    exit 2
}

while [[ $# -gt 0 ]]; do
    case $1 in
    -vesk) VESK_BIN=$2; shift 2 ;;
    -manifest) MANIFEST=$2; shift 2 ;;
    -budget) BUDGET=$2; shift 2 ;;
    -*) usage ;;
    *) break ;;
    esac
done
[[ $# -eq 1 ]] || usage
IMAGE=$1
MANIFEST=${MANIFEST:-$IMAGE.manifest}
# shellcheck disable=SC2012 # build paths hold no newlines
[[ -n $VESK_BIN ]] || VESK_BIN=$(ls -t "$ROOT"/build/*/app/vesk 2>/dev/null | head -n 1 || true)
[[ -x $VESK_BIN ]] || { echo "peak-memory: no vesk (pass -vesk PATH or set VESK)" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "peak-memory: GNU time (/usr/bin/time) is not installed" >&2; exit 1; }
[[ -f $IMAGE ]] || [[ -b $IMAGE ]] || { echo "peak-memory: no image $IMAGE" >&2; exit 1; }

# Peak resident memory of one run of "$@" in KiB; the output goes nowhere.
peak_kib() {
    local record
    record=$(mktemp)
    /usr/bin/time -f '%M' -o "$record" "$@" >/dev/null 2>&1 || true
    tail -n 1 "$record"
    rm -f "$record"
}
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

directories=
if [[ -f $MANIFEST ]]; then
    directories=$(awk '$1 == "record" && / inuse=1 / && / dir=1 / { n++ } END { print n + 0 }' "$MANIFEST")
    echo "volume $IMAGE: $directories directories in use (from $MANIFEST)"
else
    echo "volume $IMAGE: no manifest at $MANIFEST, directories not counted"
fi
echo "vesk: $VESK_BIN; budget: $BUDGET MiB plus the directory cache"
echo
printf '%-30s %10s %14s %14s %16s %s\n' "search" "peak MiB" "-nocache MiB" "cache MiB" "cache per dir" "within"
"$VESK_BIN" '*' -d "$IMAGE" -silent -JP >/dev/null 2>&1 || true
over=0
for search in '*.qqq' '*.txt' '* -si'; do
    read -ra words <<<"$search" # the mask and its options, the mask not expanded
    arguments=("${words[0]}" -d "$IMAGE" "${words[@]:1}" -silent -JP)
    with=$(peak_kib "$VESK_BIN" "${arguments[@]}")
    without=$(peak_kib "$VESK_BIN" "${arguments[@]}" -nocache)
    cache=$((with > without ? with - without : 0))
    per=-
    [[ -z $directories || $directories -eq 0 ]] || per="$(awk -v c="$cache" -v d="$directories" \
        'BEGIN { printf "%.2f KiB", c / d }')"
    within=yes
    if ((with - cache > BUDGET * 1024)); then
        within=no
        over=1
    fi
    printf '%-30s %10s %14s %14s %16s %s\n' "vesk \"${words[0]}\" ${words[*]:1}" "$(mib "$with")" \
        "$(mib "$without")" "$(mib "$cache")" "$per" "$within"
done
exit "$over"
