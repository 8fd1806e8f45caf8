#!/usr/bin/env bash
# Builds the fuzz target (clang, libFuzzer, ASan, UBSan: the fuzz preset) and runs it.
#   tests/fuzz/run.sh [SECONDS]      (60 by default)
# The corpus grows in build/fuzz/corpus; an input that fails is kept in build/fuzz/findings and
# replays with: build/fuzz/fuzz_host FILE. Prints the executions and their rate; exits 1 on a finding.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
mkdir -p build && cmake --preset fuzz >build/fuzz.log 2>&1 && cmake --build --preset fuzz >>build/fuzz.log 2>&1 ||
    { tail -n 20 build/fuzz.log; exit 1; }
mkdir -p build/fuzz/corpus build/fuzz/findings
# No leak search: the target checks the heap itself, and the machine lives from one input to the next.
# No allocation stacks either (half the time); replaying a finding shows them.
if ! ASAN_OPTIONS=malloc_context_size=0:quarantine_size_mb=8 build/fuzz/fuzz_host -max_total_time="$seconds" -timeout=10 -max_len=64 -detect_leaks=0 -print_final_stats=1 \
    -artifact_prefix=build/fuzz/findings/ build/fuzz/corpus >build/fuzz/fuzz.log 2>&1; then
    grep -m5 -E 'ERROR|runtime error|^[a-z].*' build/fuzz/fuzz.log
    echo "fuzz: FOUND, see build/fuzz/findings"
    exit 1
fi
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' build/fuzz/fuzz.log)
echo "fuzz: $runs inputs in $seconds s ($((runs / seconds)) a second), no findings"
