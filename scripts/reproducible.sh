#!/usr/bin/env bash
# Builds both exes a second time, from a copy of the tree in a folder of another name, and
# compares them byte for byte with build/x64 and build/x86: a change that lets the time or the
# folder into the exe fails here. Expects the first build done (make exe).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

copy=$(mktemp -d "${TMPDIR:-/tmp}/kestrabin-rebuild.XXXXXX")
trap 'rm -rf "$copy"' EXIT
tar --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -xf - -C "$copy"

status=0
for arch in x64 x86; do
    first=build/$arch/kestrabin.exe
    second=$copy/build/$arch/kestrabin.exe
    if ! (cd "$copy" && cmake --preset "$arch" && cmake --build --preset "$arch" -j2) >"$copy/$arch.log" 2>&1; then
        echo "reproducible: the second $arch build failed:"
        tail -n 20 "$copy/$arch.log"
        exit 1
    fi
    if cmp -s "$first" "$second"; then
        echo "reproducible: $arch identical, $(stat -c %s "$first") bytes, sha256 $(sha256sum "$first" | cut -c1-16)…"
    else
        echo "reproducible: $arch differs between $root and $copy (offset, first, second):"
        cmp -l "$first" "$second" | head -n 10 || true
        status=1
    fi
done
exit $status
