#!/usr/bin/env bash
# Draws the Kestrabin tray icon (a USB stick with an eject symbol on it) and
# packs it into the two icon files used by ../kestrabin.rc:
#   kestrabin.ico  16, 32, 48 px at 8 bpp
#   small.ico      32, 16 px at 4 bpp; 48, 32, 16 px at 8 bpp; 48, 32, 16 px at 32 bpp
# The 32 bpp images are stored PNG-compressed (read by Windows Vista and
# later, and by Wine), which keeps the program small.
# Needs ImageMagick (convert) and icoutils (icotool). Re-run after any change.
#
# The two files are the source of the pictures; the Windows build does not take them as
# they are. Its first step, split_icons.sh (run by CMake at every build whose icon files
# changed), cuts them into the images and group directories an exe stores, in
# build/<arch>/icons, and keeps each distinct image once: small.ico's 8 bpp images are
# byte-identical to kestrabin.ico's, so both icon groups (107 and 108) list the same three
# images 1-3 and the exe stores 8 images instead of 11. The step depends on nothing but the
# files' bytes, so it builds the same bytes every time. The 8 bpp images of both files are
# encoded from the same drawings with the same settings below, which keeps them identical;
# if they ever differ, each file's are stored (some 7 KiB more, which make test's size
# limit would report).
# To see that an exe holds both files unchanged (icoutils' wrestool writes some extra bytes
# after the icon file, hence head -c):
#   wrestool -x -t14 -n107 kestrabin.exe | head -c "$(stat -c %s kestrabin.ico)" | cmp - kestrabin.ico
#   wrestool -x -t14 -n108 kestrabin.exe | head -c "$(stat -c %s small.ico)" | cmp - small.ico
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Colour schemes: outline/fill of the body, outline/fill of the metal
# connector, the connector's holes, the eject symbol.
# "full" is used for 8 and 32 bpp; "vga" keeps to the 16 standard colours.
scheme_full=(  '#163866' '#2f74c6' '#4d5660' '#d3d9e0' '#262b31' '#ffffff' )
scheme_vga=(   '#000080' '#0000ff' '#808080' '#c0c0c0' '#000000' '#ffffff' )

# draw SIZE DEPTH OUT.png
# The design sits on a 16x16 grid of cells; one cell is SIZE/16 pixels.
draw() {
  local s=$1 depth=$2 out=$3
  local k=$((s / 16)) aa=-antialias
  local -a c
  if [[ $depth == 4 ]]; then c=("${scheme_vga[@]}"); aa=+antialias
  else c=("${scheme_full[@]}"); fi

  # r X0 Y0 X1 Y1 [INSET]: rectangle over cells X0..X1 x Y0..Y1, in pixels
  r() { local i=${5:-0}
        echo "rectangle $(($1*k+i)),$(($2*k+i)) $((($3+1)*k-1-i)),$((($4+1)*k-1-i))"; }
  rr() { local i=${5:-0} rad=$6
        echo "roundrectangle $(($1*k+i)),$(($2*k+i)) $((($3+1)*k-1-i)),$((($4+1)*k-1-i)) $rad,$rad"; }

  local -a d=()
  # metal connector, cells 4..10 x 1..5, with two holes
  d+=("fill ${c[2]} $(r 4 1 10 5)" "fill ${c[3]} $(r 4 1 10 5 1)")
  d+=("fill ${c[4]} $(r 6 2 6 3)" "fill ${c[4]} $(r 8 2 8 3)")
  # body, cells 2..12 x 5..15, corners rounded
  if (( k == 1 )); then
    d+=("fill ${c[0]} $(r 3 5 11 15)" "fill ${c[0]} $(r 2 6 12 14)")
    d+=("fill ${c[1]} $(r 3 6 11 14)")
  else
    d+=("fill ${c[0]} $(rr 2 5 12 15 0 $((2*k)))")
    d+=("fill ${c[1]} $(rr 2 5 12 15 1 $((2*k-1)))")
  fi
  # eject symbol: triangle over rows 7..10, bar over rows 12..13
  if (( k == 1 )); then
    d+=("fill ${c[5]} $(r 7 7 7 7)" "fill ${c[5]} $(r 6 8 8 8)")
    d+=("fill ${c[5]} $(r 5 9 9 9)" "fill ${c[5]} $(r 4 10 10 10)")
  else
    # like rectangles, polygon corners name pixel centres, edges inclusive
    local h
    h=$(awk -v k="$k" 'BEGIN { printf "polygon %g,%g %g,%g %g,%g",
        7.5*k-0.5, 7*k, 11*k-1, 11*k-1, 4*k, 11*k-1 }')
    d+=("fill ${c[5]} $h")
  fi
  d+=("fill ${c[5]} $(r 4 12 10 13)")

  local -a args=()
  local x
  for x in "${d[@]}"; do args+=(-draw "$x"); done

  local -a post=()
  if [[ $depth != 32 ]]; then
    # palette images: on/off transparency, one colour for transparent pixels
    post=(-channel A -threshold 50% +channel -background black -alpha background)
  fi
  convert -size "${s}x${s}" xc:none "$aa" "${args[@]}" "${post[@]}" \
          -strip "PNG32:$out"
}

for depth in 4 8 32; do
  for s in 16 32 48; do draw "$s" "$depth" "$tmp/i${s}_${depth}.png"; done
done

icotool -c -o "$here/kestrabin.ico" \
  -b 8 "$tmp/i16_8.png" -b 8 "$tmp/i32_8.png" -b 8 "$tmp/i48_8.png"

icotool -c -o "$here/small.ico" \
  -b 4 "$tmp/i32_4.png" -b 4 "$tmp/i16_4.png" \
  -b 8 "$tmp/i48_8.png" -b 8 "$tmp/i32_8.png" -b 8 "$tmp/i16_8.png" \
  -r "$tmp/i48_32.png" -r "$tmp/i32_32.png" -r "$tmp/i16_32.png"

icotool -l "$here/kestrabin.ico" "$here/small.ico"
