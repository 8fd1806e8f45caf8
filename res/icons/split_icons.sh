#!/usr/bin/env bash
# Build step (run by CMake for the Windows build, see ../../CMakeLists.txt): splits icon files
# into what an exe stores, so that windres can keep an image two groups share only once.
#
#   split_icons.sh OUTDIR FILE.ico...
#
# An .ico file is a directory (a 6-byte header, then one 16-byte entry per image: width,
# height, colours, reserved, planes, bits per pixel, byte count, file offset) followed by the
# images. In an exe each image is a resource of type RT_ICON (3) with a number, and each icon
# group a resource of type RT_GROUP_ICON (14): the same header, then one 14-byte entry per
# image, the first 12 bytes as in the file and then the image's number instead of its offset.
# Written to OUTDIR:
#   N.icon       every distinct image once, numbered from 1 in the order the files and their
#                entries give; an image byte-identical to an earlier one gets no new number;
#   FILE.group   the group directory of FILE.ico, naming its images by those numbers;
#   images.rc    one line per image for windres, "N 3 \"icons/N.icon\"" (OUTDIR is expected
#                to be a folder named icons on windres's include path).
# The group lines themselves are in ../kestrabin.rc. The output depends on the files' bytes
# only. Fails on anything but a well-formed icon file whose entries give planes and bits per
# pixel (icotool writes both; windres would otherwise have to compute them).
set -euo pipefail

[ $# -ge 2 ] || { echo "usage: $0 OUTDIR FILE.ico..." >&2; exit 2; }
out=$1
shift
die() { echo "split_icons: $*" >&2; exit 1; }

# u FILE OFFSET BYTES: the little-endian unsigned number at OFFSET
u() { od -An --endian=little -tu"$3" -j "$2" -N "$3" "$1" | tr -d ' '; }
# part FILE OFFSET BYTES: that many bytes of FILE from OFFSET
part() { dd if="$1" iflag=skip_bytes,count_bytes skip="$2" count="$3" bs=4096 status=none; }
# le16 N: N as two little-endian bytes
le16() { printf "\\$(printf %03o $(($1 & 255)))\\$(printf %03o $(($1 >> 8)))"; }

mkdir -p "$out"
rm -f "$out"/*.icon "$out"/*.group "$out/images.rc"
tmp=$(mktemp "$out/.image.XXXXXX")
trap 'rm -f "$tmp" "$out/images.rc.new"' EXIT

images=0
: >"$out/images.rc.new"
for ico in "$@"; do
    name=$(basename "$ico" .ico)
    size=$(stat -c %s "$ico")
    [ "$size" -ge 6 ] || die "$ico: too short"
    [ "$(u "$ico" 0 2)" = 0 ] && [ "$(u "$ico" 2 2)" = 1 ] || die "$ico: not an icon file"
    count=$(u "$ico" 4 2)
    [ "$count" -ge 1 ] && [ $((6 + 16 * count)) -le "$size" ] || die "$ico: bad image count $count"
    group=$out/$name.group
    part "$ico" 0 6 >"$group"
    for ((i = 0; i < count; i++)); do
        entry=$((6 + 16 * i))
        planes=$(u "$ico" $((entry + 4)) 2)
        bits=$(u "$ico" $((entry + 6)) 2)
        bytes=$(u "$ico" $((entry + 8)) 4)
        offset=$(u "$ico" $((entry + 12)) 4)
        [ "$planes" -ge 1 ] && [ "$bits" -ge 1 ] || die "$ico: image $((i + 1)) gives no planes or bits per pixel"
        [ "$bytes" -ge 1 ] && [ $((offset + bytes)) -le "$size" ] || die "$ico: image $((i + 1)) lies outside the file"
        part "$ico" "$offset" "$bytes" >"$tmp"
        number=0
        for ((n = 1; n <= images; n++)); do
            if cmp -s "$tmp" "$out/$n.icon"; then number=$n; break; fi
        done
        if [ $number -eq 0 ]; then
            images=$((images + 1))
            number=$images
            cat "$tmp" >"$out/$number.icon"
            echo "$number 3 \"icons/$number.icon\"" >>"$out/images.rc.new"
        fi
        # The entry as in the file, its offset replaced by the image's number.
        part "$ico" "$entry" 12 >>"$group"
        le16 $number >>"$group"
    done
done
mv "$out/images.rc.new" "$out/images.rc"
