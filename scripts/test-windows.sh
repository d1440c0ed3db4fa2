#!/usr/bin/env bash
# Builds the x86_64 Windows DLLs (OrviMapi.dll, and the stand-in as
# MAPI32.dll) and the test program with mingw-w64, and runs the suite under
# Wine. Needs the mingw-w64 compilers and wine (scripts/bootstrap.sh --all).
# Usage: scripts/test-windows.sh [BUILD_DIR] [gtest arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-win-x86_64}
shift || true
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake \
      -DORVIMAPI_WERROR=ON -DORVIMAPI_TESTS=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
bash .ci/check-mapisim-dll.sh "$build"
python3 .ci/compare-decl.py x86_64
bash .ci/wine-tests.sh "$build" "$@"
