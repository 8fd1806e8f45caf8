#!/usr/bin/env bash
# End-to-end checks of kestrabin.exe under Wine: each scenario starts the program afresh in a
# private Wine prefix (Japanese locale, virtual desktop) and drives it with tests/e2e/driver.cpp.
#
#   tests/e2e/run.sh [--exe PATH] [--shots DIR] [--out DIR] [--driver EXE --hook DLL]
#                    [--keep-prefix] [SCENARIO...]
#
#   --exe PATH      the program (default build/x64/kestrabin.exe)
#   --shots DIR     save PNG screenshots of the tray menu and the settings dialog there
#   --out DIR       build and work folder (default build/e2e): driver, prefix, logs
#   --driver, --hook  a prebuilt driver.exe and its hook DLL (otherwise built into --out)
#   --keep-prefix   reuse a prefix left by an earlier run instead of creating a new one
#   SCENARIO...     run only these (names as printed)
#
# Prints "PASS name" or "FAIL name: why" per scenario and "N passed, M failed" last; exits 1 on
# any failure. Driver and program logs stay in OUT/logs.
# shellcheck disable=SC2317  # the re-exec lines below make shellcheck think the rest is unreachable
set -u
orig_args=("$@")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
exe=$root/build/x64/kestrabin.exe
shots=
out=$root/build/e2e
driver=
hook=
keep_prefix=0
only=()

usage() { sed -n '2,16s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; exit "${1:-2}"; }
abs() { case $1 in /*) printf '%s\n' "$1" ;; *) printf '%s\n' "$PWD/$1" ;; esac; }

while [ $# -gt 0 ]; do
    case $1 in
        --exe) exe=$(abs "${2:?--exe needs a path}"); shift 2 ;;
        --shots) shots=$(abs "${2:?--shots needs a folder}"); shift 2 ;;
        --out) out=$(abs "${2:?--out needs a folder}"); shift 2 ;;
        --driver) driver=$(abs "${2:?--driver needs a path}"); shift 2 ;;
        --hook) hook=$(abs "${2:?--hook needs a path}"); shift 2 ;;
        --keep-prefix) keep_prefix=1; shift ;;
        -h|--help) usage 0 ;;
        -*) echo "unknown option $1" >&2; usage ;;
        *) only+=("$1"); shift ;;
    esac
done

mkdir -p "$out" || exit 1

# One run at a time per work folder. flock -o: Wine's long-lived processes must not inherit the lock.
if [ -z "${KESTRABIN_E2E_LOCKED:-}" ]; then
    export KESTRABIN_E2E_LOCKED=1
    exec flock -o -w 900 "$out/.lock" "$BASH" "${BASH_SOURCE[0]}" "${orig_args[@]}"
fi
# No display: run everything under one Xvfb.
if [ -z "${DISPLAY:-}" ]; then
    command -v xvfb-run >/dev/null || { echo "xvfb-run not found (Debian package xvfb)"; echo "0 passed, 1 failed"; exit 1; }
    exec timeout 1200 xvfb-run -a -s "-screen 0 1024x768x24" "$BASH" "${BASH_SOURCE[0]}" "${orig_args[@]}"
fi

started=$(date +%s)
logs=$out/logs
rm -rf "$logs"
mkdir -p "$logs"
[ -n "$shots" ] && mkdir -p "$shots"

die() { echo "e2e: $*"; echo "0 passed, 1 failed"; exit 1; }

for tool in wine wineserver timeout; do
    command -v "$tool" >/dev/null || die "$tool not found (Debian packages wine, wine64, coreutils)"
done
locale -a 2>/dev/null | grep -qiE '^ja_JP\.utf-?8$' ||
    die "locale ja_JP.UTF-8 missing: add 'ja_JP.UTF-8 UTF-8' to /etc/locale.gen and run locale-gen"

# --- the driver ------------------------------------------------------------------------------
. "$root/scripts/wine.sh"
if [ -z "$driver" ] || [ -z "$hook" ]; then
    wine_driver "$out" "$logs/build-driver.log" || die "building the driver failed: $(tail -n 5 "$logs/build-driver.log")"
    driver=${driver:-$out/driver.exe}
    hook=${hook:-$out/e2ehook.dll}
fi
winpath() { printf 'Z:%s\n' "${1//\//\\}"; }

# --- the prefix ------------------------------------------------------------------------------
wine_env "$out/prefix"
app_pid=

cleanup() {
    if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then kill -9 "$app_pid" 2>/dev/null; fi
    timeout 30 wineserver -k >/dev/null 2>&1
    timeout 30 wineserver -w >/dev/null 2>&1
}
trap cleanup EXIT
trap 'exit 130' INT TERM

wine_prefix "$logs/wineboot.log" "$([ "$keep_prefix" = 1 ] && echo keep)" ||
    die "creating the Wine prefix failed: $(tail -n 3 "$logs/wineboot.log")"

# --- helpers ---------------------------------------------------------------------------------
cur=setup
step=0
why=
passed=0
failed=0

fail() { why+="${why:+; }$*"; }

# d ARGS...: runs the driver; a failure adds its FAIL lines to the scenario's reasons.
d() {
    step=$((step + 1))
    local f
    f=$logs/$(printf '%03d' "$step")-$cur-$1.txt
    timeout 90 wine "$driver" "$@" >"$f" 2>&1
    local rc=$?
    if [ "$rc" -ne 0 ]; then
        local r
        r=$(awk '/^FAIL: /{ sub(/^FAIL: /, ""); sub(/\r$/, ""); printf "%s%s", (n++ ? "; " : ""), $0 }' "$f")
        if [ "$rc" -eq 124 ]; then r="driver timed out${r:+: $r}"
        elif [ -z "$r" ]; then r="driver exit code $rc: $(tail -n 3 "$f" | tr '\n' ' ')"; fi
        fail "[$*] $r"
    fi
    return "$rc"
}

start_app() {
    [ -f "$exe" ] || { fail "no program at $exe"; return 1; }
    wine "$exe" >"$logs/$cur-app.log" 2>&1 &
    app_pid=$!
}

# wait_exit SECONDS: waits for the program to end; sets app_code.
wait_exit() {
    local end=$(($(date +%s) + $1))
    app_code=
    [ -n "$app_pid" ] || return 1
    while kill -0 "$app_pid" 2>/dev/null; do
        [ "$(date +%s)" -ge "$end" ] && return 1
        sleep 0.1
    done
    wait "$app_pid"
    app_code=$?
    app_pid=
}

expect_exit0() {
    if ! wait_exit 10; then fail "program still running 10 s later"
    elif [ "$app_code" != 0 ]; then fail "program exit code $app_code (wanted 0)"; fi
}

stop_app() {
    [ -n "$app_pid" ] || return 0
    if kill -0 "$app_pid" 2>/dev/null; then
        kill "$app_pid" 2>/dev/null
        wait_exit 5 || { kill -9 "$app_pid" 2>/dev/null; wait_exit 5; }
    else
        wait "$app_pid" 2>/dev/null
    fi
    app_pid=
    # Let the taskbar forget the icon before the next start.
    sleep 0.3
}

reg() { timeout 60 wine reg "$@" >>"$logs/$cur-reg.log" 2>&1; }
reg_reset() { reg delete 'HKCU\SOFTWARE\Kestrabin' /f; return 0; }
reg_key() {  # reg_key N: a complete entry
    if ! reg add "HKCU\\SOFTWARE\\Kestrabin\\$1" /v VID /t REG_SZ /d "0${1}AB" /f ||
        ! reg add "HKCU\\SOFTWARE\\Kestrabin\\$1" /v PID /t REG_SZ /d "1${1}CD" /f ||
        ! reg add "HKCU\\SOFTWARE\\Kestrabin\\$1" /v SEL /t REG_SZ /d 1 /f; then
        fail "wine reg add key $1 failed"
    fi
}

# The X window of Wine's virtual desktop (coordinates and pictures are taken relative to it).

shot() {
    [ -n "$shots" ] || return 0
    sleep 0.5
    desk=$(desktop_window)
    if command -v import >/dev/null; then
        timeout 30 import -window "${desk:-root}" "$shots/$1" >/dev/null 2>&1
    else
        local src=(-root)
        [ -n "$desk" ] && src=(-id "$desk")
        timeout 30 xwd -silent "${src[@]}" 2>/dev/null | timeout 30 convert xwd:- "$shots/$1" 2>/dev/null
    fi
    [ -s "$shots/$1" ] || fail "screenshot $1 not written (needs imagemagick)"
}

selected() {
    [ ${#only[@]} -eq 0 ] && return 0
    local n
    for n in "${only[@]}"; do [ "$n" = "$1" ] && return 0; done
    return 1
}

scenario() {
    selected "$1" || return 0
    cur=$1
    why=
    "sc_${1//-/_}"
    stop_app
    if [ -z "$why" ]; then
        echo "PASS $1"
        passed=$((passed + 1))
    else
        echo "FAIL $1: $why"
        failed=$((failed + 1))
    fi
}

# --- scenarios -------------------------------------------------------------------------------
sc_resources() {
    [ -f "$exe" ] || { fail "no program at $exe"; return; }
    d resources "$(winpath "$exe")"
    local objdump=${MINGW_OBJDUMP:-x86_64-w64-mingw32-objdump} dlls bad
    dlls=$(timeout 60 "$objdump" -p "$exe" 2>"$logs/objdump.err" | sed -n 's/^[[:space:]]*DLL Name: //p')
    if [ -z "$dlls" ]; then fail "no imports read by $objdump: $(head -c 200 "$logs/objdump.err")"; return; fi
    bad=$(printf '%s\n' "$dlls" | grep -viE '^(kernel32|user32|shell32|comctl32|advapi32|setupapi|cfgmgr32|msvcrt)\.dll$' | paste -sd' ' -)
    [ -z "$bad" ] || fail "imports other DLLs: $bad"
    printf '%s\n' "$dlls" >"$logs/imports.txt"
}

sc_startup() {
    start_app || return
    d startup
    d tooltip
}

sc_tray_click() {
    start_app || return
    d startup >/dev/null || return
    local pt x y
    d tray-point || return
    pt=$(sed -n 's/^POINT //p' "$logs/$(printf '%03d' "$step")-$cur-tray-point.txt" | tr -d '\r')
    x=${pt% *}
    y=${pt#* }
    command -v xdotool >/dev/null || { fail "xdotool not found (Debian package xdotool)"; return; }
    desk=$(desktop_window)
    if [ -n "$desk" ]; then
        timeout 10 xdotool mousemove --window "$desk" "$x" "$y" sleep 0.3 click 3 || fail "xdotool failed"
    else
        timeout 10 xdotool mousemove "$x" "$y" sleep 0.3 click 3 || fail "xdotool failed"
    fi
    d menu-wait || return
    # Off the icon, so that its tooltip does not cover the menu in the picture.
    timeout 10 xdotool mousemove ${desk:+--window "$desk"} 300 300
    shot tray-menu.png
    d menu-read "$(winpath "$hook")"
    d menu-pick 1 none
}

sc_menu_items() {
    start_app || return
    d menu-read "$(winpath "$hook")"
}
sc_menu_placeholder() { start_app && d menu-pick 1 none; }
sc_menu_settings() { start_app && d menu-pick 2 settings; }
sc_menu_about() { start_app && d menu-pick 3 about; }
sc_menu_exit() {
    start_app || return
    d menu-pick 4 exit
    expect_exit0
}

sc_about() {
    start_app || return
    d about-cmd
    d about-cmd 1
}

sc_about_accel() {
    start_app || return
    d about-accel '?'
    d about-accel '/'
}

sc_settings() {
    start_app || return
    d settings 2
    shot settings.png
}

sc_settings_registry() {
    reg_reset
    reg_key 0
    reg_key 1
    reg_key 3
    start_app || return
    d settings-close cancel
    d reg 0=1 1=1 2=0 3=1
    d settings-close close
    d reg 0=1 1=1 2=0 3=1
    d settings-close syscmd
    d reg 0=1 1=1 2=0 3=1
    d settings-close ok
    d reg 0=0 1=0 2=0 3=1
    reg_key 0
    reg_key 1
    reg_key 2
    d settings-close okcmd
    d reg 0=0 1=0 2=0 3=0
    reg_reset
}

sc_odd_registry() {
    reg_reset
    local sel
    sel=$(printf 'S%.0s' $(seq 300))
    if ! reg add 'HKCU\SOFTWARE\Kestrabin\0' /v VID /t REG_DWORD /d 4660 /f ||
        ! reg add 'HKCU\SOFTWARE\Kestrabin\0' /v SEL /t REG_SZ /d "$sel" /f; then
        fail "wine reg add failed"
    fi
    start_app || return
    d menu-read "$(winpath "$hook")"
    d settings-close cancel
    d reg 0=1
    d menu-pick 4 exit
    expect_exit0
    reg_reset
}

sc_broadcasts() {
    start_app || return
    d broadcast
    d broadcast-null
    d menu-read "$(winpath "$hook")"
    d menu-pick 1 none
}

sc_commands() {
    start_app || return
    d commands 5 0x1004 0x101F 0x11004 0x20005
}

sc_taskbar_created() {
    start_app || return
    d taskbar
}

sc_close() {
    start_app || return
    d close
    expect_exit0
}

for s in resources startup tray-click menu-items menu-placeholder menu-settings menu-about menu-exit \
    about about-accel settings settings-registry odd-registry broadcasts commands taskbar-created close; do
    scenario "$s"
done

echo "e2e: $(($(date +%s) - started)) s, logs in $logs" >&2
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ] && exit 0
exit 1
