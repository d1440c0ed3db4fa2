#!/usr/bin/env bash
# Installs what is missing, builds, and takes the tour of the sample mailbox.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target orvimapi_command
./build/orvimapi tour
