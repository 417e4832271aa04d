#!/usr/bin/env bash
# Installs what is missing, checks that every source file keeps the committed format, builds
# everything into build-test/ (BUILD_DIR overrides) and runs every test headless. A folder of its
# own, so that the run command's build and this one (with warnings as errors) do not rebuild each
# other's files.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# Every source file keeps the committed .clang-format layout.
find app bench components console platform printout report tests \( -name '*.cpp' -o -name '*.h' \) -print0 \
  | xargs -0 clang-format --dry-run -Werror
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
export TAVO_HOME=$(mktemp -d)
export BUILD_DIR=${BUILD_DIR:-build-test}
CMAKE_ARGS="-DTAVO_WERROR=ON ${CMAKE_ARGS:-}" scripts/build.sh
cd "$BUILD_DIR"
ctest --output-on-failure -j "${JOBS:-$(nproc)}" --timeout 300
