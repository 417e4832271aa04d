#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
export TAVO_HOME=$(mktemp -d)
CMAKE_ARGS="-DTAVO_WERROR=ON ${CMAKE_ARGS:-}" scripts/build.sh
cd "${BUILD_DIR:-build}"
ctest --output-on-failure -j "${JOBS:-$(nproc)}" --timeout 300
