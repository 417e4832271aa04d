#!/usr/bin/env bash
# Configures and builds into build/ (BUILD_DIR overrides); builds only the targets named as
# arguments when there are any (e.g. scripts/build.sh tavo), else everything.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
jobs=${JOBS:-$(nproc)}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} ${CMAKE_ARGS:-}
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "$build_dir" -j "$jobs" "${targets[@]}"
