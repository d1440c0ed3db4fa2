#!/usr/bin/env bash
# Runs every libFuzzer target (or those named) for a while each, starting
# from the seed corpus in fuzz/corpus/<target>/, and keeps what it finds:
#
#   bash scripts/fuzz-long.sh [SECONDS] [TARGET...]     (default 3600 s each)
#
# Per target, under build-fuzz/runs/<target>/: corpus/ (the seeds and every
# input that found new coverage), crashes/ (inputs that crashed or leaked,
# with their reports in log.txt). A summary line per target gives the runs,
# executions per second, coverage and findings. To fold a grown corpus back
# into the seeds, minimised:
#   build-fuzz/fuzz/<target> -merge=1 fuzz/corpus/<target> build-fuzz/runs/<target>/corpus
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-3600}
shift || true

cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVIMAPI_FUZZ=ON -DORVIMAPI_TESTS=OFF -DORVIMAPI_BENCH=OFF \
      -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined" \
      -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-fuzz -j"$(nproc)"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for fuzzer in build-fuzz/fuzz/fuzz_*; do
        [ -x "$fuzzer" ] && targets+=("$(basename "$fuzzer")")
    done
fi

status=0
for name in "${targets[@]}"; do
    fuzzer=build-fuzz/fuzz/$name
    run=build-fuzz/runs/$name
    mkdir -p "$run/corpus" "$run/crashes"
    [ -d "fuzz/corpus/$name" ] && cp -n fuzz/corpus/"$name"/* "$run/corpus/" 2>/dev/null || true
    # Real messages, where they are beside the checkout, seed the .msg reader.
    if [ "$name" = fuzz_msg ] && [ -d ../shared/realdata/msg ]; then
        cp -n ../shared/realdata/msg/*.msg "$run/corpus/" 2>/dev/null || true
    fi
    options=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$run/crashes/")
    # A fuzz/<name>.dict beside the target lends it the input's vocabulary.
    [ -f "fuzz/$name.dict" ] && options+=(-dict="fuzz/$name.dict")
    # fuzz_api counts the stand-in's objects and allocations after every
    # sequence itself; LeakSanitizer's check after each input would rescan the
    # heap whenever the mailbox is reloaded (four times the time).
    [ "$name" = fuzz_api ] && options+=(-detect_leaks=0)
    echo "--- $name for ${seconds}s"
    # Undefined behaviour stops the run like a crash.
    if ! UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
         "$fuzzer" "${options[@]}" "$run/corpus" >"$run/log.txt" 2>&1; then
        status=1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$run/log.txt")
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$run/log.txt")
    coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$run/log.txt" | tail -1)
    echo "$name: ${runs:-?} runs, ${speed:-?} execs/s, ${coverage:-no coverage line}," \
         "corpus $(ls "$run/corpus" | wc -l) files, findings $(ls "$run/crashes" | wc -l)"
    [ "$(ls "$run/crashes" | wc -l)" -eq 0 ] || { tail -40 "$run/log.txt"; status=1; }
done
exit $status
