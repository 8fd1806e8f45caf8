#!/usr/bin/env bash
# Measures the program's budgets and prints them as markdown:
#   the size of kestrabin.exe (limits: x64 at most 28 KiB, x86 at most 29 KiB),
#   the DLLs it imports (Windows' own only; no C runtime such as msvcrt.dll),
#   heap blocks, handles and registry keys outstanding after 10,000 arrival/removal broadcast
#   pairs and 1,000 tray menus' reads, on the host (must not grow),
#   platform calls per tray menu's reads by tracked drives and disk interfaces, on the host.
#
#   scripts/budgets.sh [--write]     --write also stores the table in docs/budgets.md
#   scripts/budgets.sh --check       the exe limits only (size, imports), one line per exe, on
#                                    build/x64 and build/x86 as they are: builds nothing
#                                    (make test runs it after make exe)
#
# Builds build/x64 and build/x86 with their presets, and the host build's probe
# (scripts/budget_probe.cpp). Exits 1 if a limit is broken.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
write=0
check=0
wine_only=0
case "${1:-}" in
--write) write=1 ;;
--check) check=1 ;;
--wine) wine_only=1 ;;
"") ;;
*)
    echo "usage: $0 [--write | --check | --wine]" >&2
    exit 2
    ;;
esac

# Windows' own DLLs, the only ones the exe may import. No C runtime (msvcrt.dll, ucrtbase.dll):
# the process starts in the program's own entry and links none (app/main.cpp).
ALLOWED="KERNEL32.DLL USER32.DLL SHELL32.DLL COMCTL32.DLL ADVAPI32.DLL SETUPAPI.DLL CFGMGR32.DLL"
# The most each exe file may take, in bytes.
LIMIT_x64=$((28 * 1024))
LIMIT_x86=$((29 * 1024))
status=0

kib() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1024 }'; }

# exe_facts ARCH: sets size, rsrc (bytes of resources), limit, dlls (the imported DLLs) and
# outside (those not allowed) for build/ARCH/kestrabin.exe; returns 1 if it is not built.
exe_facts() {
    local exe=build/$1/kestrabin.exe objdump dll
    limit=LIMIT_$1
    limit=${!limit}
    size=0 rsrc=0 dlls="" outside=()
    [ -f "$exe" ] || return 1
    [ "$1" = x64 ] && objdump=x86_64-w64-mingw32-objdump || objdump=i686-w64-mingw32-objdump
    size=$(stat -c %s "$exe")
    rsrc=$((16#$($objdump -h "$exe" | awk '$2 == ".rsrc" { print $3 }')))
    dlls=$($objdump -p "$exe" | awk '/DLL Name/ { print $3 }' | sort -f)
    for dll in $dlls; do
        case " $ALLOWED " in *" ${dll^^} "*) ;; *) outside+=("$dll") ;; esac
    done
}

if [ $check -eq 1 ]; then
    for arch in x64 x86; do
        if ! exe_facts $arch; then
            echo "budgets: build/$arch/kestrabin.exe is not built (make exe)"
            status=1
            continue
        fi
        if [ "$size" -le "$limit" ]; then
            echo "budgets: $arch kestrabin.exe $size bytes, limit $limit: under by $((limit - size))"
        else
            echo "budgets: $arch kestrabin.exe $size bytes, limit $limit: OVER by $((size - limit))"
            status=1
        fi
        if [ ${#outside[@]} -gt 0 ]; then
            echo "budgets: $arch kestrabin.exe imports ${outside[*]}: not one of Windows' own DLLs" \
                "(${ALLOWED,,}); is the C runtime back?"
            status=1
        fi
    done
    exit $status
fi

# --wine: the x64 exe under Wine on a simulated machine with four USB sticks, F excluded,
# through 10,000 arrival and removal pairs of H and 1,000 tray menus opened and closed. With
# each menu the Wine suite's setupapi.dll logs "counts": the exe's heap blocks not freed and
# the volume handles and device sets the simulated machine has open. Needs a display (Xvfb).
# Only the x64 exe runs, so 32-bit Wine is not needed. A step that fails says on stderr what
# failed, its command and the last lines of its log.
if [ $wine_only -eq 1 ]; then
    out=$root/build/budgets/wine
    . scripts/wine.sh
    wine_build "$out" "$out/build.log" && wine_env "$out/prefix" && wine_prefix "$out/wineboot.log" keep || exit 1
    for drive in E:1 F:2 G:3 H:8; do
        letter=${drive%:*} n=${drive#*:}
        sim_drive "$letter" "$n" "1$n" "2$n" 6000 "USBSTOR\\DISK&VEN_ACME&PROD_STICK&REV_1\\S$letter" "USB\\VID_1234&PID_5678\\S$letter"
    done | grep -v '^volume H' >"$out/machine.txt"
    wine_step "Storing the exclusion of F" "$out/reg.log" wine_exclusions "$out/set.reg" 1234,5678,SF || exit 1
    cp build/x64/kestrabin.exe "$out/x64/kestrabin.exe"
    log=$out/sim.log
    : >"$log"
    wine_start_simulated "$out/x64/kestrabin.exe" "$out/machine.txt" "$log"
    driver() {
        KESTRABIN_SIM_LOG=$(winpath "$log") timeout 600 wine "$out/driver.exe" "$@" >"$out/driver.txt" 2>&1 && return 0
        local status=$?
        if ! kill -0 "$app" 2>/dev/null; then
            wait "$app"
            wine_failed "Kestrabin under Wine" $? "${log%.*}.out" wine "$out/x64/kestrabin.exe"
        fi
        wine_failed "The driver" $status "$out/driver.txt" wine "$out/driver.exe" "${@:1:6}" ${7:+…}
        return 1
    }
    driver wait && driver menu -1
    # H comes and goes: its volume is there from now on, and each arrival adds it, each removal
    # takes it away.
    echo "volume H disk 8" >>"$out/machine.txt"
    for _ in $(seq 100); do
        # shellcheck disable=SC2046  # one word a message part
        driver send $(printf '0x219 0x8000 H 0x219 0x8004 H %.0s' $(seq 100)) || break
    done
    driver menu -1 && driver menu -1 1000
    kill "$app" 2>/dev/null
    timeout 30 wineserver -k >/dev/null 2>&1
    mapfile -t counts < <(grep '^counts ' "$log" | sed -n '1p;2p;$p' | sed -E 's/counts heap=([0-9]+) open=([0-9]+)/\1 \2/')
    [ ${#counts[@]} -eq 3 ] || { echo "budgets: the menus under Wine were not counted (see $log)" >&2; exit 1; }
    read -r heap0 open0 <<<"${counts[0]}"
    read -r heap1 open1 <<<"${counts[1]}"
    read -r heap2 open2 <<<"${counts[2]}"
    echo "| Load | Heap blocks before | after | Handles and device sets before | after |"
    echo "|---|---:|---:|---:|---:|"
    echo "| 10,000 arrival and removal pairs | $heap0 | $heap1 | $open0 | $open1 |"
    echo "| 1,000 tray menus | $heap1 | $heap2 | $open1 | $open2 |"
    [ "$heap0" = "$heap1" ] && [ "$heap1" = "$heap2" ] && [ "$open2" = 0 ] && [ "$open1" = 0 ]
    exit $?
fi

for arch in x64 x86; do
    cmake --preset "$arch" >/dev/null
    cmake --build --preset "$arch" -j2 >"build/$arch-build.log" 2>&1 ||
        echo "budgets: the $arch build failed; see build/$arch-build.log" >&2
done

# The probe: the code without windows on the simulated machine, as the host tests run it.
out=build/budgets
mkdir -p "$out"
cmake --preset host >/dev/null
cmake --build --preset host --target budget_probe >/dev/null

report() {
    echo "# Budgets"
    echo
    echo "Measured by \`scripts/budgets.sh\` (\`make budgets\`). Each figure below says what it measures and"
    echo "its limit. The simulated machine is the USB storage the tests put in place of real devices,"
    echo "described in text (\`platform/sim/\`): Wine has none, and the host build has no Windows."
    echo
    echo "### kestrabin.exe"
    echo
    echo "| | x64 | x86 |"
    echo "|---|---|---|"
    local sizes=() resources=() limits=() imports=() within=() arch
    for arch in x64 x86; do
        if ! exe_facts $arch; then
            sizes+=("**not built**") resources+=("") limits+=("$limit bytes") imports+=("") within+=("**unknown**")
            status=1
            continue
        fi
        sizes+=("$size bytes ($(kib "$size") KiB)")
        resources+=("$rsrc bytes ($(kib "$rsrc") KiB)")
        if [ "$size" -le "$limit" ]; then
            limits+=("$limit bytes ($((limit / 1024)) KiB): under by $((limit - size)) bytes")
        else
            limits+=("$limit bytes ($((limit / 1024)) KiB): **over by $((size - limit)) bytes**")
            status=1
        fi
        imports+=("$(echo $dlls | sed 's/ /, /g')")
        if [ ${#outside[@]} -eq 0 ]; then within+=("yes"); else within+=("**no: ${outside[*]}**"); status=1; fi
    done
    echo "| Size of the file | ${sizes[0]} | ${sizes[1]} |"
    echo "| of which resources | ${resources[0]} | ${resources[1]} |"
    echo "| Limit | ${limits[0]} | ${limits[1]} |"
    echo "| Imported DLLs | ${imports[0]} | ${imports[1]} |"
    echo "| Only Windows' own DLLs | ${within[0]} | ${within[1]} |"
    echo
    echo "Size is the whole \`kestrabin.exe\` as \`make exe\` builds it into \`build/x64\` and \`build/x86\`,"
    echo "the file a release ships. Resources are the part of it that holds the icons, menus, dialog,"
    echo "texts, version block and manifest (its \`.rsrc\` section); the rest is headers, code, data,"
    echo "the import table, unwind and relocation tables, each section padded to a multiple of 512"
    echo "bytes. Limit is the most the file may take: \`make test\` fails above it"
    echo "(\`scripts/budgets.sh --check\`), and also when the exe imports any DLL but Windows' own:"
    echo "KERNEL32, USER32, SHELL32, COMCTL32, ADVAPI32, SETUPAPI, CFGMGR32. The program starts in"
    echo "its own entry, without the C runtime's start-up code; a C runtime DLL (msvcrt.dll) in the"
    echo "list would mean that code, about 10 KiB, is back. 1 KiB is 1,024 bytes."
    echo
    echo "### Left over under Wine"
    echo
    xvfb-run -a -s "-screen 0 1024x768x24" bash scripts/budgets.sh --wine || status=1
    echo
    echo "Measured on the real x64 exe under Wine: the whole program, windows included, on a"
    echo "simulated machine with four USB sticks: E, F (excluded, so every menu loads and frees an"
    echo "exclusion list), G, and H, which arrives and leaves. Heap blocks are the blocks the exe took"
    echo "from the process heap and has not freed, counted by the Wine suite's setupapi.dll; handles"
    echo "and device sets are those the simulated machine has handed out and the exe has not closed."
    echo "Limit: after the load the same as before it, and no handle or set open."
    echo
    build/host/budget_probe || status=1
    echo
    echo "Measured on the host: the drive list, the device access and the exclusion store, built for"
    echo "Linux and run on the simulated machine (the window code runs only under Wine). Heap blocks"
    echo "are the blocks the program took from the process heap and has not freed; handles and keys"
    echo "are the volume and interface handles, device information sets and registry keys it holds"
    echo "open. Both counts must be the same after the load as before it: \`make budgets\` fails if"
    echo "they grow. A tray menu's reads are what one right-button release asks of the platform before"
    echo "the menu is shown: the exclusions from the registry, then each tracked drive's USB and disk"
    echo "identity. Its calls count every device, registry and heap call (string calls not counted);"
    echo "the N tracked drives are USB sticks, the other M − N interfaces belong to other disks and"
    echo "enumerate first, no exclusion is stored. Nothing is cached, so the cost grows with the"
    echo "drives times the disks; the limit, 14 N M + 20 calls, says it must never grow faster."
}

report >"$out/budgets.md"
cat "$out/budgets.md"
if [ $write -eq 1 ]; then
    cp "$out/budgets.md" docs/budgets.md
    echo "(written to docs/budgets.md)" >&2
fi
exit $status
