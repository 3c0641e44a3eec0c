#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds the plain and the sanitizer build,
# and runs every test in both; the plain build also makes the Debian package and tests it.
# The Windows build is tested under Wine and compared with the plain one.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=${JOBS:-2}

# Every tracked C++ file as .clang-format lays it out (third-party code aside).
git ls-files -z -- '*.cc' '*.h' ':!:third_party/**' | xargs -0 clang-format --dry-run --Werror

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")
# qlml check's SARIF output against Microsoft's SARIF validator (installed with npm).
bash scripts/validate-sarif.sh build
bash scripts/test-package.sh build

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DMORVALEN_SANITIZE=ON -DMORVALEN_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j"$jobs")

# The Windows build (MinGW-w64) with its unit tests under Wine, and its outputs against the
# plain build's on the example library.
bash scripts/build-windows.sh --test
bash scripts/compare-windows-outputs.sh build build-windows

# A short run of every fuzz target, so that a regression shows here too.
bash scripts/fuzz.sh "${FUZZ_SECONDS:-8}"
