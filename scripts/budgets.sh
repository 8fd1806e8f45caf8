#!/usr/bin/env bash
# Measures the program's budgets and prints them as markdown:
#   the size of kestrabin.exe (aim: x64 at most 48 KiB; reported, never fatal),
#   the DLLs it imports (must stay within the allowed set),
#   heap blocks and handles outstanding after 10,000 arrival/removal broadcast pairs and
#   1,000 tray menus on the stand-in (must not grow),
#   platform calls per tray menu by tracked drives and disk interfaces.
#
#   scripts/budgets.sh [--write]     --write also stores the table in docs/budgets.md
#
# Builds build/x64 and build/x86 with their presets, the resources as the host build compiles
# them, and the stand-in probe (scripts/budget_probe.cpp) into build/budgets. Exits 1 if a
# limit is broken.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
write=0
[ "${1:-}" = --write ] && write=1

ALLOWED="KERNEL32.DLL USER32.DLL SHELL32.DLL COMCTL32.DLL ADVAPI32.DLL SETUPAPI.DLL CFGMGR32.DLL MSVCRT.DLL"
AIM_X64=$((48 * 1024))
status=0

for arch in x64 x86; do
    cmake --preset "$arch" >/dev/null
    cmake --build --preset "$arch" -j2 >"build/$arch-build.log" 2>&1 ||
        echo "budgets: the $arch build failed; see build/$arch-build.log" >&2
done

# The probe: program and stand-in compiled together, as the host build does.
out=build/budgets
mkdir -p "$out"
cmake --preset host >/dev/null
cmake --build --preset host --target kestrabin_res >/dev/null
g++ -std=c++17 -O1 -w -finput-charset=UTF-8 -fexec-charset=CP932 "-DKESTRABIN_RES_PATH=\"$root/build/host/kestrabin.res\"" \
    scripts/budget_probe.cpp app/*.cpp drives/*.cpp device/*.cpp exclusions/*.cpp platform/host/*.cpp \
    -o "$out/budget_probe"

kib() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1024 }'; }

report() {
    echo "# Budgets"
    echo
    echo "Measured by \`scripts/budgets.sh\`."
    echo
    echo "### kestrabin.exe"
    echo
    echo "| | x64 | x86 |"
    echo "|---|---|---|"
    local sizes=() aim=() imports=() within=() arch exe size objdump dlls dll outside
    for arch in x64 x86; do
        exe=build/$arch/kestrabin.exe
        if [ ! -f "$exe" ]; then
            sizes+=("**not built**") aim+=("") imports+=("") within+=("**unknown**")
            status=1
            continue
        fi
        size=$(stat -c %s "$exe")
        sizes+=("$size bytes ($(kib "$size") KiB)")
        if [ $arch = x86 ]; then aim+=("")
        elif [ "$size" -le $AIM_X64 ]; then aim+=("under by $(kib $((AIM_X64 - size))) KiB")
        else aim+=("**over by $(kib $((size - AIM_X64))) KiB**"); fi
        [ $arch = x64 ] && objdump=x86_64-w64-mingw32-objdump || objdump=i686-w64-mingw32-objdump
        dlls=$($objdump -p "$exe" | awk '/DLL Name/ { print $3 }' | sort -f)
        imports+=("$(echo $dlls | sed 's/ /, /g')")
        outside=()
        for dll in $dlls; do
            case " $ALLOWED " in *" ${dll^^} "*) ;; *) outside+=("$dll") ;; esac
        done
        if [ ${#outside[@]} -eq 0 ]; then within+=("yes"); else within+=("**no: ${outside[*]}**"); status=1; fi
    done
    echo "| Size | ${sizes[0]} | ${sizes[1]} |"
    echo "| Aim: x64 ≤ 48 KiB | ${aim[0]} | |"
    echo "| Imported DLLs | ${imports[0]} | ${imports[1]} |"
    echo "| Within the allowed DLLs | ${within[0]} | ${within[1]} |"
    echo
    echo "Allowed: KERNEL32, USER32, SHELL32, COMCTL32, ADVAPI32, SETUPAPI, CFGMGR32, msvcrt."
    echo
    "$out/budget_probe" || status=1
    echo
    echo "Calls are those the stand-in logs for one right-button release (heap and string functions"
    echo "are not logged). The N drives are USB sticks; the other M − N interfaces belong to other"
    echo "disks and enumerate first; no exclusions are stored."
}

report >"$out/budgets.md"
cat "$out/budgets.md"
if [ $write -eq 1 ]; then
    cp "$out/budgets.md" docs/budgets.md
    echo "(written to docs/budgets.md)" >&2
fi
exit $status
