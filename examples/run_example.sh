#!/usr/bin/env bash
# Runs an example; passes when it succeeds and its output holds the text.
# Usage: run_example.sh TEXT COMMAND [ARGS...]
set -uo pipefail
text=$1
shift
output=$("$@")
status=$?
printf '%s\n' "$output"
[ "$status" -eq 0 ] || { echo "exit status $status"; exit 1; }
grep -qF -- "$text" <<< "$output" || { echo "output lacks: $text"; exit 1; }
