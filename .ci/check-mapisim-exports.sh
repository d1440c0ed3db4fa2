#!/usr/bin/env bash
# Checks that the stand-in library exports exactly its C controls and the
# MAPI and Win32 functions it plays (the list the build derives from its
# headers), and no C++ internals.
# Usage: check-mapisim-exports.sh LIBMAPISIM EXPORT_LIST
set -euo pipefail
library=$1
list=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

sort -u "$list" | grep -v '^$' > "$tmp/list"
nm -D --defined-only "$library" | awk '{print $NF}' | sed 's/@.*//' | sort -u > "$tmp/binary"

status=0
if grep -q '^_Z' "$tmp/binary"; then
    echo "C++ symbols exported by $library:"; grep '^_Z' "$tmp/binary" | head -20; status=1
fi
if ! diff -u "$tmp/list" "$tmp/binary" > "$tmp/diff"; then
    echo "declared exports and $library differ:"; cat "$tmp/diff"; status=1
fi
for name in mapisim_load_mailbox_file MAPIInitialize RegOpenKeyExA; do
    grep -qx "$name" "$tmp/list" || { echo "export list lacks $name"; status=1; }
done
[ "$status" -eq 0 ] && echo "mapisim exports: $(wc -l < "$tmp/list") names, nothing else"
exit "$status"
