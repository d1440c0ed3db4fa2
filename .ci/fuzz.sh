#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a short while.
set -euo pipefail
seconds=${FUZZ_SECONDS:-30}
cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVIMAPI_FUZZ=ON -DORVIMAPI_TESTS=OFF -DORVIMAPI_BENCH=OFF \
      -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined" \
      -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-fuzz -j"$(nproc)"
for fuzzer in build-fuzz/fuzz/fuzz_*; do
    [ -x "$fuzzer" ] || continue
    corpus=$(mktemp -d)
    # A fuzz/<name>.dict beside the target lends it the input's vocabulary.
    dict="fuzz/$(basename "$fuzzer").dict"
    options=()
    [ -f "$dict" ] && options+=(-dict="$dict")
    # fuzz_api counts the stand-in's objects and allocations after every
    # sequence itself; LeakSanitizer's check after each input would rescan the
    # heap whenever the mailbox is reloaded (four times the time).
    [ "$(basename "$fuzzer")" = fuzz_api ] && options+=(-detect_leaks=0)
    # The seeds kept in the repository start the run from real coverage.
    name=$(basename "$fuzzer")
    if [ -d "fuzz/corpus/$name" ]; then cp fuzz/corpus/"$name"/* "$corpus"/; fi
    # Real messages, where they are beside the checkout, seed the .msg reader.
    if [ "$(basename "$fuzzer")" = fuzz_msg ] && [ -d ../shared/realdata/msg ]; then
        cp ../shared/realdata/msg/*.msg "$corpus"/ 2>/dev/null || true
    fi
    echo "--- $(basename "$fuzzer") for ${seconds}s"
    "$fuzzer" -max_total_time="$seconds" -print_final_stats=0 \
        "${options[@]}" "$corpus" 2>&1 | tail -3
    rm -rf "$corpus"
done
