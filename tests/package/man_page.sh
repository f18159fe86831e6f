#!/usr/bin/env bash
# The manual page: groff formats it without a warning, and it describes every option (and alias)
# of the program's help page.
# Usage: man_page.sh <path of vesk> <manual page>
set -uf
vesk=$1
page=$2
export MANWIDTH=80 LC_ALL=C.UTF-8
failures=0

warnings=$(man --warnings -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || { echo "groff warns: $warnings"; failures=$((failures + 1)); }

text=$(man --nh -l "$page" 2>/dev/null)
# "  -range <begin> [<end>]  Scan ..." and "(also -h)" name the options.
options=$("$vesk" '-?' | grep -oE '^  -[^ ]+|also -[^ ),]+' | sed 's/^.* //')
[ "$(wc -l <<<"$options")" -ge 30 ] || { echo "too few options read from the help page"; exit 1; }
for option in $options; do
    grep -qwF -- "$option" <<<"$text" || { echo "$option is not in the manual page"; failures=$((failures + 1)); }
done

[ "$failures" = 0 ] || { echo "$failures failure(s)"; exit 1; }
