#!/usr/bin/env bash
# The progress line of a long scan, watched through a pseudo-terminal whose reader stalls for two
# seconds: the search then waits on the terminal past the second after which the line shows. The
# screen must read as without the line, and nothing of it may reach a stream that is no terminal.
# Usage: progress_line.sh <path of vesk> <many-paths image>
set -u
vesk=$1
image=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export LC_ALL=C.UTF-8
failures=0
fail() { echo "$1"; failures=$((failures + 1)); }

# on_slow_terminal <output file> <command...>: what the terminal received.
on_slow_terminal() {
    local out=$1
    shift
    script -q -e -c "$(printf '%q ' "$@")" /dev/null | { sleep 2; cat; } >"$out"
}

# screen <file> [columns]: what a terminal (of that many columns) shows for a stream: a carriage
# return starts its row over, later characters overwrite earlier ones, a character past the last
# column begins a new row, trailing blanks cannot be seen. The scan time is masked.
screen() {
    awk -v columns="${2:-0}" '{ rows = 0; row = ""; column = 0
        for (i = 1; i <= length($0); i++) {
            c = substr($0, i, 1)
            if (c == "\r") { column = 0; continue }
            if (columns && column == columns) { shown[rows++] = row; row = ""; column = 0 }
            row = substr(row, 1, column) c substr(row, column + 2); column++
        }
        shown[rows++] = row
        for (r = 0; r < rows; r++) { sub(/ +$/, "", shown[r]); print shown[r] } }' "$1" |
        sed 's/ in [0-9.e+-]* s\./ in T s./'
}

search=("$vesk" "a-file*" -d "C:$image")
"${search[@]}" >"$tmp/plain" 2>&1
grep -q "^Unable to resolve path" "$tmp/plain" || fail "the volume gives no note on standard error"

on_slow_terminal "$tmp/raw" "${search[@]}"
grep -aq "records/s" "$tmp/raw" || fail "no progress line on the terminal"
diff <(screen "$tmp/plain") <(screen "$tmp/raw") >"$tmp/diff" || fail "the screen differs: $(head -5 "$tmp/diff")"

# On a terminal of 40 columns, the line is cut to fit.
on_slow_terminal "$tmp/raw" sh -c 'stty cols 40 && exec "$@"' sh "${search[@]}"
grep -aq "records (" "$tmp/raw" || fail "no progress line on the narrow terminal"
diff <(screen "$tmp/plain" 40) <(screen "$tmp/raw" 40) >"$tmp/diff" || fail "the narrow screen differs: $(head -5 "$tmp/diff")"
# It leaves room for the "^C" that the terminal echoes when the user interrupts: a line that wrapped
# there could no longer be erased.
tr '\r' '\n' <"$tmp/raw" | grep -a "records (" | awk 'length > 37 { exit 1 }' ||
    fail "the narrow line leaves no room for an echoed ^C"

# Interrupted (Ctrl-C) while the line shows, the search takes it off first. The results go to a pipe
# that is read in part: past the second after which the line shows, the search waits on the pipe with
# the line on the terminal, and is interrupted once the terminal has shown it. The terminal's output
# goes to a file of its own: the watcher may start before tee, and must not find the line of an
# earlier run.
mkfifo "$tmp/results" "$tmp/gate"
{ sleep 2; head -c 1000000 >/dev/null; read -r <"$tmp/gate"; cat >/dev/null; } <"$tmp/results" &
timeout 60 script -q -e -c "echo \$\$ >$tmp/pid; exec $(printf '%q ' "${search[@]}") -outCON -outfile $tmp/results" /dev/null |
    tee "$tmp/interrupted" | { timeout 60 sh -c 'until grep -aq "records (" "$0" 2>/dev/null; do sleep 0.1; done' "$tmp/interrupted"
                       kill -INT "$(cat "$tmp/pid")"; echo >"$tmp/gate"; cat >/dev/null; }
status=${PIPESTATUS[0]}
[ "$status" = 130 ] || fail "the interrupted search ended with $status, not 130"
[ "$(screen "$tmp/interrupted" | grep -v '^$')" = "$(screen "$tmp/plain" | head -1)" ] || fail "the interrupted screen: $(screen "$tmp/interrupted")"
wait

on_slow_terminal "$tmp/raw" "${search[@]}" -silent
grep -aq "records/s" "$tmp/raw" && fail "a progress line under -silent"

on_slow_terminal "$tmp/raw" sh -c 'exec "$@" 2>"$0"' "$tmp/err" "${search[@]}"
"${search[@]}" 2>&1 >/dev/null | cmp -s - "$tmp/err" || fail "standard error, not a terminal, differs"

[ "$failures" = 0 ] || { echo "$failures failure(s)"; exit 1; }
