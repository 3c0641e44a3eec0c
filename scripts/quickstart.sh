#!/usr/bin/env bash
# Installs what is missing, builds morvalen and qlml and runs them on a fresh copy of the example library.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"${JOBS:-2}" --target morvalen qlml
library="$PWD/build/example-library"
rm -rf "$library"
cp -r examples/library "$library"
cd "$library"
../morvalen -i "QL-*"
../morvalen -p "QL-*" -w
../qlml trace --requirements SystemRequirements.csv
echo
echo "Done. The example library is in $library"
find . -path ./assets -prune -o -path '*/previous' -prune -o \( -name '*.html' -o -name '*.pdf' \) -print |
  sort | sed "s|^\./|  $library/|"
