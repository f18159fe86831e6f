#!/usr/bin/env bash
# The bash completion of vesk, driven as bash drives it: the words of the command line so far,
# the completion function, and the replies it leaves.
# Usage: completion.sh <completion file>
set -u
export LC_ALL=C
source "$1"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
touch "$tmp/disk.img" "$tmp/disk.E01" "$tmp/hits.txt"
failures=0

# expect <command line, the last word being completed> <replies expected, sorted, one blank apart>
expect() {
    read -ra COMP_WORDS <<<"$1"
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    [[ $1 == *" " ]] && { COMP_WORDS+=(""); COMP_CWORD=$((COMP_CWORD + 1)); }
    _vesk
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)
    [ "$got" = "$2" ] || { echo "'$1': got '$got', expected '$2'"; failures=$((failures + 1)); }
}

expect "vesk -f" "-fDIRS -fFILES -fUSED -falloc -fsize -fsystem -funused"
expect "vesk -fs" "-fsize -fsystem"
expect "vesk -out" "-outCON -outfile"
expect "vesk *.txt -sn" "-snamespace"
expect "vesk -d" "-d -deferred"
expect "vesk -x" ""
expect "vesk *.txt --" "--bodyfile --csv --help --jsonl"
expect "vesk --j" "--jsonl"
expect "vesk -? " ""
expect "vesk -outf $tmp/h" "$tmp/hits.txt"
expect "vesk -outfile $tmp/d" "$tmp/disk.E01 $tmp/disk.img"
expect "vesk -d $tmp/disk.E" "$tmp/disk.E01"
expect "vesk -d C : $tmp/disk.i" "$tmp/disk.img"
expect "vesk -d $tmp/disk.img#2" "$tmp/disk.img#2/vss"
expect "vesk -de $tmp/d" ""
expect "vesk -fsi $tmp/d" ""
# Before a path is begun, -d offers the block devices among the files of the current folder.
devices=$(find /dev -maxdepth 1 -type b | sort | xargs)
cd "$tmp" && expect "vesk x -d " "$(printf '%s\n' disk.E01 disk.img hits.txt $devices | sort | xargs)"

[ "$failures" = 0 ] || { echo "$failures failure(s)"; exit 1; }
