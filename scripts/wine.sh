# shellcheck shell=bash
# Shared by `make run`, `make demo` and the end-to-end suite (source it): the Wine
# environment, a private prefix under the Japanese locale, the driver and the simulator.

# wine_env PREFIX: code page 932, no Mono or Gecko prompts, quiet; and the one decision whether
# this machine runs 32-bit programs, made by running Wine's 32-bit loader. Where it cannot (or
# where KESTRABIN_NO_32BIT=1 asks to behave so), Wine runs through its 64-bit loader with a
# 64-bit prefix, and wine32_missing holds why; it is empty where 32-bit programs run.
wine_env() {
    export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" LC_ALL=ja_JP.UTF-8
    unset WINEARCH
    wine32_missing=
    if [ -n "${KESTRABIN_NO_32BIT:-}" ]; then
        wine32_missing="KESTRABIN_NO_32BIT is set"
    elif ! wine32_missing=$(/usr/lib/wine/wine --version 2>&1); then
        # The last line, from the loader's name on ("/usr/lib/wine/wine: ... Exec format error").
        wine32_missing=$(tail -n 1 <<<"${wine32_missing:-/usr/lib/wine/wine gives no version}")
        [[ $wine32_missing != */usr/lib/wine/wine:* ]] || wine32_missing=/usr/lib/wine/wine:${wine32_missing##*/usr/lib/wine/wine:}
    else
        wine32_missing=
    fi
    [ -z "$wine32_missing" ] && return 0
    # Debian's wine and wine-stable prefer the 32-bit loader whenever it is installed; wineboot
    # and the other tools call wine-stable by name. Both go to the 64-bit loader.
    local shim
    shim=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wine64
    mkdir -p "$shim"
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$shim/wine"
    chmod +x "$shim/wine"
    cp "$shim/wine" "$shim/wine-stable"
    export PATH=$shim:$PATH WINELOADER=/usr/lib/wine/wine64 WINEARCH=win64
}

# wine_prefix LOG [keep]: a fresh prefix with a 1024x768 virtual desktop (its taskbar holds the
# tray); with keep, one left ready by an earlier run is reused. A step that fails is named on
# stderr: the command, its exit status and the last lines of LOG.
wine_prefix() {
    local log=$1 keep=${2:-} kind=i386
    # Made after 32-bit Wine was installed: an older prefix cannot run the x86 exe. A 64-bit
    # prefix is made where 32-bit programs cannot run.
    [ -n "$wine32_missing" ] && kind=win64
    local ready=$WINEPREFIX/.kestrabin-ready-$kind
    timeout 30 wineserver -k >/dev/null 2>&1
    if [ -n "$keep" ] && [ -f "$ready" ]; then
        timeout 30 wineserver -p 60 >/dev/null 2>&1
        return 0
    fi
    rm -rf "$WINEPREFIX"
    : >"$log"
    # The prefix is made without a display, as Wine needs none for it.
    local what="Making the Wine prefix"
    wine_step "$what" "$log" env -u DISPLAY timeout 300 wineboot -i &&
        wine_step "$what" "$log" timeout 60 wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f &&
        wine_step "$what" "$log" timeout 60 wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f &&
        wine_step "$what" "$log" timeout 60 wineserver -w || return 1
    touch "$ready"
    timeout 30 wineserver -p 60 >/dev/null 2>&1
}

# wine_step WHAT LOG COMMAND...: runs COMMAND with its output added to LOG; if it fails, says
# on stderr what failed, the command, its exit status and the last lines of LOG.
wine_step() {
    local what=$1 log=$2 status
    shift 2
    "$@" >>"$log" 2>&1 && return 0
    status=$?
    wine_failed "$what" "$status" "$log" "$@"
    return 1
}

# wine_failed WHAT STATUS LOG COMMAND...: the report of wine_step, for a command run otherwise
# (in the background, or with its output elsewhere).
wine_failed() {
    local what=$1 status=$2 log=$3 why lines
    shift 3
    why="exited with status $status"
    [ "$status" = 124 ] && why="timed out (status 124)"
    {
        echo "$what failed: \`$*\` $why${WINEPREFIX:+ (WINEPREFIX=$WINEPREFIX)}."
        if [ -s "$log" ]; then
            echo "The last lines of $log:"
            # Wine writes in the code page, 932: shown in UTF-8.
            lines=$(tail -n 5 "$log" | tr -d '\r')
            iconv -f UTF-8 -t UTF-8 <<<"$lines" >/dev/null 2>&1 || lines=$(iconv -f CP932 -t UTF-8 -c <<<"$lines")
            sed 's/^/    /' <<<"$lines"
        else
            echo "It wrote nothing (${log})."
        fi
    } >&2
}

# wine_build OUT LOG: builds, when a source is newer, the driver (OUT/driver.exe) and the
# simulated machine's setupapi.dll for each exe (OUT/x64/, OUT/x86/).
wine_build() {
    local out=$1 log=$2 root
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    local dll=(-shared -D_SETUPAPI_ -D_CFGMGR32_ -DKESTRABIN_DEFINE_GUIDS "$root/tests/e2e/setupapi.cpp"
        "$root/platform/sim/machine.cpp" -lgdi32)
    mkdir -p "$out/x64" "$out/x86"
    : >"$log"
    wine_compile "$log" "$out/driver.exe" x86_64-w64-mingw32-g++ "$root/tests/e2e/driver.cpp" &&
        wine_compile "$log" "$out/x64/setupapi.dll" x86_64-w64-mingw32-g++ "${dll[@]}" &&
        wine_compile "$log" "$out/x86/setupapi.dll" i686-w64-mingw32-g++ "${dll[@]}" -Wl,--kill-at
}

# wine_compile LOG TARGET COMPILER ARGS...
wine_compile() {
    local log=$1 target=$2 root
    shift 2
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    [ -s "$target" ] && [ -z "$(find "$root/tests/e2e" "$root/platform" -newer "$target" -name '*.[ch]*')" ] && return 0
    wine_step "Building $target" "$log" "$@" -O1 -static -std=c++17 -Wall -Wextra -Werror -o "$target"
}

# wine_start_simulated EXE MACHINE LOG: starts EXE, which must have the simulated
# setupapi.dll beside it, on the described machine, in the background; sets app.
wine_start_simulated() {
    WINEDLLOVERRIDES="setupapi=n,b;$WINEDLLOVERRIDES" KESTRABIN_SIM_MACHINE=$(winpath "$2") \
        KESTRABIN_SIM_LOG=$(winpath "$3") wine "$1" >"${3%.*}.out" 2>&1 &
    # shellcheck disable=SC2034  # for the caller
    app=$!
}

# sim_drive LETTER NUMBER NODE USB STATUS DISK-ID USB-ID [ANSWER...]: the simulated machine's lines
# for a volume on disk NUMBER, the disk's present interface, its node NODE and the USB device USB
# above it, with this status and these answers to its first removal requests.
sim_drive() {
    printf 'volume %s disk %s\niface disk %s %s 1\nnode %s %s 0 %s\nnode %s 0 %s %s\n' "$1" "$2" "$2" "$3" "$3" "$4" "$6" \
        "$4" "$5" "${*:7}"
}

# sim_machine NAME...: the simulated machine's lines for these devices of tests/devices.txt.
sim_machine() {
    awk -v names=" $* " '$1 == "device" { on = index(names, " " $2 " ") } on && /^[a-z]/ && $1 != "device"' \
        "$(dirname "${BASH_SOURCE[0]}")/../tests/devices.txt"
}

# wine_exclusions REGFILE [VID,PID,SEL...]: the program's stored exclusion list becomes these
# entries (none: empty), through REGFILE imported by regedit.
wine_exclusions() {
    local file=$1 n=0 entry vid pid sel
    shift
    printf 'REGEDIT4\n\n[-HKEY_CURRENT_USER\\SOFTWARE\\Kestrabin]\n' >"$file"
    for entry; do
        IFS=, read -r vid pid sel <<<"$entry"
        printf '\n[HKEY_CURRENT_USER\\SOFTWARE\\Kestrabin\\%d]\n"VID"="%s"\n"PID"="%s"\n"SEL"="%s"\n' \
            $((n++)) "$vid" "$pid" "$sel" >>"$file"
    done
    timeout 60 wine regedit /S "$(winpath "$file")"
}

winpath() { printf 'Z:%s\n' "${1//\//\\}"; }
