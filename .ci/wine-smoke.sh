#!/usr/bin/env bash
# Runs the Windows smoke program against the built DLL under Wine, in a
# throwaway prefix.
set -euo pipefail
build=$(cd "$1" && pwd)
export WINEPREFIX
WINEPREFIX=$(mktemp -d)
export WINEDEBUG=-all
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
cd "$build"
timeout 600 wine tests/windows/orvimapi_smoke.exe OrviMapi.dll
