#!/usr/bin/env bash
# shellcheck disable=SC2317 # the run_* functions and cleanup are called indirectly
# Times vesk against the floors (vesk-floor: read the MFT and count its FILE records; the same with
# fix-ups, names and a ".qqq" test that no name passes; the same with the ".txt" test and the paths of hits;
# the same printing every path) and against the tools a Linux user has,
# on one volume image, with a warm cache and, as root, with a cold one; then checks every output against
# the volume's manifest. Cold, each vesk search is also compared with its I/O bound: the reads it made in a
# cold run of its own, recorded with strace (bench/record-reads.py) and made again by vesk-replay in the
# same order and sizes, with no work between them.
#
#   bench/run-bench.sh [options] IMAGE
#     -n N              rounds, the median of each command is reported (default 5); a warm round first
#     -slow N           rounds for fls and for find on a mount, which take long on big volumes (default: -n;
#                       0 leaves them out)
#     -warm             no cold rounds
#     -loop             read the image through a read-only loop device (losetup -r), as a disk is read;
#                       needs root
#     -generate RECORDS build IMAGE first with vesk-genvol (its manifest goes beside it)
#     -manifest FILE    the volume's manifest (default: IMAGE.manifest)
#     -vesk PATH        the program (default: $VESK, else the newest build/*/app/vesk)
#     -tools DIR        where vesk-floor, vesk-replay and vesk-genvol are (default: $VESK_BENCH_BIN, else
#                       the newest build/*/bench)
#     -out DIR          keep every output there (default: a temporary directory, removed at the end)
#
# Each round runs every command once, one after the other, so that each ratio to a floor comes from runs
# made under the same load: a ratio is the median of the ratios of the rounds, with their range. Nothing
# else should run on the machine meanwhile; the script prints the machine and its load before and after.
# Cold rounds drop the page cache before each command (sync; echo 3 > /proc/sys/vm/drop_caches), which
# needs root. Measured: the four floors; vesk with a mask that matches
# nothing, "*.txt" and "*" -si, all -silent -JP; The Sleuth Kit's fls -r -p piped to grep; ntfs-3g's
# ntfsls -R piped to awk; find -iname on a read-only ntfs-3g FUSE mount where /dev/fuse works (warm only).
# Whatever is missing is skipped with a note. In a virtual machine whose kernel hands free memory back to
# the host (free page reporting), that is held off while the script runs and restored at its end: memory
# handed back costs the next reads that use it a fault in the host, a cold read twice its time.
set -euo pipefail
export LC_ALL=C.UTF-8

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
RUNS=5
SLOW_RUNS=
COLD=1
LOOP=
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
    -warm) COLD=; shift ;;
    -loop) LOOP=1; shift ;;
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
MANIFEST=${MANIFEST:-$IMAGE.manifest}

# shellcheck disable=SC2012 # build paths hold no newlines
newest() { ls -t "$@" 2>/dev/null | head -n 1 || true; }

[[ -n $TOOLS ]] || TOOLS=$(dirname "$(newest "$ROOT"/build/*/bench/vesk-floor)")
FLOOR=$TOOLS/vesk-floor
REPLAY=$TOOLS/vesk-replay
GENVOL=$TOOLS/vesk-genvol
[[ -x $FLOOR ]] || { echo "run-bench: vesk-floor not found (build the bench/ targets, or pass -tools DIR)" >&2; exit 1; }
[[ -n $VESK_BIN ]] || VESK_BIN=$(newest "$ROOT"/build/*/app/vesk)

if [[ -z $OUT ]]; then
    OUT=$(mktemp -d)
    CLEAN_OUT=$OUT
fi
mkdir -p "$OUT"
MOUNT_POINT=
LOOP_DEVICE=
REPORTING=/sys/module/page_reporting/parameters/page_reporting_order
REPORTING_ORDER= # what to restore it to
PAGEOUT_HELD=()  # the kernel's page-out monitors turned off, to turn on again
cleanup() {
    if [[ -n $MOUNT_POINT ]]; then
        fusermount3 -u "$MOUNT_POINT" 2>/dev/null || umount "$MOUNT_POINT" 2>/dev/null || true
        rmdir "$MOUNT_POINT" 2>/dev/null || true
    fi
    [[ -z $LOOP_DEVICE ]] || losetup -d "$LOOP_DEVICE" || true
    [[ -z $REPORTING_ORDER ]] || echo "$REPORTING_ORDER" >"$REPORTING" || true
    for state in "${PAGEOUT_HELD[@]}"; do echo on >"$state" || true; done
    [[ -z ${CLEAN_OUT:-} ]] || rm -rf "$CLEAN_OUT"
}
trap cleanup EXIT

NOTES=()
note() { NOTES+=("$*"); }

if [[ -n $GENERATE ]]; then
    [[ -x $GENVOL ]] || { echo "run-bench: vesk-genvol not found in $TOOLS" >&2; exit 1; }
    echo "generating $IMAGE with $GENERATE records..."
    start=$EPOCHREALTIME
    nice -n 19 "$GENVOL" "$GENERATE" "$IMAGE"
    echo "generation took $(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }') s"
fi
[[ -f $IMAGE ]] || { echo "run-bench: no image $IMAGE" >&2; exit 1; }
if [[ -n $LOOP ]]; then
    LOOP_DEVICE=$(losetup -r -f --show "$IMAGE") || { echo "run-bench: losetup -r failed (run as root)" >&2; exit 1; }
    echo "reading $IMAGE through $LOOP_DEVICE"
    IMAGE=$LOOP_DEVICE
fi

drop_caches() { sync && echo 3 >/proc/sys/vm/drop_caches; }
if [[ -n $COLD ]] && ! drop_caches 2>/dev/null; then
    note "cold rounds skipped: cannot write /proc/sys/vm/drop_caches (run as root)"
    COLD=
fi
# The kernel reports free blocks of 2^order pages and more to the host, which takes their memory back. The
# highest order the kernel takes is one above its largest block, which stops that.
if [[ -r $REPORTING ]]; then
    order=$(cat "$REPORTING")
    for held in {16..1}; do
        echo "$held" >"$REPORTING" 2>/dev/null && break
    done
    if [[ $(cat "$REPORTING") != "$order" ]]; then
        REPORTING_ORDER=$order
        note "free page reporting to the host held off while the script ran (page_reporting_order $order -> $held)"
    elif [[ $order != "$held" ]]; then
        note "free page reporting to the host left on (run as root): cold reads may take twice as long"
    fi
fi
# A kernel may run monitors (DAMON) that page out the file pages nobody has read for a while, a minute, say:
# a warm run that starts after such a pause finds part of the volume gone from the cache and reads it again.
for state in /sys/kernel/mm/damon/admin/kdamonds/*/state; do
    [[ -r $state && $(cat "$state") == on ]] || continue
    cat "${state%/state}"/contexts/*/schemes/*/action 2>/dev/null | grep -qx pageout || continue
    if echo off >"$state" 2>/dev/null; then
        PAGEOUT_HELD+=("$state")
        note "the kernel's paging out of idle file pages held off while the script ran (${state%/state})"
    else
        note "the kernel pages out idle file pages (${state%/state}; run as root to hold it off):" \
            "a warm run after a pause of a minute or so is partly cold"
    fi
done

# ---- what each command runs; every one writes its raw output to $OUT -----------------------------------

VESK_NONE=("$VESK_BIN" "$NO_MATCH" -d "$IMAGE" -silent -JP)
VESK_TXT=("$VESK_BIN" '*.txt' -d "$IMAGE" -silent -JP)
VESK_ALL=("$VESK_BIN" '*' -d "$IMAGE" -si -silent -JP)
FLOOR_COUNT=("$FLOOR" "$IMAGE")
FLOOR_NONE=("$FLOOR" -none "$IMAGE")
FLOOR_TXT=("$FLOOR" -txt "$IMAGE")
FLOOR_ALL=("$FLOOR" -all "$IMAGE")

run_floor_count() { "${FLOOR_COUNT[@]}" >"$OUT/floor-count.raw"; }
run_floor_none() { "${FLOOR_NONE[@]}" >"$OUT/floor-none.raw"; }
run_floor_txt() { "${FLOOR_TXT[@]}" >"$OUT/floor-txt.raw"; }
run_floor_all() { "${FLOOR_ALL[@]}" >"$OUT/floor-all.raw"; }
run_vesk_none() { "${VESK_NONE[@]}" >"$OUT/vesk-none.raw" || true; }
run_vesk_txt() { "${VESK_TXT[@]}" >"$OUT/vesk-txt.raw" || true; }
run_vesk_all() { "${VESK_ALL[@]}" >"$OUT/vesk-all.raw" || true; }
run_fls() { fls -r -p "$IMAGE" | grep -i '\.txt$' >"$OUT/fls.raw" || true; }
# ntfsls -R prints each directory as "/path:" followed by its entries; awk joins them into full paths.
run_ntfsls() {
    ntfsls -f -R "$IMAGE" 2>"$OUT/ntfsls.err" | awk '
        /^\/.*:$/ { dir = substr($0, 1, length($0) - 1); if (dir == "/") dir = ""; next }
        $0 != "" && $0 != "." && $0 != ".." && tolower($0) ~ /\.txt$/ { print dir "/" $0 }' >"$OUT/ntfsls.raw"
}
run_find() { find "$MOUNT_POINT" -iname '*.txt' >"$OUT/find.raw"; }
run_io_none() { "$REPLAY" "$OUT/reads-none.trace" "$IMAGE" >/dev/null; }
run_io_txt() { "$REPLAY" "$OUT/reads-txt.trace" "$IMAGE" >/dev/null; }
run_io_all() { "$REPLAY" "$OUT/reads-all.trace" "$IMAGE" >/dev/null; }

# ---- what is measured ------------------------------------------------------------------------------------

# KEY, label, the floor it is compared with, rounds, for the programs the array whose peak memory is taken,
# and when it runs: warm and cold (the default), warm only or cold only.
KEYS=() COLD_KEYS=()
declare -A LABEL FLOOR_OF IO_OF ROUNDS COMMAND
add() {
    [[ $4 -gt 0 ]] || { note "$2 left out (no rounds)"; return; }
    LABEL[$1]=$2 FLOOR_OF[$1]=$3 ROUNDS[$1]=$4 COMMAND[$1]=${5:-}
    [[ ${6:-both} == cold ]] || KEYS+=("$1")
    [[ ${6:-both} == warm ]] || COLD_KEYS+=("$1")
}
add floor_count "floor: count FILE records" - "$RUNS" FLOOR_COUNT
add floor_none "floor: names, a test no name passes" - "$RUNS" FLOOR_NONE
add floor_txt "floor: .txt test, paths of hits" - "$RUNS" FLOOR_TXT
add floor_all "floor: every path" - "$RUNS" FLOOR_ALL
if [[ -n $VESK_BIN && -x $VESK_BIN ]]; then
    if ldd "$VESK_BIN" 2>/dev/null | grep -q libasan; then
        note "vesk was built with AddressSanitizer: its times are not representative"
    fi
    add vesk_none "vesk \"$NO_MATCH\" -silent -JP" floor_none "$RUNS" VESK_NONE
    add vesk_txt "vesk \"*.txt\" -silent -JP" floor_txt "$RUNS" VESK_TXT
    add vesk_all "vesk \"*\" -si -silent -JP" floor_all "$RUNS" VESK_ALL
    # The I/O bound of each search: its reads in a cold run, recorded now and replayed in the cold rounds.
    if [[ -z $COLD ]]; then
        note "I/O bounds left out: they are measured cold"
    elif [[ ! -x $REPLAY ]] || ! command -v strace >/dev/null; then
        note "I/O bounds left out: vesk-replay or strace is missing"
    else
        for search in none txt all; do
            add "io_$search" "I/O bound: ${LABEL[vesk_$search]%% -silent*}'s reads" - "$RUNS" "" cold
            IO_OF[vesk_$search]=io_$search
        done
    fi
else
    note "vesk skipped: no program at '${VESK_BIN:-build/*/app/vesk}' (pass -vesk PATH or set VESK)"
fi
if command -v fls >/dev/null; then
    add fls "fls -r -p | grep" floor_txt "$SLOW_RUNS" "" warm
else
    note "fls skipped: The Sleuth Kit is not installed"
fi
if command -v ntfsls >/dev/null; then
    add ntfsls "ntfsls -R | awk" floor_txt "$RUNS"
else
    note "ntfsls skipped: ntfs-3g is not installed"
fi
if [[ -c /dev/fuse ]] && command -v ntfs-3g >/dev/null; then
    MOUNT_POINT=$(mktemp -d)
    if ntfs-3g -o ro "$IMAGE" "$MOUNT_POINT" 2>"$OUT/mount.err"; then
        add find "find -iname '*.txt' on an ntfs-3g mount" floor_txt "$SLOW_RUNS" "" warm
    else
        note "find on a mount skipped: ntfs-3g could not mount the image ($(head -n 1 "$OUT/mount.err"))"
        rmdir "$MOUNT_POINT"
        MOUNT_POINT=
    fi
else
    note "find on a mount skipped: /dev/fuse or ntfs-3g is missing"
fi

# ---- timing ----------------------------------------------------------------------------------------------

declare -A TIMES MEDIAN PEAK SHOWN

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

# rounds TEMPERATURE KEY...: as many rounds as the most of the keys ask for, each running every key that
# still needs runs once, timed; cold ones after dropping the page cache. Each round starts one key later
# than the one before, so that no command always runs first or after the same one.
rounds() {
    local temperature=$1 round key start at
    shift
    local keys=("$@")
    for ((round = 0; ; round++)); do
        local ran=
        for ((at = 0; at < ${#keys[@]}; at++)); do
            key=${keys[(round + at) % ${#keys[@]}]}
            ((round < ROUNDS[$key])) || continue
            ran=1
            [[ $temperature == warm ]] || drop_caches
            start=$EPOCHREALTIME
            "run_$key"
            TIMES[$temperature.$key]+="$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.6f", b - a }') "
        done
        [[ -n $ran ]] || break
    done
    for key in "$@"; do
        MEDIAN[$temperature.$key]=$(tr -s " " "\n" <<<"${TIMES[$temperature.$key]}" | grep . | median)
        printf '  %-8s %-44s %9.3f s  (%s)\n' "$temperature" "${LABEL[$key]}" "${MEDIAN[$temperature.$key]}" \
            "${TIMES[$temperature.$key]% }"
    done
}

machine_load() { echo "load average $(cut -d ' ' -f 1-3 /proc/loadavg), $(date -u '+%Y-%m-%d %H:%M UTC')"; }
echo "machine: $(nproc) processors, $(awk -F ': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)," \
    "$(awk '/^MemTotal:/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo) of memory; before: $(machine_load)"
if awk -v load="$(cut -d ' ' -f 1 /proc/loadavg)" 'BEGIN { exit !(load > 0.5) }'; then
    note "the machine was not quiet: load average $(cut -d ' ' -f 1 /proc/loadavg) before the rounds"
fi
echo "volume $IMAGE: $("$FLOOR" "$IMAGE")"
echo "vesk: ${VESK_BIN:-none}; rounds: $RUNS (fls, find: $SLOW_RUNS); medians"

for key in "${COLD_KEYS[@]}"; do
    [[ $key == io_* ]] || continue
    search=${key#io_}
    declare -n command=VESK_${search^^}
    printf 'recording the reads of a cold run of %s: ' "${LABEL[vesk_$search]}"
    "$ROOT/bench/record-reads.py" -cold -o "$OUT/reads-$search.trace" "$IMAGE" -- "${command[@]}"
    unset -n command
done

# The warm-up round also takes each program's peak memory.
for key in "${KEYS[@]}"; do
    if [[ -n ${COMMAND[$key]} ]]; then
        declare -n command=${COMMAND[$key]}
        PEAK[$key]=$(peak_of "${command[@]}")
        unset -n command
    fi
    "run_$key"
done
rounds warm "${KEYS[@]}"
[[ -z $COLD ]] || rounds cold "${COLD_KEYS[@]}"

# ---- the table -------------------------------------------------------------------------------------------

# ratio KEY TEMPERATURE BASE: the median of KEY's time over BASE's, round by round (the i-th time of each
# comes from round i), with the smallest and the largest of those ratios.
ratio() {
    local key=$1 temperature=$2 base=$3
    [[ -n $base && $base != - && -n ${TIMES[$temperature.$key]:-} && -n ${TIMES[$temperature.$base]:-} ]] ||
        { echo -; return; }
    paste -d ' ' <(tr -s ' ' '\n' <<<"${TIMES[$temperature.$key]}" | grep .) \
        <(tr -s ' ' '\n' <<<"${TIMES[$temperature.$base]}" | grep .) |
        awk 'NF == 2 && $2 > 0 { print $1 / $2 }' | sort -g |
        awk '{ v[NR] = $1 } END { if (!NR) { print "-"; exit }
              m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
              printf "%.2f (%.2f-%.2f)", m, v[1], v[NR] }'
}
seconds() { [[ -n ${MEDIAN[$1]:-} ]] && printf '%.3f' "${MEDIAN[$1]}" || echo -; }

echo
row() { printf '%-44s %9s %-17s %9s %-17s %-17s %8s\n' "$@"; }
row "what" "warm s" "x floor" "cold s" "x floor" "x I/O bound" "peak MiB"
for key in "${KEYS[@]}" "${COLD_KEYS[@]}"; do
    [[ -z ${SHOWN[$key]:-} ]] || continue
    SHOWN[$key]=1
    peak=-
    [[ -n ${PEAK[$key]:-} ]] && peak=$(awk -v k="${PEAK[$key]}" 'BEGIN { printf "%.1f", k / 1024 }')
    row "${LABEL[$key]}" "$(seconds "warm.$key")" "$(ratio "$key" warm "${FLOOR_OF[$key]}")" \
        "$(seconds "cold.$key")" "$(ratio "$key" cold "${FLOOR_OF[$key]}")" \
        "$(ratio "$key" cold "${IO_OF[$key]:-}")" "$peak"
done
echo "(x floor: vesk \"$NO_MATCH\" against the floor testing names for .qqq, \"*\" -si against the floor printing" \
    "every path, the others against the floor with the .txt test; x I/O bound: each vesk search against" \
    "its own reads replayed; each ratio the median of the rounds' ratios, their range in brackets)"
echo "after: $(machine_load)"
[[ -x /usr/bin/time ]] || note "peak memory sampled from /proc (GNU time is not installed)"

# ---- do the outputs agree with the manifest? ------------------------------------------------------------

# Every tool's hits become "\dir\name" lines (directories end with "\"), sorted bytewise, and are compared
# with what the manifest says vesk must print: every name of a record in use but pure DOS names, under its
# path, except the root and NTFS's own files (paths starting with "\$").
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

# The manifest's name lines as "record<tab>path", percent escapes undone (bytes, hence the C locale). A name
# in an extension record is the file's: it is shown under its base record, a directory's with "\".
expected_paths() {
    LC_ALL=C awk '
        BEGIN { for (i = 0; i < 256; i++) byte[sprintf("%02X", i)] = sprintf("%c", i) }
        function unescape(s,   out, at) {
            out = ""
            while ((at = index(s, "%")) > 0) { out = out substr(s, 1, at - 1) byte[substr(s, at + 1, 2)]; s = substr(s, at + 3) }
            return out s
        }
        FNR == NR { if ($1 == "record" && $6 == "dir=1") directory[substr($2, 5)] = 1; next }
        $1 == "name" {
            delete f
            for (i = 2; i <= NF; i++) { eq = index($i, "="); f[substr($i, 1, eq - 1)] = substr($i, eq + 1) }
            file = f["base"] != 0 ? f["base"] : f["rec"]
            if (f["inuse"] != 1 || f["ns"] == 2 || file == 5) next
            path = unescape(f["path"])
            if (substr(path, 1, 2) == "\\$") next
            print file "\t" path (file in directory ? "\\" : "")
        }' "$MANIFEST" "$MANIFEST"
}

echo
DIFFERENT=0
if [[ -f $MANIFEST ]]; then
    echo "checking the outputs against $MANIFEST"
    expected_paths | LC_ALL=C sort -u >"$OUT/expected-all"
    cut -f 2 "$OUT/expected-all" | LC_ALL=C awk '{ name = $0; sub(/\\$/, "", name) } tolower(name) ~ /\.txt$/' |
        LC_ALL=C sort -u >"$OUT/expected-txt"
    sorted() { LC_ALL=C sort -u >"$OUT/$1"; }
    if [[ -f $OUT/vesk-txt.raw ]]; then
        sorted vesk-txt <"$OUT/vesk-txt.raw"
        compare 'vesk "*.txt"' "$OUT/vesk-txt" "$OUT/expected-txt"
        [[ -s $OUT/vesk-none.raw ]] && { echo "  vesk \"$NO_MATCH\" printed something"; DIFFERENT=1; }
        [[ -s $OUT/floor-none.raw ]] && { echo "  the floor testing for .qqq printed something"; DIFFERENT=1; }
        # "*" -si: the record number, blanks, the path.
        awk '{ if (!match($0, /^[ \t]*[0-9]+[ \t]+/)) { print "unparsed: " $0; next }
               head = substr($0, RSTART, RLENGTH); gsub(/[ \t]/, "", head)
               print head "\t" substr($0, RLENGTH + 1) }' "$OUT/vesk-all.raw" | sorted vesk-all
        compare 'vesk "*" -si' "$OUT/vesk-all" "$OUT/expected-all"
    fi
    if [[ -f $OUT/fls.raw ]]; then
        # "r/r 123-128-2:<tab>dir/name": deleted entries carry a "*", named streams a ":" in the path.
        awk -F'\t' '$1 !~ /\*/ && $2 !~ /:/ && $2 !~ /^\$OrphanFiles/ { p = $2; gsub(/\//, "\\", p); print "\\" p }' \
            "$OUT/fls.raw" | sorted fls
        compare "fls -r -p" "$OUT/fls" "$OUT/expected-txt"
    fi
    if [[ -f $OUT/ntfsls.raw ]]; then
        sed 's|/|\\|g' "$OUT/ntfsls.raw" | sorted ntfsls
        compare "ntfsls -R" "$OUT/ntfsls" "$OUT/expected-txt"
    fi
    if [[ -f $OUT/find.raw ]]; then
        awk -v m="$MOUNT_POINT" '{ p = substr($0, length(m) + 1); gsub(/\//, "\\", p); print p }' "$OUT/find.raw" |
            sorted find
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
