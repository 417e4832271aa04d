#!/usr/bin/env bash
# Installs what is missing, builds the program alone (no tests, no benchmarks) into build/
# (BUILD_DIR overrides), and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export BUILD_DIR=${BUILD_DIR:-build}
scripts/build.sh tavo
exec "$BUILD_DIR/tavo"
