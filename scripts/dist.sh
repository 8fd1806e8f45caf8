#!/usr/bin/env bash
# Writes the release into dist/: one zip per architecture holding kestrabin.exe and a read-me
# for Windows users, the same files unpacked beside them, and SHA256SUMS over the archives
# and the exes. Expects build/x64 and build/x86 built (make dist does that).
#
# The archives are reproducible: members in a fixed order, with the time of the last commit
# (or SOURCE_DATE_EPOCH), fixed permissions, no extra fields, times taken in UTC.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/x64/CMakeCache.txt)
[ -n "$version" ] || { echo "dist: no version in build/x64/CMakeCache.txt; run make exe first" >&2; exit 1; }
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 315532800)}

# The read-me is kept for Windows as it is: UTF-8 with a byte-order mark and CRLF line ends.
readme=docs/windows-readme.txt
if [ "$(head -c 3 "$readme" | od -An -tx1 | tr -d ' ')" != efbbbf ]; then
    echo "dist: $readme does not begin with a UTF-8 byte-order mark" >&2
    exit 1
fi
if grep -n -v $'\r$' "$readme" | head -n 3 | grep .; then
    echo "dist: $readme has lines without CRLF (above)" >&2
    exit 1
fi

rm -rf dist
mkdir -p dist
sums=()
for arch in x64 x86; do
    name=kestrabin-$version-$arch
    mkdir "dist/$name"
    cp "build/$arch/kestrabin.exe" "dist/$name/kestrabin.exe"
    # Copied as it is: the file is already what Notepad reads (checked above).
    cp docs/windows-readme.txt "dist/$name/README.txt"
    chmod 644 "dist/$name/README.txt"
    chmod 755 "dist/$name/kestrabin.exe"
    touch -d "@$epoch" "dist/$name" "dist/$name/kestrabin.exe" "dist/$name/README.txt"
    (cd dist && TZ=UTC zip -q -X -D "$name.zip" "$name/kestrabin.exe" "$name/README.txt")
    sums+=("$name.zip" "$name/kestrabin.exe")
done
(cd dist && sha256sum "${sums[@]}" >SHA256SUMS)
cat dist/SHA256SUMS
