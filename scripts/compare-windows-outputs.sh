#!/usr/bin/env bash
# Runs the Linux build and the Windows build (under Wine) on copies of the example library and
# compares what they write: drafts, pages, menu and scripts byte for byte, the console text
# (the program name aside) and the exit statuses. Then a draft's QuickLever.bat renders its
# document through `wine cmd /c`, with a stand-in printer.
#   bash scripts/compare-windows-outputs.sh [LINUX_BUILD [WINDOWS_BUILD]]
set -euo pipefail
cd "$(dirname "$0")/.."
linux_build=$(realpath "${1:-build}")
windows_build=$(realpath "${2:-build-windows}")
export WINEPREFIX=${WINEPREFIX:-$windows_build/wine} WINEDEBUG=-all
for program in "$linux_build/morvalen" "$linux_build/qlml" "$linux_build/printer_stand_in" \
  "$windows_build/morvalen.exe" "$windows_build/qlml.exe" "$windows_build/printer_stand_in.exe"; do
  [ -x "$program" ] || { echo "no $program: build both with their tests (build-windows.sh --test)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Stand-in printers, the same program built for each side: one browser per page writes the
# PDF it is asked for, the kept browser answers over its DevTools pipe; each PDF names its page
# and the way it was printed.
mkdir -p "$work/bin-linux" "$work/bin-windows"
cp "$linux_build/printer_stand_in" "$work/bin-linux/chromium"
cp "$windows_build/printer_stand_in.exe" "$work/bin-windows/chrome.exe"

# The same folder name on both sides: it is the library's name, beyond ASCII as is a document's
# folder name that joins the examples.
library="Bibliothek Ölraum"
for side in linux windows; do
  mkdir "$work/$side"
  cp -r examples/library "$work/$side/$library"
  from="$work/$side/$library/QL-WI-0010 - Pump Start_Stop"
  to="$work/$side/$library/QL-WI-0011 - Pumpe Ölstand"
  mkdir "$to"
  cp "$from"/*.csv "$from"/*.png "$to/"
  sed -e 's/^Number .*/Number | QL-WI-0011/' -e 's/^Title .*/Title | Pumpe Ölstand/' \
    "$from/QL-WI-0010 - Pump Start_Stop.qlml" >"$to/QL-WI-0011 - Pumpe Ölstand.qlml"
done
# One command of $tool (morvalen, then qlml) on both sides: its console text and exit status
# are kept per side.
tool=morvalen
run() {
  local name=$1
  shift
  (cd "$work/linux/$library" && PATH="$work/bin-linux:$PATH" "$linux_build/$tool" "$@") \
    >"$work/$name.linux.out" 2>"$work/$name.linux.err" && echo 0 >"$work/$name.linux.status" ||
    echo $? >"$work/$name.linux.status"
  (cd "$work/windows/$library" && WINEPATH="Z:${work//\//\\}\\bin-windows" \
    wine "$windows_build/$tool.exe" "$@") \
    >"$work/$name.windows.out" 2>"$work/$name.windows.err" && echo 0 >"$work/$name.windows.status" ||
    echo $? >"$work/$name.windows.status"
  for stream in out err status; do
    sed "s/$tool\\.exe/$tool/g" "$work/$name.windows.$stream" >"$work/$name.windows.$stream.cmp"
    if ! cmp -s "$work/$name.linux.$stream" "$work/$name.windows.$stream.cmp"; then
      echo "DIFFERENT $stream of $tool $*:"
      diff "$work/$name.linux.$stream" "$work/$name.windows.$stream.cmp" | head -20 || true
      failed=1
    fi
  done
}
failed=0
start=$(date +%s.%N)
run drafts -v -l DocumentList.csv
run scripts-bash -s QL-WI-0010 bash true
run scripts-powershell -s QL-WI-0010 powershell false
run scripts-python -s QL-WI-0010 python 1
run inspect -i '*'
run inspect-verbose -v -i QL-
run menu -v -w
run render-one -p QL-WI-0010
render_one="QL-WI-0010 - Pump Start_Stop/QL-WI-0010 - Pump Start_Stop.pdf"
grep -q "one browser per page, for QL-WI-0010" "$work/windows/$library/$render_one" ||
  { echo "-p QL-WI-0010 did not print with a browser of its own"; failed=1; }
run render-non-ascii -p QL-WI-0011
grep -q "one browser per page, for QL-WI-0011 - Pumpe Ölstand.html" \
  "$work/windows/$library/QL-WI-0011 - Pumpe Ölstand/QL-WI-0011 - Pumpe Ölstand.pdf" ||
  { echo "-p QL-WI-0011 did not print its page"; failed=1; }
run render-all -p QL-
run archive -a 'QL-WI-*'
run missing -p QL-XX-9999 -i 'QL-WI-[0-9'
run usage -q
# The checker and the requirements matrix (written into the library, compared below).
tool=qlml
run check check --format json
run check-sarif check --format sarif
run trace trace
# Pages, menu, drafts, scripts and PDFs byte for byte; archive folder names carry the time to
# the second (two runs in one second share a folder), so archives are compared by name only.
pdfs=$(find "$work/windows/$library" -path '*/previous' -prune -o -name '*.pdf' -print | wc -l)
kept=$(find "$work/windows/$library" -path '*/previous' -prune -o -name '*.pdf' -print0 |
  xargs -0 grep -l "kept browser" | wc -l)
if [ "$pdfs" -lt 2 ] || [ "$kept" != "$pdfs" ]; then
  echo "-p QL- printed $kept of $pdfs PDFs with the kept browser"
  failed=1
fi
if ! diff -r -x previous "$work/linux" "$work/windows" >"$work/tree.diff"; then
  echo "DIFFERENT files:"
  head -40 "$work/tree.diff" || true
  failed=1
fi
for side in linux windows; do
  (cd "$work/$side" && find . -name '*.pdf' | sed 's/_UTC-[-0-9T]*/_UTC-TIME/' | sort -u) \
    >"$work/pdfs.$side"
done
cmp -s "$work/pdfs.linux" "$work/pdfs.windows" || { echo "DIFFERENT PDFs or archives"; diff "$work/pdfs.linux" "$work/pdfs.windows"; failed=1; }
echo "Windows outputs compared with Linux in $(printf '%.1f' "$(echo "$(date +%s.%N) - $start" | bc)") s"

# QuickLever.bat of a draft's folder, double-clicked: morvalen.exe in the library root.
cp "$windows_build/morvalen.exe" "$work/windows/$library/"
folder="$work/windows/$library/QL-WI-0020 - Pump Mechanical Seal Replacement"
rm -f "$folder"/*.pdf
(cd "$folder" && WINEPATH="Z:${work//\//\\}\\bin-windows" wine cmd /c QuickLever.bat) >"$work/bat.out" 2>&1 || true
if grep -qs "one browser per page, for QL-WI-0020" "$folder/QL-WI-0020 - Pump Mechanical Seal Replacement.pdf"; then
  echo "QuickLever.bat rendered QL-WI-0020"
else
  echo "QuickLever.bat did not render QL-WI-0020:"
  head -20 "$work/bat.out"
  failed=1
fi
# Ctrl-C while the browser prints: Wine hands SIGINT on as a console control event when the
# program runs on a terminal (here script's). The run ends the hung browser, removes its
# profile folder, says "interrupted" and ends with 130.
mkdir "$work/bin-hang"
cp "$windows_build/stand_in.exe" "$work/bin-hang/chrome.exe"
cp "$windows_build/morvalen.exe" "$work/interrupted.exe" # a name of its own, to find its process
profiles() { find "$WINEPREFIX/drive_c/users" -maxdepth 3 -name 'morvalen-chromium-*' | sort; }
profiles >"$work/profiles.before"
cat >"$work/interrupt.sh" <<SCRIPT
cd "$work/windows/$library"
STAND_IN_HANGS=1 WINEPATH='Z:${work//\//\\}\\bin-hang' wine "$work/interrupted.exe" -v -p QL-WI-0010 \
  >"$work/interrupt.out" 2>"$work/interrupt.err"
echo \$? >"$work/interrupt.status"
SCRIPT
script -qec "bash '$work/interrupt.sh'" /dev/null >/dev/null 2>&1 &
program=""
started=""
for _ in $(seq 200); do
  for pid in $(grep -ls "interrupted.exe" /proc/[0-9]*/comm 2>/dev/null | cut -d/ -f3); do
    tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q "^$work/interrupted.exe" && program=$pid
  done
  started=$(profiles | comm -13 "$work/profiles.before" -)
  [ -n "$program" ] && [ -n "$started" ] && break
  sleep 0.1
done
sleep 0.5
[ -n "$program" ] && kill -INT "$program"
for _ in $(seq 200); do [ -s "$work/interrupt.status" ] && break; sleep 0.1; done
left=$(profiles | comm -13 "$work/profiles.before" -)
if [ -n "$started" ] && [ "$(cat "$work/interrupt.status" 2>/dev/null)" = 130 ] &&
  grep -qx interrupted "$work/interrupt.err" &&
  [ -z "$left" ] && ! grep -qs "bin-hang" /proc/[0-9]*/cmdline; then
  echo "Ctrl-C ended the run and its browser and left no profile folder"
else
  echo "Ctrl-C under Wine: status $(cat "$work/interrupt.status" 2>/dev/null), left: $left"
  cat "$work/interrupt.err" 2>/dev/null | head -5
  failed=1
fi
exit $failed
