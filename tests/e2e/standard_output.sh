#!/usr/bin/env bash
# What transcripts cannot express: standard output that cannot be written, a pipe whose reader has
# gone, and no -d in a directory whose file system is not NTFS.
# Usage: standard_output.sh VESK VOLUMES
set -u
vesk=$(realpath "$1") volumes=$(realpath "$2")
scratch=$(mktemp -d) && trap 'rm -rf "$scratch"' EXIT
failures=0
expect() { # what, expected, actual
    if [[ "$2" != "$3" ]]; then
        printf '%s\n--- expected\n%s\n--- actual\n%s\n' "$1" "$2" "$3"
        failures=$((failures + 1))
    fi
}
export LC_ALL=C.UTF-8

# A full disk: one line at the first failed write, whether results or the summary come first.
full='System error occured. No space left on device (28)'
for options in "-silent" "" "-outCON"; do
    err=$("$vesk" "*" $options -d "$volumes/basic.img" 2>&1 >/dev/full; echo "[exit $?]")
    expect "/dev/full, options: $options" "$full"$'\n[exit 0]' "$err"
done

# A reader that stops after the first byte: the start line, or far more results than a pipe holds,
# cut off without a word (SIGPIPE ignored, as a shell or a service may leave it, so that the write
# fails instead of ending the program).
for options in "-silent" ""; do
    (trap '' PIPE; "$vesk" "*" $options -nall -funused -si -ssize -salloc -snamespace -sd \
        -d "C:$volumes/attribute-list-directory.img" 2>"$scratch/err"; echo "[exit $?]" >>"$scratch/err") |
        head -c 1 >/dev/null
    expect "closed pipe, options: $options" "[exit 0]" "$(<"$scratch/err")"
done

# No -d in a directory on another file system: how to name a volume.
type=$(findmnt -n -o FSTYPE -T "$scratch")
if [[ $type == fuse || $type == fuseblk || $type == *ntfs* ]]; then
    echo "not run: $scratch lies on $type, which may be NTFS"
else
    err=$(cd "$scratch" && "$vesk" "*" 2>&1; echo "[exit $?]")
    expect "no -d on $type" "An error occured. The current directory lies on $type, not on NTFS. Name the volume to search with -d: a device such as -d /dev/sdb1, or an image such as -d C:/cases/disk.img."$'\n[exit 0]' "$err"
fi
exit $((failures > 0))
