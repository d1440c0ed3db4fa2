#!/usr/bin/env bash
# Runs `orvimapi.exe tour` of a mingw-w64 build (x86_64 or i686) under Wine,
# on the stand-in's MAPI32.dll beside it, and compares it with the Linux
# command's tour: the same bytes, line endings aside.
# Usage: .ci/wine-tour.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR
set -euo pipefail
windows=$(cd "$1" && pwd)
linux=$(cd "$2" && pwd)
export WINEPREFIX
WINEPREFIX=$(mktemp -d)
export WINEDEBUG=-all WINEDLLOVERRIDES="mapi32=n"
out=$(mktemp -d)
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX" "$out"' EXIT

(cd "$windows" && timeout 300 wine orvimapi.exe tour) > "$out/windows.txt" 2>/dev/null
"$linux/orvimapi" tour > "$out/linux.txt"
tr -d '\r' < "$out/windows.txt" > "$out/windows-lf.txt"
if ! diff -u "$out/linux.txt" "$out/windows-lf.txt"; then
    echo "wine-tour: orvimapi.exe tour differs from the Linux tour" >&2
    exit 1
fi
echo "wine-tour: orvimapi.exe tour under Wine matches the Linux tour ($(wc -l < "$out/linux.txt") lines)"
