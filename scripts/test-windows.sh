#!/usr/bin/env bash
# The Windows build: cross-compiles vesk and its unit tests with MinGW-w64, runs the unit tests
# under Wine, and runs vesk.exe under Wine on builder volumes side by side with the Linux vesk:
# the same lines, summaries, junction alternates and output-file bytes, with CR LF line ends and
# the OEM code page (437 under Wine) on the console. Installs what it needs that is missing.
# Exits non-zero if anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# The builder of the test volumes and the Linux vesk need the main suite's packages.
bash scripts/install-deps.sh
packages=(g++-mingw-w64-x86-64-posix wine64 wine googletest libboost1.81-dev cmake make)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  # With the recommended packages, as Wine was tried on this kind of machine.
  apt-get install -y -q "${missing[@]}"
fi

jobs=$(nproc)
native=build/win-native
cross=build/win

echo "== native vesk and test volumes"
cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=Release -DVESK_BENCH=OFF >/dev/null
cmake --build "$native" -j "$jobs" --target vesk vesk-mkvol test_volumes >/dev/null

echo "== GoogleTest for Windows"
gtest_prefix=$root/$cross/googletest-install
if [ ! -f "$gtest_prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$cross/googletest" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$gtest_prefix" >/dev/null
  cmake --build "$cross/googletest" -j "$jobs" >/dev/null
  cmake --install "$cross/googletest" >/dev/null
fi

echo "== vesk.exe and the unit tests, cross-compiled"
# Tests are listed when ctest runs, not after each link (that would need Wine in the build), and
# linked statically, as the program is, so that they run without the toolchain's DLLs. Optimised
# as the native suite is (-O2): GCC 12's -O3 warns of uninitialised strings in tests where none are.
toolchain=()
# A toolchain is chosen once, when the build folder is made.
[ -f "$cross/CMakeCache.txt" ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake)
cmake -S . -B "$cross" "${toolchain[@]}" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DVESK_BENCH=OFF -DGTest_DIR="$gtest_prefix/lib/cmake/GTest" \
  -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST -DCMAKE_EXE_LINKER_FLAGS=-static \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build "$cross" -j "$jobs" >/dev/null

# A Wine of our own, set up once.
export WINEPREFIX=$root/$cross/wineprefix WINEDEBUG=-all
if [ ! -d "$WINEPREFIX/dosdevices" ]; then
  wineboot -i >/dev/null 2>&1
fi
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

echo "== unit tests under Wine"
for t in platform image cmdline app volume; do
  if ! wine "$cross/tests/$t/${t}_tests.exe" --gtest_brief=1 >"$cross/$t-tests.log" 2>&1; then
    cat "$cross/$t-tests.log"
    fail "${t}_tests"
  else
    grep -E '^\[  (PASSED|SKIPPED) ' "$cross/$t-tests.log" | sed "s/^/${t}_tests: /"
  fi
done

echo "== vesk.exe under Wine on builder volumes"
volumes=$root/$native/volumes
work=$root/$cross/e2e
rm -rf "$work"
mkdir -p "$work"
linux_vesk=$root/$native/app/vesk
windows_vesk=$root/$cross/app/vesk.exe

# The Windows name of a file of this machine: Wine shows the root as drive Z:.
windows_path() {
  local path=${1//\//\\}
  printf 'Z:%s' "$path"
}

# Drive C: of our Wine reads the image as its volume: "\\.\C:" opens the device behind the drive's
# "c::" entry. So both programs see the volume as drive C:, and junction targets on C: resolve.
use_as_drive_c() {
  ln -sfn "$1" "$WINEPREFIX/dosdevices/c::"
}

# The summary's elapsed time differs from run to run.
mask_time() {
  sed -E 's/ filerecord\(s\) in [0-9.e+-]+ s\./ filerecord(s) in T s./'
}

# check_crlf <what> <file>: every line ends with CR LF, and no CR stands anywhere else.
check_crlf() {
  local lines crlf
  lines=$(tr -cd '\n' <"$2" | wc -c)
  crlf=$(grep -c $'\r$' "$2" || true)
  if [ "$lines" != "$crlf" ] || [ "$(tr -cd '\r' <"$2" | wc -c)" != "$lines" ]; then
    fail "$1: $crlf of $lines line(s) end with CR LF"
  fi
  if [ -n "$(tail -c 1 "$2")" ] && [ "$(tail -c 1 "$2")" != $'\n' ]; then
    fail "$1: the last line has no line end"
  fi
}

# run_both <volume> <arguments...>: the search on both systems, the volume as drive C:, each
# writing an output file too. An option may start with "/", which only Windows takes: Linux is
# given it with "-". Leaves linux.* and windows.* in $work: out, err, code and hits (the output
# file), the Windows text with CR LF.
run_both() {
  local volume=$1
  shift
  local image=$volumes/$volume.img
  rm -f "$work/linux.hits" "$work/windows.hits"
  set +e
  LC_ALL=C.UTF-8 "$linux_vesk" "${@/#\//-}" -outfile "$work/linux.hits" -d "C:$image" \
    >"$work/linux.out" 2>"$work/linux.err"
  echo $? >"$work/linux.code"
  use_as_drive_c "$image"
  wine "$windows_vesk" "$@" -outfile "$(windows_path "$work/windows.hits")" -d C: \
    >"$work/windows.out" 2>"$work/windows.err"
  echo $? >"$work/windows.code"
  set -e
}

# compare_runs <what>: the same exit code, output file bytes, and standard output and error but
# for line ends. Where Linux shows names outside ASCII (in UTF-8), the console shows them in its
# code page: there only the number of lines is compared (the names themselves are compared in the
# output file, and the code page's bytes below).
compare_runs() {
  local what=$1
  check_crlf "$what (stdout)" "$work/windows.out"
  check_crlf "$what (stderr)" "$work/windows.err"
  cmp -s "$work/linux.code" "$work/windows.code" ||
    fail "$what: exit code $(cat "$work/windows.code"), on Linux $(cat "$work/linux.code")"
  if [ -e "$work/linux.hits" ] || [ -e "$work/windows.hits" ]; then
    cmp -s "$work/linux.hits" "$work/windows.hits" || fail "$what: the output file differs from Linux's"
  fi
  local stream
  for stream in out err; do
    if LC_ALL=C grep -q '[^[:print:][:space:]]' "$work/linux.$stream"; then
      [ "$(wc -l <"$work/linux.$stream")" = "$(wc -l <"$work/windows.$stream")" ] ||
        fail "$what: std$stream has another number of lines than on Linux"
    elif ! cmp -s <(mask_time <"$work/linux.$stream") <(tr -d '\r' <"$work/windows.$stream" | mask_time); then
      fail "$what: std$stream differs from Linux"
      diff <(mask_time <"$work/linux.$stream") <(tr -d '\r' <"$work/windows.$stream" | mask_time) | head -10 || true
    fi
  done
}

# One search per line: the volume, then the arguments (no blanks inside one).
cases=(
  "basic leaf.txt -silent"
  "basic -sd -snamespace -salloc -ssize -si tool.exe -silent"
  "basic readme.txt -si -ssize -salloc -silent"
  "basic tool.exe -sP -sd -silent"
  "basic Alpha"
  "basic shared* -si -ssize"
  "basic gone* -funused -silent"
  "basic * -si -silent -fUSED"
  "basic * -range 10 5"
  "basic * -range 0 16 -fsystem"
  "basic * -range 100 -fFILES"
  "basic * -range 240 2147483647"
  "basic LEAF.TXT -silent -case"
  "basic *.TXT -silent -case"
  "basic [x].txt -silent"
  "basic -regex leaf\\.t.t|a\\{2\\}\\..* -silent"
  "basic *LONG* -silent -snamespace -nall"
  "basic PROG* -silent -snamespace -ndos"
  "basic * -si -nall -funused -deferred -silent"
  "basic * -si -nall -funused -nocache -silent"
  "filters * -silent -fsize 1k 1k"
  "filters * -silent -falloc 4k 4k"
  "filters * -silent -fsystem"
  "filters * -range 1000 2000 -fsystem -fFILES -si"
  "windows-names * -silent -snamespace"
  "junctions inside-a.txt"
  "junctions inside-a.txt -JP -silent"
  "junctions inside-a.txt -sd -silent"
  "junctions main.c -sd -si"
  "junctions OtherDrive -silent"
  "attribute-list * -si -nall -funused -ssize -salloc -silent"
  "fragmented-mft * -si -nall -funused -ssize -salloc -silent"
  "geometry-512-512 * -si -nall -ssize -salloc -silent"
  "geometry-512-65536 * -si -nall -ssize -salloc -silent"
  "geometry-4096-4096 * -si -nall -ssize -salloc -silent"
  "basic /si /silent /ssize leaf.txt"
  "basic * -si -ssize -salloc -snamespace -sd -nall -funused -outCON"
  "junctions * -si -ssize -salloc -snamespace -sd -nall -funused -outCON"
)
for line in "${cases[@]}"; do
  read -r -a words <<<"$line"
  run_both "${words[@]}"
  compare_runs "$line"
done
echo "${#cases[@]} searches compared"

# The volume named by its image file in the "\\.\" form ("\\.\Z:\...\junctions.img"): opened as a
# device path, with the drive letter Z, on which no junction target lies.
set +e
LC_ALL=C.UTF-8 "$linux_vesk" inside-a.txt -silent -d "$volumes/junctions.img" >"$work/linux.out" 2>"$work/linux.err"
echo $? >"$work/linux.code"
wine "$windows_vesk" inside-a.txt -silent -d "$(windows_path "$volumes/junctions.img")" >"$work/windows.out" \
  2>"$work/windows.err"
echo $? >"$work/windows.code"
set -e
rm -f "$work/linux.hits" "$work/windows.hits"
compare_runs "an image file as the device path"

# Names outside ASCII on the console, in code page 437: it has è, é and û; Wine's conversion puts
# the nearest character or "?" for the others: Greek capital epsilon becomes the code page's small
# epsilon (0xEE), and each half of a surrogate pair a "?" of its own.
run_both basic "*" -silent -fDIRS -range 231 236
compare_runs "names outside ASCII"
printf '%b' '\\Unicode\\?????????.txt\r\n\\Unicode\\\xEE???????.txt\r\n\\Unicode\\Cr\x8Ame br\x96l\x82e.txt\r\n' \
  '\\Unicode\\?????.txt\r\n\\Unicode\\smile ??.txt\r\n' >"$work/expected-437.out"
cmp -s "$work/expected-437.out" "$work/windows.out" || {
  fail "names outside ASCII: the console bytes differ from code page 437's"
  od -c "$work/windows.out" | head -20 || true
}

# Failures: the same reports where the texts are the program's, the system's text where they are not.
zeros=$work/zeros.img
head -c 1048576 /dev/zero >"$zeros"
set +e
LC_ALL=C.UTF-8 "$linux_vesk" "*" -d "C:$zeros" >"$work/linux.out" 2>"$work/linux.err"
echo $? >"$work/linux.code"
use_as_drive_c "$zeros"
wine "$windows_vesk" "*" -d C: >"$work/windows.out" 2>"$work/windows.err"
echo $? >"$work/windows.code"
set -e
rm -f "$work/linux.hits" "$work/windows.hits"
compare_runs "a volume that is not NTFS"

use_as_drive_c "$volumes/basic.img"
set +e
wine "$windows_vesk" "*" -outfile "$(windows_path "$work/no/such/folder/hits.txt")" -d C: \
  >"$work/windows.out" 2>"$work/windows.err"
code=$?
set -e
check_crlf "output file in a missing folder" "$work/windows.err"
[ "$code" = 0 ] || fail "output file in a missing folder: exit code $code"
grep -qE '^System error occured\. .+ \(3\)'$'\r''$' "$work/windows.err" ||
  fail "output file in a missing folder: $(cat "$work/windows.err")"

# The pages shown before any search, against the golden texts of the Linux build.
golden=tests/app/golden
# page <what> <exit code> <golden stdout or -> <golden stderr or -> [text appended to stdout] -- arguments
page() {
  local what=$1 want=$2 out=$3 err=$4 extra=$5
  shift 6
  set +e
  wine "$windows_vesk" "$@" >"$work/windows.out" 2>"$work/windows.err"
  local code=$?
  set -e
  [ "$code" = "$want" ] || fail "$what: exit code $code, expected $want"
  check_crlf "$what (stdout)" "$work/windows.out"
  check_crlf "$what (stderr)" "$work/windows.err"
  local stream golden_file
  for stream in out err; do
    if [ $stream = out ]; then golden_file=$out; else golden_file=$err; fi
    {
      if [ "$golden_file" != - ]; then cat "$golden/$golden_file"; fi
      if [ $stream = out ]; then printf '%s' "$extra"; fi
    } >"$work/expected.$stream"
    tr -d '\r' <"$work/windows.$stream" | cmp -s "$work/expected.$stream" - || {
      fail "$what: std$stream differs from ${golden_file}"
      diff "$work/expected.$stream" <(tr -d '\r' <"$work/windows.$stream") | head -10 || true
    }
  done
}
switches=$'Following characters are accepted as option switch: -/\n'
page "no arguments" 3 no_arguments.txt - "" --
page "help" 1 help.txt - "$switches" -- -?
page "help with /" 1 help.txt - "$switches" -- "/?"
page "help alias after a pattern" 1 help.txt - "$switches" -- pattern /h
page "about" 2 about.txt - "" -- -about
page "exclusive options" 1 - exclusive.txt "" -- -nall /ndos x
page "no pattern" 1 - missing.txt "" -- -case
page "two patterns" 1 - redundant.txt "" -- a b

if [ "$failures" != 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "Windows build: all passed"
