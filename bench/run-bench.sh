#!/usr/bin/env bash
# shellcheck disable=SC2317 # the run_* functions and cleanup are called indirectly
# Times vesk against the floor (vesk-floor: read the MFT, count FILE records) and against the tools a Linux
# user has, on one volume image with a warm cache, and checks that they all find the same paths.
#
#   bench/run-bench.sh [options] IMAGE
#     -n N              runs per measurement, the median is reported (default 5); one untimed run first
#     -slow N           runs for fls and for find on a mount, which take long on big volumes (default: -n)
#     -generate RECORDS build IMAGE first with vesk-genvol (its manifest goes beside it)
#     -manifest FILE    the generator's manifest (default: IMAGE with .img replaced by .manifest)
#     -vesk PATH        the program (default: $VESK, else the newest build/*/app/vesk)
#     -tools DIR        where vesk-floor and vesk-genvol are (default: $VESK_BENCH_BIN, else the newest
#                       build/*/bench)
#     -out DIR          keep every output there (default: a temporary directory, removed at the end)
#
# Measured: the floor; vesk with a mask that matches nothing; vesk "*.txt" -silent; vesk "*" -si -silent;
# The Sleuth Kit's fls -r -p piped to grep; ntfs-3g's ntfsls -R piped to awk; find -iname on a read-only
# ntfs-3g FUSE mount where /dev/fuse works. Whatever is missing is skipped with a note.
set -euo pipefail
export LC_ALL=C.UTF-8


ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
RUNS=5
SLOW_RUNS=
GENERATE=
MANIFEST=
VESK_BIN=${VESK:-}
TOOLS=${VESK_BENCH_BIN:-}
OUT=
NO_MATCH='*.qqq'

usage() {
    sed -n '3,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
    exit 2
}

while [[ $# -gt 0 ]]; do
    case $1 in
    -n) RUNS=$2; shift 2 ;;
    -slow) SLOW_RUNS=$2; shift 2 ;;
    -generate) GENERATE=$2; shift 2 ;;
    -manifest) MANIFEST=$2; shift 2 ;;
    -vesk) VESK_BIN=$2; shift 2 ;;
    -tools) TOOLS=$2; shift 2 ;;
    -out) OUT=$2; shift 2 ;;
    -*) usage ;;
    *) break ;;
    esac
done
[[ $# -eq 1 ]] || usage
IMAGE=$1
SLOW_RUNS=${SLOW_RUNS:-$RUNS}
MANIFEST=${MANIFEST:-${IMAGE%.img}.manifest}

# shellcheck disable=SC2012 # build paths hold no newlines
newest() { ls -t "$@" 2>/dev/null | head -n 1 || true; }

[[ -n $TOOLS ]] || TOOLS=$(dirname "$(newest "$ROOT"/build/*/bench/vesk-floor)")
FLOOR=$TOOLS/vesk-floor
GENVOL=$TOOLS/vesk-genvol
[[ -x $FLOOR ]] || { echo "run-bench: vesk-floor not found (build the bench/ targets, or pass -tools DIR)" >&2; exit 1; }
[[ -n $VESK_BIN ]] || VESK_BIN=$(newest "$ROOT"/build/*/app/vesk)

if [[ -z $OUT ]]; then
    OUT=$(mktemp -d)
    CLEAN_OUT=$OUT
fi
mkdir -p "$OUT"
MOUNT_POINT=
cleanup() {
    if [[ -n $MOUNT_POINT ]]; then
        fusermount3 -u "$MOUNT_POINT" 2>/dev/null || umount "$MOUNT_POINT" 2>/dev/null || true
        rmdir "$MOUNT_POINT" 2>/dev/null || true
    fi
    [[ -z ${CLEAN_OUT:-} ]] || rm -rf "$CLEAN_OUT"
}
trap cleanup EXIT

NOTES=()
note() { NOTES+=("$*"); }

if [[ -n $GENERATE ]]; then
    [[ -x $GENVOL ]] || { echo "run-bench: vesk-genvol not found in $TOOLS" >&2; exit 1; }
    echo "generating $IMAGE with $GENERATE records..."
    start=$EPOCHREALTIME
    nice -n 19 "$GENVOL" -junctions "${IMAGE%.img}.junctions" "$GENERATE" "$IMAGE" "$MANIFEST"
    echo "generation took $(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }') s"
fi
[[ -f $IMAGE ]] || { echo "run-bench: no image $IMAGE" >&2; exit 1; }

# ---- what each tool runs; every one writes its raw output to $OUT -------------------------------------

VESK_NONE=("$VESK_BIN" "$NO_MATCH" -d "$IMAGE" -silent)
VESK_TXT=("$VESK_BIN" '*.txt' -d "$IMAGE" -silent)
VESK_ALL=("$VESK_BIN" '*' -d "$IMAGE" -si -silent)

run_floor() { "$FLOOR" "$IMAGE" >"$OUT/floor.raw"; }
run_vesk_none() { "${VESK_NONE[@]}" >"$OUT/vesk-none.raw" || true; }
run_vesk_txt() { "${VESK_TXT[@]}" >"$OUT/vesk-txt.raw" || true; }
run_vesk_all() { "${VESK_ALL[@]}" >"$OUT/vesk-all.raw" || true; }
run_fls() { fls -r -p "$IMAGE" | grep -i '\.txt$' >"$OUT/fls.raw" || true; }
# ntfsls -R prints each directory as "/path:" followed by its entries; awk joins them into full paths.
run_ntfsls() {
    ntfsls -R "$IMAGE" | awk '
        /^\/.*:$/ { dir = substr($0, 1, length($0) - 1); if (dir == "/") dir = ""; next }
        $0 != "" && $0 != "." && $0 != ".." && tolower($0) ~ /\.txt$/ { print dir "/" $0 }' >"$OUT/ntfsls.raw"
}
run_find() { find "$MOUNT_POINT" -iname '*.txt' >"$OUT/find.raw"; }

# ---- timing ----------------------------------------------------------------------------------------------

declare -A MEDIAN PEAK
ORDER=()

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Peak resident memory in KiB of one run of the program "$@" (not a shell function), from GNU time if
# installed, else from the kernel's high-water mark of the process, sampled until it exits (a slight
# undercount at worst).
peak_of() {
    if [[ -x /usr/bin/time ]]; then
        /usr/bin/time -f '%M' -o "$OUT/peak" "$@" >/dev/null 2>&1 || true
        tail -n 1 "$OUT/peak"
        return
    fi
    "$@" >/dev/null 2>&1 &
    local pid=$! peak=0 hwm
    while kill -0 "$pid" 2>/dev/null; do
        hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
        [[ -n $hwm && $hwm -gt $peak ]] && peak=$hwm
        sleep 0.005
    done
    wait "$pid" || true
    echo "$peak"
}

# measure KEY LABEL RUNS FUNCTION [COMMAND]: one untimed run to warm the caches, then RUNS timed runs of
# FUNCTION. With COMMAND, the name of an array holding the program and its arguments, the untimed run is
# that program's, under peak_of.
measure() {
    local key=$1 label=$2 runs=$3 fn=$4
    local i start times=()
    if [[ $# -ge 5 ]]; then
        local -n command=$5
        PEAK[$key]=$(peak_of "${command[@]}")
    else
        "$fn"
    fi
    for ((i = 0; i < runs; i++)); do
        start=$EPOCHREALTIME
        "$fn"
        times+=("$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.6f", b - a }')")
    done
    MEDIAN[$key]=$(printf '%s\n' "${times[@]}" | median)
    ORDER+=("$key")
    LABEL[$key]=$label
    printf '  %-44s %9.3f s  (%s)\n' "$label" "${MEDIAN[$key]}" "${times[*]}"
}
declare -A LABEL

echo "volume $IMAGE: $("$FLOOR" "$IMAGE")"
echo "runs per measurement: $RUNS (fls, find: $SLOW_RUNS), median of the timed runs, caches warm"

measure floor "floor: vesk-floor" "$RUNS" run_floor

if [[ -n $VESK_BIN && -x $VESK_BIN ]]; then
    echo "vesk: $VESK_BIN"
    if ldd "$VESK_BIN" 2>/dev/null | grep -q libasan; then
        note "vesk was built with AddressSanitizer: its times are not representative"
    fi
    measure vesk_none "vesk \"$NO_MATCH\" -silent (no match)" "$RUNS" run_vesk_none VESK_NONE
    measure vesk_txt "vesk \"*.txt\" -silent" "$RUNS" run_vesk_txt VESK_TXT
    measure vesk_all "vesk \"*\" -si -silent" "$RUNS" run_vesk_all VESK_ALL
else
    note "vesk skipped: no program at '${VESK_BIN:-build/*/app/vesk}' (pass -vesk PATH or set VESK)"
fi

if command -v fls >/dev/null; then
    measure fls "fls -r -p | grep" "$SLOW_RUNS" run_fls
else
    note "fls skipped: The Sleuth Kit is not installed"
fi

if command -v ntfsls >/dev/null; then
    measure ntfsls "ntfsls -R | awk" "$RUNS" run_ntfsls
else
    note "ntfsls skipped: ntfs-3g is not installed"
fi

if [[ -c /dev/fuse ]] && command -v ntfs-3g >/dev/null; then
    MOUNT_POINT=$(mktemp -d)
    if ntfs-3g -o ro "$IMAGE" "$MOUNT_POINT" 2>"$OUT/mount.err"; then
        measure find "find -iname '*.txt' on an ntfs-3g mount" "$SLOW_RUNS" run_find
    else
        note "find on a mount skipped: ntfs-3g could not mount the image ($(head -n 1 "$OUT/mount.err"))"
        rmdir "$MOUNT_POINT"
        MOUNT_POINT=
    fi
else
    note "find on a mount skipped: /dev/fuse or ntfs-3g is missing"
fi

# ---- the table -------------------------------------------------------------------------------------------

echo
printf '%-44s %10s %9s %9s %10s\n' "what" "median s" "x floor" "x vesk" "peak MiB"
for key in "${ORDER[@]}"; do
    floor_ratio=$(awk -v a="${MEDIAN[$key]}" -v b="${MEDIAN[floor]}" 'BEGIN { printf "%.2f", a / b }')
    vesk_ratio=-
    [[ -n ${MEDIAN[vesk_txt]:-} ]] &&
        vesk_ratio=$(awk -v a="${MEDIAN[$key]}" -v b="${MEDIAN[vesk_txt]}" 'BEGIN { printf "%.2f", a / b }')
    peak=-
    [[ -n ${PEAK[$key]:-} ]] && peak=$(awk -v k="${PEAK[$key]}" 'BEGIN { printf "%.1f", k / 1024 }')
    printf '%-44s %10.3f %9s %9s %10s\n' "${LABEL[$key]}" "${MEDIAN[$key]}" "$floor_ratio" "$vesk_ratio" "$peak"
done
[[ -x /usr/bin/time ]] || note "peak memory sampled from /proc (GNU time is not installed)"

# ---- do the outputs agree? -------------------------------------------------------------------------------

# Every tool's hits become "\dir\name" lines, sorted bytewise, and are compared with the manifest's.
compare() {
    local label=$1 file=$2 expected=$3
    local missing extra
    missing=$(comm -23 "$expected" "$file" | wc -l)
    extra=$(comm -13 "$expected" "$file" | wc -l)
    if [[ $missing -eq 0 && $extra -eq 0 ]]; then
        printf '  %-28s agrees (%d lines)\n' "$label" "$(wc -l <"$file")"
    else
        printf '  %-28s DIFFERS: %d missing, %d extra (see %s)\n' "$label" "$missing" "$extra" "$file"
        # head closes the pipe early; comm's broken pipe is no failure here.
        comm -23 "$expected" "$file" | head -n 3 | sed 's/^/      missing: /' || true
        comm -13 "$expected" "$file" | head -n 3 | sed 's/^/      extra:   /' || true
        DIFFERENT=1
    fi
}

echo
DIFFERENT=0
if [[ -f $MANIFEST ]]; then
    echo "checking the outputs against $MANIFEST"
    awk -F'\t' '$2 !~ /\\$/ && tolower($2) ~ /\.txt$/ { print $2 }' "$MANIFEST" | sort -u >"$OUT/expected-txt"
    awk -F'\t' '{ print $1 "\t" $2 }' "$MANIFEST" | sort -u >"$OUT/expected-all"
    if [[ -f $OUT/vesk-txt.raw ]]; then
        sort -u "$OUT/vesk-txt.raw" >"$OUT/vesk-txt"
        compare 'vesk "*.txt"' "$OUT/vesk-txt" "$OUT/expected-txt"
        [[ -s $OUT/vesk-none.raw ]] && { echo "  vesk \"$NO_MATCH\" printed something"; DIFFERENT=1; }
        # "*" -si: the record number, blanks, the path. The system's own files and the root are not in the
        # manifest.
        awk '{ if (!match($0, /^[ \t]*[0-9]+[ \t]+/)) { print "unparsed: " $0; next }
               head = substr($0, RSTART, RLENGTH); gsub(/[ \t]/, "", head)
               path = substr($0, RLENGTH + 1)
               if (path != "\\" && path !~ /^\\\$/) print head "\t" path }' "$OUT/vesk-all.raw" |
            sort -u >"$OUT/vesk-all"
        compare 'vesk "*" -si' "$OUT/vesk-all" "$OUT/expected-all"
    fi
    if [[ -f $OUT/fls.raw ]]; then
        # "r/r 123-128-2:<tab>dir/name": deleted entries carry a "*", named streams a ":" in the path.
        awk -F'\t' '$1 !~ /\*/ && $2 !~ /:/ && $2 !~ /^\$OrphanFiles/ { p = $2; gsub(/\//, "\\", p); print "\\" p }' \
            "$OUT/fls.raw" | sort -u >"$OUT/fls"
        compare "fls -r -p" "$OUT/fls" "$OUT/expected-txt"
    fi
    if [[ -f $OUT/ntfsls.raw ]]; then
        sed 's|/|\\|g' "$OUT/ntfsls.raw" | sort -u >"$OUT/ntfsls"
        compare "ntfsls -R" "$OUT/ntfsls" "$OUT/expected-txt"
    fi
    if [[ -f $OUT/find.raw ]]; then
        awk -v m="$MOUNT_POINT" '{ p = substr($0, length(m) + 1); gsub(/\//, "\\", p); print p }' "$OUT/find.raw" |
            sort -u >"$OUT/find"
        compare "find on a mount" "$OUT/find" "$OUT/expected-txt"
    fi
else
    note "outputs not checked: no manifest at $MANIFEST"
fi

if [[ ${#NOTES[@]} -gt 0 ]]; then
    echo
    printf 'note: %s\n' "${NOTES[@]}"
fi
exit "$DIFFERENT"
