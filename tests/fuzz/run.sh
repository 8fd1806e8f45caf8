#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, AddressSanitizer and UBSan into build/fuzz and
# runs each for a while.
#
#   tests/fuzz/run.sh [SECONDS-PER-TARGET] [TARGET...]
#
# SECONDS defaults to 60; TARGETs default to all (today one: fuzz_window).
# Each target grows its own corpus in build/fuzz/corpus/TARGET, seeded from the small committed
# one in tests/fuzz/corpus/TARGET. Inputs that fail are kept in build/fuzz/findings/TARGET;
# replay one with: build/fuzz/TARGET FILE
# Prints the executions and the outcome per target; exits 1 if any target found anything.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
out=$root/build/fuzz
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_window)

CXX=${CXX:-clang++}
sanitize=(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
# clang has no Shift-JIS execution charset; the texts stay UTF-8 here, which no check looks at.
# Coverage leaves out the loop that zero-fills the 1024-byte ID buffer: its comparisons guide nothing
# and cost a sixth of the time.
mkdir -p "$out"
echo 'fun:*ReadDeviceId*' >"$out/coverage-ignore.txt"
program_flags=(-std=c++17 -g -O2 -Wall -Wextra -fno-exceptions -fno-rtti -finput-charset=UTF-8
               -fsanitize=fuzzer-no-link -fsanitize-coverage-ignorelist="$out/coverage-ignore.txt" "${sanitize[@]}")
program_sources=(app/main.cpp app/tray_menu.cpp drives/drives.cpp device/resolve.cpp device/identity.cpp
                 device/parse.cpp device/eject.cpp exclusions/store.cpp exclusions/settings_dialog.cpp)

mkdir -p "$out/obj"
cd "$root"

# The stand-in reads the program's compiled resources: the host build's.
res=$root/build/host/kestrabin.res
(cd "$root" && cmake --preset host && cmake --build --preset host --target kestrabin_res) >"$out/res.log" 2>&1 ||
    { tail -n 20 "$out/res.log"; exit 1; }

pids=()
compile() {  # compile DIR FLAGS... -- SOURCES...  (two compilers at a time)
    local dir=$1 flags=() source
    shift
    while [ "$1" != -- ]; do flags+=("$1"); shift; done
    shift
    mkdir -p "$out/obj/$dir"
    for source in "$@"; do
        "$CXX" "${flags[@]}" -c "$source" -o "$out/obj/$dir/$(basename "$(dirname "$source")")_$(basename "$source").o" &
        pids+=($!)
        if [ ${#pids[@]} -ge 2 ]; then
            wait "${pids[0]}"
            pids=("${pids[@]:1}")
        fi
    done
}

compile program "${program_flags[@]}" -- "${program_sources[@]}"
# The stand-in is checked by the sanitizers but not measured for coverage.
compile standin -std=c++17 -g -O2 -Wall -Wextra "${sanitize[@]}" \
    "-DKESTRABIN_RES_PATH=\"$res\"" -- platform/host/*.cpp
for pid in "${pids[@]}"; do wait "$pid"; done

link() {  # link TARGET OBJECTS...
    local target=$1
    shift
    "$CXX" -std=c++17 -g -O2 -Wall -Wextra -fsanitize=fuzzer "${sanitize[@]}" \
        "tests/fuzz/$target.cpp" "$@" -o "$out/$target"
}

for target in "${targets[@]}"; do
    [ -f "tests/fuzz/$target.cpp" ] || { echo "unknown target: $target" >&2; exit 2; }
    link "$target" "$out"/obj/program/*.o "$out"/obj/standin/*.o
done

status=0
for target in "${targets[@]}"; do
    corpus=$out/corpus/$target
    findings=$out/findings/$target
    mkdir -p "$corpus" "$findings"
    cp -f "$here/corpus/$target"/* "$corpus"/
    touch "$out/$target.start"
    log=$out/$target.log
    set +e
    # No allocation stacks and a small quarantine while fuzzing (half the time; replaying a finding shows the
    # stacks), and no leak search: the stand-in's machine lives from one input to the next, and the targets
    # check the program's heap themselves.
    ASAN_OPTIONS=malloc_context_size=0:quarantine_size_mb=8 "$out/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -detect_leaks=0 -max_len=64 \
        -artifact_prefix="$findings/" "$corpus" >"$log" 2>&1
    rc=$?
    set -e
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    found=$(find "$findings" -type f -newer "$out/$target.start" 2>/dev/null | head -5)
    if [ $rc -eq 0 ] && [ -z "$found" ]; then
        printf '%-16s %12s executions  no findings\n' "$target" "${execs:-?}"
    else
        status=1
        printf '%-16s %12s executions  FOUND (exit %d): %s\n' "$target" "${execs:-?}" $rc "${found:-see $log}"
        grep -m3 -E 'ERROR|runtime error|^[a-z].*: ' "$log" | sed 's/^/    /' || true
    fi
done
exit $status
