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

# What a terminal shows for a stream: a carriage return starts its row over, later characters
# overwrite earlier ones, trailing blanks cannot be seen. The scan time is masked.
screen() {
    awk '{ n = split($0, parts, "\r"); row = ""
           for (i = 1; i <= n; i++) row = parts[i] substr(row, length(parts[i]) + 1)
           sub(/ +$/, "", row); print row }' "$1" | sed 's/ in [0-9.e+-]* s\./ in T s./'
}

search=("$vesk" "a-file*" -d "C:$image")
"${search[@]}" >"$tmp/plain" 2>&1
grep -q "^Unable to resolve path" "$tmp/plain" || fail "the volume gives no note on standard error"

on_slow_terminal "$tmp/raw" "${search[@]}"
grep -aq "records/s" "$tmp/raw" || fail "no progress line on the terminal"
diff <(screen "$tmp/plain") <(screen "$tmp/raw") >"$tmp/diff" || fail "the screen differs: $(head -5 "$tmp/diff")"

on_slow_terminal "$tmp/raw" "${search[@]}" -silent
grep -aq "records/s" "$tmp/raw" && fail "a progress line under -silent"

on_slow_terminal "$tmp/raw" sh -c 'exec "$@" 2>"$0"' "$tmp/err" "${search[@]}"
"${search[@]}" 2>&1 >/dev/null | cmp -s - "$tmp/err" || fail "standard error, not a terminal, differs"

[ "$failures" = 0 ] || { echo "$failures failure(s)"; exit 1; }
