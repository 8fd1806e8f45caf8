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
case "${1:-}" in
--write) write=1 ;;
--check) check=1 ;;
"") ;;
*)
    echo "usage: $0 [--write | --check]" >&2
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
    echo "Measured by \`scripts/budgets.sh\`."
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
