# shellcheck shell=bash
# Sourced by `make run`, `make demo` and the Wine suite: Wine in the Japanese locale on a prefix
# of its own, the simulated machine from the catalogue, the driver that plays the user.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# wine_display "$@": without a display, the calling script starts again on its own Xvfb, with
# KESTRABIN_XVFB set.
wine_display() {
    [ -n "${DISPLAY:-}" ] || KESTRABIN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$BASH" "$0" "$@"
}

# wine_env PREFIX: code page 932, no Mono or Gecko prompts, quiet; and whether this machine runs
# 32-bit programs. Where it cannot (or KESTRABIN_NO_32BIT=1 says to behave so), Wine runs through
# its 64-bit loader with a 64-bit prefix, and wine32_missing says why.
wine_env() {
    export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" LC_ALL=ja_JP.UTF-8
    unset WINEARCH
    local version
    wine32_missing=
    if [ -n "${KESTRABIN_NO_32BIT:-}" ]; then
        wine32_missing="KESTRABIN_NO_32BIT is set"
    elif ! version=$(/usr/lib/wine/wine --version 2>&1); then
        wine32_missing=$(tail -n 1 <<<"${version:-/usr/lib/wine/wine fails}")
    fi
    [ -z "$wine32_missing" ] && return 0
    # Debian's wine, and wine-stable that wineboot calls, prefer the 32-bit loader when installed.
    mkdir -p "$root/build/wine64"
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' | tee "$root/build/wine64/wine" >"$root/build/wine64/wine-stable"
    chmod +x "$root/build/wine64/wine" "$root/build/wine64/wine-stable"
    export PATH=$root/build/wine64:$PATH WINELOADER=/usr/lib/wine/wine64 WINEARCH=win64
}

# wine_prefix: the prefix, made once (for the loader in use), with a 1024x768 virtual desktop
# whose taskbar holds the tray. Made without a display: Wine needs none for it.
wine_prefix() {
    local ready=$WINEPREFIX/.ready${wine32_missing:+64}
    [ -f "$ready" ] && return 0
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    if ! { env -u DISPLAY timeout 300 wineboot -i &&
        wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f &&
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f &&
        timeout 60 wineserver -w; } >"$WINEPREFIX.log" 2>&1; then
        printf 'Making the Wine prefix %s failed; the end of its log:\n%s\n' "$WINEPREFIX" "$(tail -n 5 "$WINEPREFIX.log")"
        return 1
    fi
    touch "$ready"
}

# wine_start EXE MACHINE LOG: EXE started in the background, on the described machine when the
# simulated machine's setupapi.dll is beside it, logging afresh what it asks and shows; app is its
# process, app_out what Wine printed.
wine_start() {
    : >"$3"
    app_out=${3%.*}.out
    WINEDLLOVERRIDES="setupapi=n,b;$WINEDLLOVERRIDES" KESTRABIN_SIM_MACHINE=$(winpath "$2") \
        KESTRABIN_SIM_LOG=$(winpath "$3") wine "$1" >"$app_out" 2>&1 &
    app=$!
}

# drive ACTION...: one action of the driver (build/ARCH/driver.exe, in $driver; its actions are
# listed at its top) while the program started runs, and what it printed. What went wrong goes to
# complain, which the caller may define.
drive() {
    local try
    kill -0 "$app" 2>/dev/null || { complain "driver $*: the exe has ended: $(tr -d '\r' <"$app_out" | tail -n 2)"; return 1; }
    for try in 1 2; do
        timeout 60 wine "$driver" "$@" >"$WINEPREFIX.driver" 2>&1 && tr -d '\r' <"$WINEPREFIX.driver" && return 0
        # Wine now and then fails to start a program at all: then once more.
        grep -q ShellExecuteEx "$WINEPREFIX.driver" || break
    done
    complain "driver $*: $(tr -d '\r' <"$WINEPREFIX.driver")"
}
complain() { echo "$*"; return 1; }

# keys KEY...: real keys, typed on the X display once a dialog of the program has the keyboard.
# Xvfb gives them to the window under the pointer: it goes over the (centred) dialogs first.
keys() {
    drive focused && timeout 10 xdotool sleep 0.5 mousemove 500 370 sleep 0.2 mousemove 512 384 sleep 0.2 \
        key --delay 50 "$@" || complain "keys $*"
}

# sim_machine NAME...: the simulated machine's description of these devices of the catalogue,
# tests/devices/NAME.txt.
sim_machine() { (cd "$root/tests/devices" && cat "${@/%/.txt}"); }

winpath() { printf 'Z:%s\n' "${1//\//\\}"; }
