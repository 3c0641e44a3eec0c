#!/usr/bin/env bash
# Times rendering with PDF: one browser per document against one kept browser, for 1, 10
# and 50 generated documents, with the bare browser's own times as floors (bench/render_tool.cc).
# Usage: bench/run_render_bench.sh [REPEATS [COUNTS [kept]]] (see bench/render_tool.cc;
# from anywhere; builds into build-bench)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
# ccache speeds up rebuilds where it is installed; the build works without it.
launcher=$(command -v ccache || true)
CMAKE_CXX_COMPILER_LAUNCHER=$launcher CCACHE_BASEDIR="$(dirname "$PWD")" \
  cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVALEN_BENCH=ON -DMORVALEN_TESTS=OFF >/dev/null
cmake --build build-bench -j"$jobs" --target morvalen render_tool >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/morvalen-render-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
build-bench/render_tool build-bench/morvalen "$work/run" examples/library/assets "$@"
