#!/usr/bin/env bash
# Time of `morvalen -p` for one example document against the bare Chromium command that
# prints the same page, measured in one run, alternating the two so that both see the same
# machine load. A third figure times the same render with a stand-in browser that only
# copies a PDF: everything Morvalen does besides printing.
# Usage: bench/render_overhead.sh [BUILD_DIR] [ROUNDS] [DOCUMENT-NUMBER]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
rounds=${2:-10}
number=${3:-QL-WI-0010}
morvalen="$build/morvalen"
[ -x "$morvalen" ] || { echo "no $morvalen: build it first (cmake --build $build --target morvalen)" >&2; exit 1; }
browser=$(command -v chromium || command -v chromium-browser || command -v google-chrome || command -v google-chrome-stable) ||
  { echo "no Chromium on PATH: apt-get install chromium" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r examples/library "$work/library"
cd "$work/library"
"$morvalen" -p "$number" # the page the bare command prints, and a warm file cache
name=$(ls -d "$number"*/ | head -n 1)
name=${name%/}
html="$PWD/$name/$name.html"
pdf="$work/bare.pdf"

# The same switches Morvalen passes, with a fresh profile per start as Morvalen does.
bare() {
  local profile
  profile=$(mktemp -d)
  local root=()
  [ "$(id -u)" = 0 ] && root=(--no-sandbox)
  "$browser" --headless --no-pdf-header-footer "--print-to-pdf=$pdf" "--user-data-dir=$profile" "${root[@]}" \
    --disable-background-networking --disable-component-update --no-first-run --disable-sync "$html" \
    >/dev/null 2>&1 </dev/null
  rm -rf "$profile"
}

mkdir -p "$work/stand-in"
cp "$name/$name.pdf" "$work/printed.pdf"
printf '#!/bin/sh\nfor arg in "$@"; do case "$arg" in --print-to-pdf=*) cp "%s" "${arg#--print-to-pdf=}" ;; esac; done\n' \
  "$work/printed.pdf" >"$work/stand-in/chromium"
chmod +x "$work/stand-in/chromium"

now() { date +%s%N; }
morvalen_times=()
bare_times=()
own_times=()
for ((round = 0; round < rounds; round++)); do
  start=$(now)
  "$morvalen" -p "$number" >/dev/null
  morvalen_times+=($(($(now) - start)))
  start=$(now)
  bare
  bare_times+=($(($(now) - start)))
  start=$(now)
  PATH="$work/stand-in:$PATH" "$morvalen" -p "$number" >/dev/null
  own_times+=($(($(now) - start)))
done

python3 - "${morvalen_times[*]}" "${bare_times[*]}" "${own_times[*]}" "$name" <<'EOF'
import statistics, sys
morvalen, bare, own = ([int(t) / 1e9 for t in arg.split()] for arg in sys.argv[1:4])
print(f"document: {sys.argv[4]}, {len(morvalen)} rounds, alternating")
for label, times in (("morvalen -p", morvalen), ("bare chromium", bare), ("stand-in run", own)):
    print(f"{label:14} median {statistics.median(times):.3f} s  mean {statistics.mean(times):.3f} s  "
          f"min {min(times):.3f} s  max {max(times):.3f} s")
ratio = statistics.median(morvalen) / statistics.median(bare)
print(f"overhead (median/median): {100 * (ratio - 1):+.1f} %  (target: below +10 %)")
print(f"Morvalen's own work (stand-in run / bare chromium): {100 * statistics.median(own) / statistics.median(bare):.1f} %")
EOF
