#!/usr/bin/env bash
# Checks the stand-in DLL of a mingw-w64 build against MAPI32's export table:
# every MAPI32 name and ordinal of cmake/Mapi32.cmake is exported, every
# ordinal OrviMapi.dll imports from MAPI32.DLL is one of them, and apart from
# the C controls, the MAPI interface identifiers and the C++ internals the
# test program reaches, nothing else is.
# Usage: check-mapisim-dll.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
objdump=$(command -v x86_64-w64-mingw32-objdump || command -v objdump)

# "ordinal name" pairs of the DLL's export table (objdump numbers names from
# the ordinal base).
"$objdump" -p "$build/MAPI32.dll" > "$tmp/dump"
base=$(sed -n 's/^Ordinal Base\s*\([0-9]*\)/\1/p' "$tmp/dump" | head -1)
sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/ s/^\s*\[\s*\([0-9]*\)\]\s*/\1 /p' "$tmp/dump" \
    | awk -v base="$base" '{print $1 + base, $2}' | sort -k2 > "$tmp/exported"
# The expected pairs, from the export definition the build wrote.
sed -n -E 's/^\s+([^ =]+)( = [^ ]+)? @([0-9]+).*/\3 \1/p' "$build/mapi32-exports.def" \
    | sort -k2 > "$tmp/mapi32"
grep -oE '^MAPISIM_EXPORT [^(]*[ *]mapisim_[a-z_]+\(' "$root/mapisim/mapisim.h" \
    | grep -oE 'mapisim_[a-z_]+' | sort -u > "$tmp/controls"

status=0
if ! join -j2 -o 1.1,1.2 "$tmp/exported" "$tmp/mapi32" | sort -k2 | diff -u "$tmp/mapi32" - \
    > "$tmp/d1"; then
    echo "MAPI32 names and ordinals missing or moved in MAPI32.dll:"; cat "$tmp/d1"; status=1
fi
awk '{print $2}' "$tmp/exported" | grep -v '^_Z' | grep -v '^IID_' | sort > "$tmp/unmangled"
{ awk '{print $2}' "$tmp/mapi32"; cat "$tmp/controls"; } | sort > "$tmp/expected"
if ! diff -u "$tmp/expected" "$tmp/unmangled" > "$tmp/d2"; then
    echo "C names of MAPI32.dll differ from MAPI32's functions and the controls:"
    cat "$tmp/d2"; status=1
fi
# The library's MAPI32 imports, by ordinal: "<thunk> <ordinal> <none>" lines,
# the thunk's low 16 bits being the ordinal.
"$objdump" -p "$build/OrviMapi.dll" \
    | awk '/DLL Name: /{dll=toupper($3); next} dll=="MAPI32.DLL" && $3=="<none>" {print $1}' \
    | while read -r thunk; do echo $((16#${thunk: -4})); done | sort > "$tmp/imported"
awk '{print $1}' "$tmp/mapi32" | sort > "$tmp/ordinals"
if [ ! -s "$tmp/imported" ] || comm -23 "$tmp/imported" "$tmp/ordinals" | grep -q .; then
    echo "OrviMapi.dll imports from MAPI32.DLL other than MAPI32's ordinals:"
    cat "$tmp/imported"; status=1
fi
[ "$status" -eq 0 ] && echo "MAPI32.dll: $(wc -l < "$tmp/mapi32") MAPI32 names at MAPI32's ordinals" \
    "($(wc -l < "$tmp/imported") imported by OrviMapi.dll), $(wc -l < "$tmp/controls") controls"
exit "$status"
