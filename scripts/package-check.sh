#!/usr/bin/env bash
# Installs the Debian package with dpkg, checks that the program, its manual page and its bash
# completion are where the system looks for them, removes the package and checks that they are
# gone. Needs root and changes the machine for its run, so CI runs it apart from the test suite.
# Usage: scripts/package-check.sh [package; default: the one scripts/package.sh builds]
set -euo pipefail
cd "$(dirname "$0")/.."
if dpkg-query -W -f='${Status}' vesk 2>/dev/null | grep -q 'install ok installed'; then
  echo "vesk is installed already: this check would remove it" >&2
  exit 2
fi
deb=${1:-$(bash scripts/package.sh | tail -1)}
completion=/usr/share/bash-completion/completions/vesk
trap 'dpkg -r vesk >/dev/null 2>&1 || true' EXIT
passed=0 failed=0
check() {
  if eval "$2" >/dev/null 2>&1; then passed=$((passed + 1)); else echo "FAILED: $1"; failed=$((failed + 1)); fi
}

dpkg -i "$deb" >/dev/null
check "vesk -h shows the help page" '[ "$(vesk -h | head -1)" = "Vesk $(dpkg-query -W -f="\${Version}" vesk)" ]'
check "man -w vesk finds the manual page" 'man -w vesk'
check "the completion is installed" '[ -f $completion ] && bash -c "source $completion && complete -p vesk"'
check "the licence text is installed" 'grep -q "^Vesk " /usr/share/doc/vesk/copyright'
dpkg -r vesk >/dev/null
hash -r
check "dpkg -r removes the program" '! command -v vesk'
check "dpkg -r removes the manual page" '! man -w vesk'
check "dpkg -r removes the completion" '[ ! -e $completion ]'

echo "package: $passed passed, $failed failed"
[ "$failed" = 0 ]
