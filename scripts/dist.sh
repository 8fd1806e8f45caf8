#!/usr/bin/env bash
# Writes the release into dist/: one zip per architecture holding kestrabin.exe, the read-me
# for Windows users in English and in Japanese and the licence, the same files unpacked beside
# them, and SHA256SUMS over the archives and the exes. Expects build/x64 and build/x86 built
# (make dist does that).
#
# The archives are reproducible: members in a fixed order, with the time of the last commit
# (or SOURCE_DATE_EPOCH), fixed permissions, no extra fields, times taken in UTC.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/x64/CMakeCache.txt)
[ -n "$version" ] || { echo "dist: no version in build/x64/CMakeCache.txt; run make exe first" >&2; exit 1; }
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 315532800)}

# The read-mes are kept for Windows as they are: UTF-8 with a byte-order mark and CRLF line ends;
# LICENSE with LF line ends, given CRLF in the release so that Notepad shows its lines.
for readme in docs/windows-readme.txt docs/windows-readme-ja.txt; do
    [ "$(head -c 3 "$readme")" = $'\xef\xbb\xbf' ] && ! grep -q -v $'\r$' "$readme" ||
        { echo "dist: $readme is not UTF-8 with a byte-order mark and CRLF line ends" >&2; exit 1; }
done
! grep -q $'\r' LICENSE || { echo "dist: LICENSE has CR characters; it is kept with LF line ends" >&2; exit 1; }

rm -rf dist
mkdir -p dist
files=(kestrabin.exe README.txt README-ja.txt LICENSE.txt)
sums=()
for arch in x64 x86; do
    name=kestrabin-$version-$arch
    mkdir "dist/$name"
    cp "build/$arch/kestrabin.exe" "dist/$name/kestrabin.exe"
    # Copied as they are: the files are already what Notepad reads (checked above).
    cp docs/windows-readme.txt "dist/$name/README.txt"
    cp docs/windows-readme-ja.txt "dist/$name/README-ja.txt"
    sed 's/$/\r/' LICENSE >"dist/$name/LICENSE.txt"
    chmod 644 "dist/$name/README.txt" "dist/$name/README-ja.txt" "dist/$name/LICENSE.txt"
    chmod 755 "dist/$name/kestrabin.exe"
    touch -d "@$epoch" "dist/$name" "${files[@]/#/dist/$name/}"
    (cd dist && TZ=UTC zip -q -X -D "$name.zip" "${files[@]/#/$name/}")
    sums+=("$name.zip" "$name/kestrabin.exe")
done
(cd dist && sha256sum "${sums[@]}" >SHA256SUMS)
cat dist/SHA256SUMS
