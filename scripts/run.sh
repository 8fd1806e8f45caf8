#!/usr/bin/env bash
# Starts kestrabin.exe under Wine in the Japanese locale:
#   scripts/run.sh EXE           as it is: Wine offers it no USB drives
#   scripts/run.sh --demo EXE    on a simulated machine with two USB sticks
# Without a display it runs on its own Xvfb: `make run` saves a picture of the tray menu,
# `make demo` plays a short tour and saves a picture at each step, all in build/run/. With a
# display nothing is played. Either way it then keeps running, and prints how to drive it.
#
# Ctrl-C, or TERM (or INT) sent to the process id it prints, ends everything it started: the
# program and every Wine process of its prefix (wineserver -k), and its Xvfb. So does the
# program's own Exit; then it says so, with the exit code.
#
# Both ways share one Wine prefix, build/run/prefix: a prefix takes 1.3 GB, too much to keep a
# second one for the demo. A start while the other one runs stops that one first, and says so.
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# A shell started in the background by another shell ignores INT, and bash cannot trap a signal
# ignored on entry: start again with INT and TERM at their defaults (same process id).
if [ "${KESTRABIN_RUN:-}" != $$ ]; then
    export KESTRABIN_RUN=$$
    exec env --default-signal=INT,TERM,HUP "$BASH" "${BASH_SOURCE[0]}" "$@"
fi

demo=
[ "${1:-}" = --demo ] && demo=1 && shift
exe=${1:-build/x64/kestrabin.exe}
exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")
out=$root/build/run
mkdir -p "$out"
name=run
[ -n "$demo" ] && name=demo
arch=x64
. "$root/scripts/wine.sh"

# --- what it needs -----------------------------------------------------------------------------
# Every command, with its package, named before anything starts; without a display the tour
# needs Xvfb, xdotool and ImageMagick's import too.
headless=
[ -z "${DISPLAY:-}" ] && headless=1
needs=(wine=wine wineserver=wine "x86_64-w64-mingw32-g++=g++-mingw-w64-x86-64" "i686-w64-mingw32-g++=g++-mingw-w64-i686"
    x86_64-w64-mingw32-objdump=binutils-mingw-w64-x86-64)
[ -n "$headless" ] && needs+=(Xvfb=xvfb xdotool=xdotool import=imagemagick)
lacking=()
for need in "${needs[@]}"; do
    command -v "${need%%=*}" >/dev/null || lacking+=("${need%%=*} (package ${need#*=})")
done
if [ ${#lacking[@]} -gt 0 ]; then
    echo "Kestrabin ${name} needs commands that are missing: ${lacking[*]}."
    echo "make deps installs them (scripts/deps.sh)."
    exit 1
fi
x86_64-w64-mingw32-objdump -f "$exe" | grep -q 'pei-i386' && arch=x86

# --- stopping ----------------------------------------------------------------------------------
xvfb=
child=
app=
stopping=
cleanup() {
    [ -n "$stopping" ] && return
    stopping=1
    trap '' INT TERM HUP
    # A step still running (a driver call, the prefix being made) goes first, then every
    # Wine process of the prefix and its server, then the X server.
    [ -n "$child" ] && kill "$child" 2>/dev/null
    if [ -n "${WINEPREFIX:-}" ]; then
        timeout 30 wineserver -k >/dev/null 2>&1
        timeout 30 wineserver -w >/dev/null 2>&1
    fi
    [ -n "$app" ] && wait "$app" 2>/dev/null
    [ -n "$child" ] && wait "$child" 2>/dev/null
    if [ -n "$xvfb" ]; then
        kill "$xvfb" 2>/dev/null
        wait "$xvfb" 2>/dev/null
    fi
    [ "$(cat "$out/running" 2>/dev/null)" = "$$ $name" ] && rm -f "$out/running"
}
trap 'echo; echo "Stopping Kestrabin (signal)."; cleanup; exit 0' INT
trap 'echo "Stopping Kestrabin (signal)."; cleanup; exit 0' TERM HUP
trap cleanup EXIT

# step COMMAND...: runs one step in the background and waits for it, so that a signal is acted
# on at once rather than when the step ends. Background commands ignore INT: the trap stops them.
step() {
    "$@" &
    child=$!
    wait "$child"
    local code=$?
    child=
    return $code
}

echo "Kestrabin ${name}: process $$. To stop everything it starts: Ctrl-C, or  kill -TERM $$"

# The other of make run and make demo, if it runs, is stopped first: the prefix is shared.
if read -r other other_name 2>/dev/null <"$out/running" && [ "$other" != $$ ] &&
    grep -qa scripts/run.sh "/proc/$other/cmdline" 2>/dev/null; then
    echo "make $other_name is running (process $other) in the same Wine prefix: stopping it first."
    kill -TERM "$other" 2>/dev/null
    step timeout 60 tail --pid="$other" -f /dev/null
fi
echo "$$ $name" >"$out/running"

# --- display -----------------------------------------------------------------------------------
if [ -n "$headless" ]; then
    # Xvfb picks a free display itself and writes its number when it is ready.
    rm -f "$out/display"
    xvfb_command=(Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp)
    "${xvfb_command[@]}" 3>"$out/display" >"$out/xvfb.log" 2>&1 &
    xvfb=$!
    for _ in $(seq 100); do
        [ -s "$out/display" ] && break
        kill -0 "$xvfb" 2>/dev/null || break
        sleep 0.1
    done
    if ! [ -s "$out/display" ]; then
        status=124
        kill -0 "$xvfb" 2>/dev/null || { wait "$xvfb"; status=$?; }
        WINEPREFIX='' wine_failed "Starting Xvfb" "$status" "$out/xvfb.log" "${xvfb_command[@]}"
        exit 1
    fi
    DISPLAY=:$(head -n 1 "$out/display")
    export DISPLAY
    echo "No display: Kestrabin runs on Xvfb, display $DISPLAY."
fi

# --- Wine --------------------------------------------------------------------------------------
wine_env "$out/prefix"
if [ "$arch" = x86 ] && [ -n "$wine32_missing" ]; then
    echo "The x86 exe needs 32-bit Wine, and 32-bit programs do not run here ($wine32_missing)."
    exit 1
fi
[ -n "$wine32_missing" ] && echo "32-bit programs do not run here ($wine32_missing): Wine runs through its 64-bit loader."
# Each step that fails says what failed, its command and the last lines of its log.
step wine_build "$out" "$out/build.log" || exit 1
echo "Preparing the Wine prefix in $WINEPREFIX ..."
step wine_prefix "$out/wineboot.log" keep || exit 1

# d ARGS: one driver action; its output goes to a file (Wine's processes may hold a pipe open).
d() {
    step timeout 60 wine "$out/driver.exe" "$@" >"$out/driver.txt" 2>&1 && return 0
    wine_failed "The driver" $? "$out/driver.txt" wine build/run/driver.exe "$@"
    return 1
}

# shot NAME GEOMETRY: the part WxH+X+Y of the Wine desktop, build/run/NAME.
shot() {
    sleep 0.5
    step timeout 30 import -window root -crop "$2" +repage "$out/$1" >/dev/null 2>&1 && echo "  picture: $out/$1"
}
# The tray menu opens up and to the left of the pointer, which stands at the tray (1000,740):
# the desktop's bottom right corner. The settings dialog is centred.
MENU=320x200+704+568
SETTINGS=400x340+312+200

if [ -n "$demo" ]; then
    # The simulated setupapi.dll of the exe's architecture goes beside it.
    cp "$exe" "$out/$arch/kestrabin.exe"
    app_log=$out/sim.out
    {
        sim_drive E 1 110 11 6000 'USBSTOR\DISK&VEN_ACME&PROD_STICK&REV_1.00\0123456789&0' 'USB\VID_1234&PID_5678\0123456789'
        sim_drive F 2 120 12 6000 'USBSTOR\DISK&VEN_ZETA&PROD_FLASH&REV_2.0\Z42&0' 'USB\VID_AAAA&PID_BBBB\Z42'
    } >"$out/machine.txt"
    rm -f "$out/sim.log"
    # Every demo starts with nothing hidden.
    step wine_exclusions "$out/none.reg" >/dev/null 2>&1
    wine_start_simulated "$out/$arch/kestrabin.exe" "$out/machine.txt" "$out/sim.log"
else
    app_log=$out/kestrabin.log
    wine "$exe" >"$app_log" 2>&1 &
    app=$!
fi

if ! d wait; then
    if ! kill -0 "$app" 2>/dev/null; then
        wait "$app"
        wine_failed "Starting Kestrabin" $? "$app_log" wine "$exe"
    fi
    exit 1
fi
echo "Kestrabin is running in the notification area (bottom right of the Wine desktop)."

# The tray menu opens where the pointer is: at the tray.
if [ -n "$headless" ]; then
    step timeout 10 xdotool mousemove 1000 740
    # Wine keeps a process's first popup menu within the whole screen, over the taskbar and the
    # icon; later ones stay above the taskbar. So one is opened and closed before the pictures.
    d menu -1
    if [ -z "$demo" ]; then
        d menu 0 && shot run-menu.png $MENU
        step timeout 10 xdotool key Escape
    else
        echo "The tour:"
        # 1. The menu with both sticks, E: and F:.
        d menu 0 && shot demo-1-menu.png $MENU
        # 2. Its first item ejects E:; Windows (here the simulated machine) then announces the
        #    removal and E: leaves the menu.
        d menu 1
        sleep 1
        d menu 0 && shot demo-2-after-eject.png $MENU
        # Closed before the settings open, or the menu's end would take the keyboard from them.
        d menu -1
        # 3. The settings with the first stick left ticked, then OK.
        d send 0x111 106 0
        # The keys a user would press: to the list, its first row, Space. Xvfb gives the keys to
        # the window under the pointer: it goes over the dialog, and back to the tray after.
        step timeout 10 xdotool mousemove 512 384 key --delay 100 Tab Tab Down space && shot demo-3-settings.png $SETTINGS
        d press 1
        # 4. The ticked stick is no longer in the menu.
        step timeout 10 xdotool mousemove 1000 740
        d menu 0 && shot demo-4-hidden.png $MENU
        step timeout 10 xdotool key Escape
    fi
fi

# How to drive it further from another terminal: the same environment, then the driver.
loader=
[ -n "$wine32_missing" ] &&
    loader=$'\n'"  export PATH=$root/build/wine64:\$PATH WINELOADER=$WINELOADER WINEARCH=win64  # the 64-bit loader"
cat <<HELP

To drive it from another terminal, in this environment:

  cd $root
  export WINEPREFIX=$WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES='mscoree=;mshtml='
  export LC_ALL=ja_JP.UTF-8 DISPLAY=$DISPLAY${XAUTHORITY:+ XAUTHORITY=$XAUTHORITY}$loader

  wine build/run/driver.exe menu 0        # open the tray menu and leave it open
  wine build/run/driver.exe menu 1        # open it (or take the open one) and choose its first item
  wine build/run/driver.exe send 0x111 106 0     # WM_COMMAND 106: Settings (105: Exit, 0x1004: eject E:)
  xdotool mousemove 512 384 key Tab Tab Down space  # in the settings (keys go under the pointer): tick row 1
  wine build/run/driver.exe press 1              # the open dialog's OK (2: Cancel)
  wine build/run/driver.exe send 0x219 0x8000 F  # a volume broadcast: F: arrived (0x8004: it left)
  wine build/run/driver.exe key ?                # Alt+?: the About box (press 1 closes it)
  import -window root shot.png                   # a picture of the Wine desktop
HELP
if [ -n "$demo" ]; then
    cat <<HELP

The simulated machine, $out/machine.txt, has two USB sticks: E: (ACME STICK) and
F: (ZETA FLASH). Add a stick's lines there, then  send 0x219 0x8000 LETTER.  What Kestrabin
asks of the sticks, and what it shows, is logged in $out/sim.log (see the README).
HELP
else
    echo
    echo "Wine offers Kestrabin no USB drives: its menu shows 接続されていません. Try  make demo  for two simulated sticks."
fi
echo
echo "Kestrabin keeps running. To stop everything: Ctrl-C, or  kill -TERM $$"

# Until the program ends (its Exit) or a signal comes; a signal's trap ends the script.
wait "$app"
code=$?
echo "Kestrabin ended by itself with exit code $code; stopping its Wine processes${xvfb:+ and the Xvfb}."
exit $code
