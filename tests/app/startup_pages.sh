#!/usr/bin/env bash
# Runs the built program for what it shows before any search (start-up pages, help, about,
# command-line errors) and compares standard output, standard error and exit code with golden texts.
# Usage: startup_pages.sh <path of vesk> <golden directory>
set -u
vesk=$1
golden=$2
failures=0
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

# compare <case> <stream> <actual file> <golden file name, or - for nothing>
compare() {
    local expected=/dev/null
    [ "$4" = - ] || expected=$golden/$4
    if ! cmp -s "$3" "$expected"; then
        echo "$1: $2 differs from ${4/#-/nothing}:"
        diff "$expected" "$3" | head -20
        failures=$((failures + 1))
    fi
}

# check <case> <locale> <exit code> <stdout golden> <stderr golden> [arguments...]
check() {
    local name=$1 locale=$2 code=$3 want_out=$4 want_err=$5
    shift 5
    LC_ALL=$locale "$vesk" "$@" >"$out" 2>"$err"
    local rc=$?
    if [ "$rc" != "$code" ]; then
        echo "$name: exit code $rc, expected $code"
        failures=$((failures + 1))
    fi
    compare "$name" stdout "$out" "$want_out"
    compare "$name" stderr "$err" "$want_err"
}

utf8=C.UTF-8
check "no arguments" $utf8 3 no_arguments.txt -
check "help" $utf8 1 help.txt - -?
check "help alias after a pattern" $utf8 1 help.txt - pattern -h
check "help ends the parse" $utf8 1 help.txt - -? -x
check "about" $utf8 2 about.txt - -about
check "about with a pattern" $utf8 2 about.txt - pattern -ab
check "exclusive options" $utf8 1 - exclusive.txt -nall -ndos x
check "no pattern" $utf8 1 - missing.txt -case
check "two patterns" $utf8 1 - redundant.txt a b
check "UTF-8 arguments" $utf8 1 - redundant_utf8.txt a $'\xc3\xbc\xf0\x9f\x98\x80'
check "undecodable byte" $utf8 1 - redundant_invalid_byte.txt a $'x\xffy'
check "ASCII locale" C 1 - redundant_ascii.txt a $'\xc3\xbc'

[ "$failures" = 0 ] || { echo "$failures failure(s)"; exit 1; }
