# Shared by `make run` and the end-to-end suite (source it): the Wine
# environment, a private prefix under the Japanese locale, and the driver.

# wine_env PREFIX: code page 932, no Mono or Gecko prompts, quiet.
wine_env() {
    export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" LC_ALL=ja_JP.UTF-8
    unset WINEARCH
}

# wine_prefix LOG [keep]: a fresh prefix with a 1024x768 virtual desktop (its
# taskbar holds the tray); with keep, one left ready by an earlier run is reused.
wine_prefix() {
    local log=$1 keep=${2:-}
    timeout 30 wineserver -k >/dev/null 2>&1
    if [ -n "$keep" ] && [ -f "$WINEPREFIX/.kestrabin-ready" ]; then
        timeout 30 wineserver -p 60 >/dev/null 2>&1
        return 0
    fi
    rm -rf "$WINEPREFIX"
    # The prefix is made without a display, as Wine needs none for it.
    env -u DISPLAY timeout 300 wineboot -i >"$log" 2>&1 || return 1
    timeout 60 wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >>"$log" 2>&1 || return 1
    timeout 60 wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >>"$log" 2>&1 || return 1
    timeout 60 wineserver -w
    touch "$WINEPREFIX/.kestrabin-ready"
    timeout 30 wineserver -p 60 >/dev/null 2>&1
}

# wine_driver OUT LOG: builds tests/e2e/driver.cpp into OUT/driver.exe and its
# hook DLL into OUT/e2ehook.dll when the source is newer.
wine_driver() {
    local out=$1 log=$2 source
    source=$(cd "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e" && pwd)/driver.cpp
    local cxx=${MINGW_CXX:-x86_64-w64-mingw32-g++}
    local flags=(-O1 -static -finput-charset=UTF-8 -fexec-charset=CP932 -Wall)
    if [ ! -s "$out/driver.exe" ] || [ "$source" -nt "$out/driver.exe" ]; then
        "$cxx" "${flags[@]}" -o "$out/driver.exe" "$source" -luser32 -lgdi32 -lshell32 -lcomctl32 -ladvapi32 -lversion \
            >"$log" 2>&1 || return 1
    fi
    if [ ! -s "$out/e2ehook.dll" ] || [ "$source" -nt "$out/e2ehook.dll" ]; then
        "$cxx" "${flags[@]}" -shared -DKESTRABIN_E2E_HOOK -o "$out/e2ehook.dll" "$source" -luser32 >>"$log" 2>&1 ||
            return 1
    fi
}

# desktop_window: the X window of Wine's virtual desktop, or nothing.
desktop_window() {
    command -v xdotool >/dev/null && timeout 10 xdotool search --name ' - Wine desktop$' 2>/dev/null | head -n 1
}
