#!/usr/bin/env bash
# The manual pages render without a single warning from mandoc, groff or man, morvalen's page
# describes every option of its help screen, and qlml's page every command of its help.
# Usage: manual_pages_test.sh MORVALEN-BINARY QLML-BINARY MANUAL-FOLDER
set -uo pipefail
morvalen=$1 qlml=$2 folder=$3
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

for page in "$folder/morvalen.1" "$folder/qlml.1"; do
  out=$(mandoc -T lint -W style "$page" 2>&1)
  [[ -z $out ]] || fail "mandoc -T lint $page:"$'\n'"$out"
  out=$(groff -ww -z -man -t "$page" 2>&1)
  [[ -z $out ]] || fail "groff -ww $page:"$'\n'"$out"
  out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [[ -z $out ]] || fail "man --warnings -l $page:"$'\n'"$out"
done

for option in $("$morvalen" --help | sed -n 's/^  -[a-zA-Z], \(--[a-z-]*\).*/\1/p'); do
  grep -qF -- "${option//-/\\-}" "$folder/morvalen.1" || fail "morvalen.1 does not describe $option"
done
for command in $("$qlml" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z]\+\) .*/\1/p'); do
  grep -qx "\.SS qlml $command" "$folder/qlml.1" || fail "qlml.1 does not describe qlml $command"
done

((failures == 0)) && echo "manual pages: lint clean, every option and command described"
exit $((failures > 0))
