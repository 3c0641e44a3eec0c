#!/usr/bin/env bash
# Validates qlml check's SARIF output with the SARIF Multitool (installed with npm into
# BUILD/sarif-tools on first use): a library with a finding of every rule and the example
# library. Fails on any error or warning of the validator but SARIF2005 (the tool names no
# web page about itself) and SARIF2017 (a folder without its document, QL702, is a place
# without lines).
# Usage: scripts/validate-sarif.sh BUILD-FOLDER
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
tools="$build/sarif-tools"
multitool="$tools/node_modules/@microsoft/sarif-multitool-linux/Sarif.Multitool"
if [ ! -x "$multitool" ]; then
  if ! command -v npm >/dev/null; then
    echo "validate-sarif: npm is needed to install the SARIF Multitool (apt-get install npm)" >&2
    exit 1
  fi
  npm install --no-audit --no-fund --prefix "$tools" @microsoft/sarif-multitool-linux@5.7.0 >/dev/null
  # npm may skip the package's own install script, which only marks the program executable.
  chmod u+x "$multitool"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/library/P - Every rule"
cp fuzz/corpus/check/every-rule.qlml "$work/library/P - Every rule/P - Every rule.qlml"
mkdir "$work/library/Q no document"
cp -r examples/library "$work/examples"
status=0
for library in library examples; do
  (cd "$work/$library" && "$build/qlml" check --format sarif --fail-on never >"$work/$library.sarif")
  export DOTNET_SYSTEM_GLOBALIZATION_INVARIANT=1
  "$multitool" validate "$work/$library.sarif" --output "$work/$library.validation.sarif" \
    >"$work/$library.log" 2>&1 || { cat "$work/$library.log"; status=1; }
  results=$(grep -c '"ruleId"' "$work/$library.sarif" || true)
  if grep -E ': (error|warning) ' "$work/$library.log" | grep -vE 'SARIF(2005|2017):'; then
    echo "validate-sarif: the SARIF log of the $library library ($results results) is not valid" >&2
    status=1
  else
    echo "validate-sarif: $library: $results results, valid SARIF 2.1.0"
  fi
done
exit $status
