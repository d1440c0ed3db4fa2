#!/usr/bin/env bash
# Runs the Windows smoke program against the built DLL under Wine, in a
# throwaway prefix: registers a default profile in the registry and an
# Outlook.exe of product version 9.0 under App Paths, the way a real
# installation has them, then lets the program check what the library reads.
set -euo pipefail
build=$(cd "$1" && pwd)
export WINEPREFIX
WINEPREFIX=$(mktemp -d)
export WINEDEBUG=-all
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT

profile="Smoke Profile"
wine reg add 'HKCU\SOFTWARE\MICROSOFT\WINDOWS NT\CURRENTVERSION\WINDOWS MESSAGING SUBSYSTEM\PROFILES' \
    /v DefaultProfile /t REG_SZ /d "$profile" /f >/dev/null
outlook=$(winepath -w "$build/tests/windows/Outlook.exe")
wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\Outlook.exe' \
    /ve /t REG_SZ /d "$outlook" /f >/dev/null

cd "$build"
timeout 600 wine tests/windows/orvimapi_smoke.exe OrviMapi.dll "$profile"
