#!/usr/bin/env bash
# Installs a built tree into a temporary prefix and uses it as a developer
# would: a CMake project through find_package, a build through pkg-config,
# the Python binding through pip, each running the C or Python example.
# Usage: install-check.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
sample=$root/samples/mailbox.json

cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name 'liborvimapi.so.*' -type f | head -1)")

echo "--- installed files carry versioned SONAMEs and no run path"
for library in "$libdir"/liborvimapi.so.*.*.* "$libdir"/libmapisim.so.*.*.*; do
    soname=$(readelf -d "$library" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
    case "$soname" in
    liborvimapi.so.[0-9]* | libmapisim.so.[0-9]*) echo "$(basename "$library"): $soname" ;;
    *) echo "$(basename "$library"): unexpected SONAME '$soname'"; exit 1 ;;
    esac
    if readelf -d "$library" | grep -qE '\((RUNPATH|RPATH)\)'; then
        echo "$(basename "$library") has a run path:"; readelf -d "$library" | grep -E 'RUNPATH|RPATH'
        exit 1
    fi
done
test -f "$prefix/include/OrviMapi.h" && test -f "$prefix/include/mapisim/mapisim.h"

echo "--- a CMake project with find_package(OrviMapi)"
cmake -S "$root/examples/c" -B "$tmp/cmake-consumer" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$tmp/cmake-consumer" >/dev/null
LD_LIBRARY_PATH=$libdir "$tmp/cmake-consumer/list_inbox" "$tmp/cmake.html" "$sample" | tail -3
grep -q '<html' "$tmp/cmake.html"

echo "--- a build through pkg-config"
export PKG_CONFIG_PATH=$libdir/pkgconfig
version=$(sed -n 's/^#define ORVIMAPI_VERSION_[A-Z]* //p' "$root/include/OrviMapi.h" | paste -sd.)
[ "$(pkg-config --modversion orvimapi)" = "$version" ] || { echo "orvimapi.pc is not $version"; exit 1; }
# shellcheck disable=SC2046
cc -std=c99 -o "$tmp/pkg-consumer" "$root/examples/c/list_inbox.c" $(pkg-config --cflags --libs orvimapi mapisim)
LD_LIBRARY_PATH=$libdir "$tmp/pkg-consumer" "$tmp/pkg.html" "$sample" | tail -1
cmp "$tmp/cmake.html" "$tmp/pkg.html"

echo "--- the Python binding installed by pip, offline, on the installed library"
if python3 -m pip --version >/dev/null 2>&1; then
    PIP_ROOT_USER_ACTION=ignore python3 -m pip install --quiet --no-index --no-deps \
        --target "$tmp/python" "$root/bindings/python"
    (cd "$tmp" && PYTHONPATH=$tmp/python ORVIMAPI_LIBRARY=$libdir/liborvimapi.so.0 \
        python3 "$root/examples/python/list_inbox.py" "$tmp/python.html" "$sample" | tail -1)
    cmp "$tmp/cmake.html" "$tmp/python.html"
else
    echo "pip is not installed: skipped"
fi
echo "install check passed"
