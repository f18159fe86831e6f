#!/bin/bash
# Shadow copies on a disk that Windows wrote (GPT, NTFS partition 2 at sector 67584 with one copy):
# vesk's reading of the copy through the device stack (the raw disk, a VHDX of it, the partition
# chosen by offset, an E01 of it) against libvshadow's reading alone, the copy written out by vesk-shadow-export:
# vesk's whole output on the written copy for each search, and The Sleuth Kit's fls listing of it.
# Then the cases of shadow_copies.transcript, with the disk and the written copy as its volumes.
#   shadow_copies.sh VESK EXPORT FLS TESTS(tests/) MKVOL DATA.tar.gz
set -u
vesk=$(realpath "$1") export=$2 fls=$3 tests=$4 mkvol=$5 data=$6
if [ ! -f "$data" ]; then
  echo "Skipped: the disk with shadow copies, $data, is absent."
  exit 77
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
tar xzf "$data" --sparse &&
  "$export" vss_2_stor.raw $((67584 * 512)) 1 store1.raw &&
  qemu-img convert -f raw -O vhdx vss_2_stor.raw vss_2_stor.vhdx &&
  ewfacquire -u -q -c deflate:fast -t vss_2_stor vss_2_stor.raw >/dev/null || exit 1
failures=0

# search VALUE OPTIONS...: the run's output, the elapsed time masked, and its exit code.
search() {
  local value=$1
  shift
  "$vesk" -d "C:./$value" "$@" 2>&1 | sed -e 's/ in [0-9.e+-]* s\./ in T s./'
  echo "[exit ${PIPESTATUS[0]}]"
}

while read -r -a options; do
  for value in vss_2_stor.raw#2/vss1 vss_2_stor.vhdx#2/vss1 vss_2_stor.E01#2/vss1 vss_2_stor.raw@67584s/vss1; do
    if ! diff <(search store1.raw "${options[@]}") <(search "$value" "${options[@]}"); then
      echo "differs from the written copy: $value ${options[*]}"
      failures=$((failures + 1))
    fi
  done
done <<'SEARCHES'
* -funused -nall -si -ssize -salloc -snamespace -sd -fsystem
*.ini -si -ssize -sd
-regex t.*\.TXT -si -fFILES
SEARCHES

python3 "$tests/e2e/fls_differential.py" "$vesk" "$fls" -d vss_2_stor.raw#2/vss1 store1.raw ||
  failures=$((failures + 1))
python3 "$tests/e2e/run_transcript.py" "$vesk" "$dir" "$tests/volumes" "$mkvol" \
  "$tests/image/shadow_copies.transcript" || failures=$((failures + 1))
exit $((failures > 0))
