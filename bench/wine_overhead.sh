#!/usr/bin/env bash
# `morvalen -i` and `-w` on a generated library, the Linux build against the Windows build
# under Wine, in one run and in turns so that both see the same machine load. Each figure is
# the best of ROUNDS: the wall time and the CPU time (the program's and, under Wine, the
# Wine server's, which does every file open and close for it). A bare `-V` under Wine is the
# start-up that every Windows figure includes. The row "files of -w" is read_files_floor, the
# file work of -w alone through the platform seam, built for each system.
# Watch -w against its files: well above 3 points at a cost per file or per line in the
# Windows side of the platform seam. What Wine 8 cannot do faster: every file opened costs
# three Wine-server requests (open, descriptor, close), so the file work alone is several
# times Linux's (0.28 s of CPU against 0.04 s on 2,000 documents), and its heap and C runtime
# are slower than glibc's, which -i, reading whole documents, meets per line.
# Usage: bench/wine_overhead.sh [LINUX_BUILD [WINDOWS_BUILD [DOCUMENTS [ROUNDS]]]]
#   (LINUX_BUILD needs make_library_tool and read_files_floor: MORVALEN_BENCH on, the default;
#   WINDOWS_BUILD needs its tests on: build-windows.sh --test)
set -euo pipefail
cd "$(dirname "$0")/.."
linux_build=$(realpath "${1:-build}")
windows_build=$(realpath "${2:-build-windows}")
documents=${3:-2000}
rounds=${4:-5}
for program in "$linux_build/morvalen" "$linux_build/make_library_tool" "$linux_build/read_files_floor" \
  "$windows_build/morvalen.exe" "$windows_build/read_files_floor.exe"; do
  [ -x "$program" ] || { echo "no $program: build it first" >&2; exit 1; }
done
export WINEPREFIX=${WINEPREFIX:-$windows_build/wine} WINEDEBUG=-all
work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
"$linux_build/make_library_tool" "$work/library" "$documents" >/dev/null
cd "$work/library"
# One Wine server for the whole run (kept when it runs already), its services started before
# the first figure.
wineserver -p 2>/dev/null || true
wineboot --init >/dev/null 2>&1 || true

python3 - "$rounds" "$linux_build" "$windows_build" <<'PYTHON'
import os, resource, subprocess, sys, time

rounds, linux, windows = int(sys.argv[1]), sys.argv[2], sys.argv[3]
programs = {"linux": (linux + "/morvalen", linux + "/read_files_floor"),
            "wine": (windows + "/morvalen.exe", windows + "/read_files_floor.exe")}

def server_cpu():
    total = 0.0
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if open(f"/proc/{pid}/comm").read().startswith("wineserver"):
                fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
                total += (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
        except OSError:
            pass
    return total

def run(command):
    before, server, start = resource.getrusage(resource.RUSAGE_CHILDREN), server_cpu(), time.time()
    subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    wall, after = time.time() - start, resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime + server_cpu() - server
    return wall, cpu

cases = [("-i", 0, ["-i", "QL-"]), ("-w", 0, ["-w"]), ("files of -w", 1, [])]
best = {}
for _ in range(rounds):
    for name, program, args in cases:
        for side in ("linux", "wine"):
            command = [programs[side][program]] + args
            wall, cpu = run(command if side == "linux" else ["wine"] + command)
            old = best.get((name, side), (wall, cpu))
            best[(name, side)] = (min(old[0], wall), min(old[1], cpu))
    wall, cpu = run(["wine", programs["wine"][0], "-V"])
    old = best.get(("-V", "wine"), (wall, cpu))
    best[("-V", "wine")] = (min(old[0], wall), min(old[1], cpu))

print(f"best of {rounds}    wall linux   wall wine   ratio |  cpu linux    cpu wine   ratio")
for name, _, _ in cases:
    (lw, lc), (ww, wc) = best[(name, "linux")], best[(name, "wine")]
    print(f"{name:14} {lw:9.3f} s {ww:9.3f} s {ww / lw:6.1f}x | {lc:7.3f} s {wc:9.3f} s {wc / lc:6.1f}x")
vw, vc = best[("-V", "wine")]
print(f"{'-V (start)':14} {'':11} {vw:9.3f} s {'':7} | {'':9} {vc:9.3f} s")
PYTHON
