#!/usr/bin/env bash
# Cross-builds morvalen.exe and qlml.exe for 64-bit Windows with Debian's MinGW-w64 and packs
# {build}/morvalen-{version}-windows-x64.zip. With --test it also runs the Windows tests under
# Wine, in a Wine prefix of the build folder.
#   bash scripts/build-windows.sh [--test]      (BUILD_DIR=build-windows, JOBS=2)
set -euo pipefail
cd "$(dirname "$0")/.."
run_tests=0
[ "${1:-}" = "--test" ] && run_tests=1
bash scripts/install-deps.sh
jobs=${JOBS:-2}
build=${BUILD_DIR:-build-windows}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DMORVALEN_TESTS=$([ $run_tests = 1 ] && echo ON || echo OFF) \
  "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$jobs"
cmake --build "$build" --target windows_zip
echo "Windows package: $build/$(cd "$build" && ls morvalen-*-windows-x64.zip)"

if [ $run_tests = 1 ]; then
  # Wine's services start once here, not inside the first test's time limit.
  export WINEPREFIX="$PWD/$build/wine" WINEDEBUG=-all
  wineboot --init >/dev/null 2>&1 || true
  (cd "$build" && ctest --output-on-failure -j"$jobs")
  wineserver -k 2>/dev/null || true
fi
