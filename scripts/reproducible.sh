#!/usr/bin/env bash
# Builds both exes a second time, from a copy of the tree in a folder of another name, and
# compares them byte for byte with build/x64 and build/x86: a change that lets the time or the
# folder into the exe fails here. Expects the first build done (make exe).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
copy=$(mktemp -d "${TMPDIR:-/tmp}/kestrabin-rebuild.XXXXXX")
trap 'rm -rf "$copy"' EXIT
tar --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -xf - -C "$copy"
status=0
for arch in x64 x86; do
    (cd "$copy" && cmake --preset $arch && cmake --build --preset $arch --target kestrabin) >"$copy/$arch.log" 2>&1 ||
        { tail -n 20 "$copy/$arch.log"; exit 1; }
    # cmp names the first byte that differs.
    cmp "build/$arch/kestrabin.exe" "$copy/build/$arch/kestrabin.exe" || status=1
    echo "$arch: $(stat -c %s "build/$arch/kestrabin.exe") bytes, sha256 $(sha256sum "build/$arch/kestrabin.exe" | cut -c1-16)…"
done
exit $status
