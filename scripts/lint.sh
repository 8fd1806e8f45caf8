#!/usr/bin/env bash
# Static checks: clang-format layout and clang-tidy on the program's sources.
set -euo pipefail
cd "$(dirname "$0")/.."

# The code without windows, as the host build compiles it.
sources=(drives/*.cpp device/*.cpp exclusions/store.cpp)
formatted=(app/*.cpp app/*.h drives/* device/* exclusions/* platform/*.h platform/*/*.cpp platform/*/*.h tests/*.cpp tests/*.h
    tests/fuzz/*.cpp tests/e2e/*.cpp)

clang-format --dry-run --Werror "${formatted[@]}"

cmake --preset host >/dev/null
# clang cannot encode to code page 932; the encoding does not matter here.
mkdir -p build/lint
sed 's/ -fexec-charset=CP932//g' build/host/compile_commands.json >build/lint/compile_commands.json
if ! clang-tidy --quiet -p build/lint "${sources[@]}" >build/lint/tidy.log 2>&1; then
    grep -v "warnings generated" build/lint/tidy.log
    exit 1
fi
echo "lint: clean"
