#!/usr/bin/env bash
# Builds the Windows DLLs (OrviMapi.dll, and the stand-in as MAPI32.dll) and
# the test program with mingw-w64, and runs the suite under Wine: x86_64
# under wine64, i686 under 32-bit Wine. Needs the mingw-w64 compilers and
# both Wines (scripts/bootstrap.sh --all).
# Usage: scripts/test-windows.sh [x86_64|i686] [gtest arguments...]
#        (no architecture: both, each in build-win-ARCH)
set -euo pipefail
cd "$(dirname "$0")/.."
arches=(x86_64 i686)
if [ "${1:-}" = x86_64 ] || [ "${1:-}" = i686 ]; then
    arches=("$1")
    shift
fi
for arch in "${arches[@]}"; do
    build=build-win-$arch
    echo "=== $arch"
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-mingw-$arch.cmake" \
          -DORVIMAPI_WERROR=ON -DORVIMAPI_TESTS=ON >/dev/null
    cmake --build "$build" -j"$(nproc)"
    bash .ci/check-mapisim-dll.sh "$build"
    python3 .ci/compare-decl.py "$arch"
    bash .ci/wine-tests.sh "$build" "$@"
done
