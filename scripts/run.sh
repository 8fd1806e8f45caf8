#!/usr/bin/env bash
# Starts kestrabin.exe under Wine in the Japanese locale:
#   scripts/run.sh EXE           as it is: Wine offers it no USB drives
#   scripts/run.sh --demo EXE    on a simulated machine with two USB sticks
# Without a display it runs on Xvfb, saves a picture of the desktop with the tray menu open
# and keeps running until Ctrl-C.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
demo=
[ "${1:-}" = --demo ] && demo=--demo && shift
exe=$(cd "$(dirname "${1:-build/x64/kestrabin.exe}")" && pwd)/$(basename "${1:-build/x64/kestrabin.exe}")
out=$root/build/run
mkdir -p "$out"

if [ -z "${DISPLAY:-}" ]; then
    export KESTRABIN_HEADLESS=1
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$BASH" "$0" $demo "$exe"
fi

. "$root/scripts/wine.sh"
wine_env "$out/prefix"
wine_build "$out" "$out/build.log" || { echo "building the driver failed: see $out/build.log"; exit 1; }
echo "Preparing the Wine prefix in $WINEPREFIX ..."
wine_prefix "$out/wineboot.log" keep || { echo "creating the Wine prefix failed: see $out/wineboot.log"; exit 1; }

if [ -n "$demo" ]; then
    # The simulated setupapi.dll of the exe's architecture goes beside it.
    arch=x64
    x86_64-w64-mingw32-objdump -f "$exe" | grep -q 'pei-i386' && arch=x86
    cp "$exe" "$out/$arch/kestrabin.exe"
    cat >"$out/machine.txt" <<'MACHINE'
volume E disk 1
volume F disk 2
iface disk 1 110 1
iface disk 2 120 1
node 110 11 0 USBSTOR\DISK&VEN_ACME&PROD_STICK&REV_1.00\0123456789&0
node 11 0 6000 USB\VID_1234&PID_5678\0123456789
node 120 12 0 USBSTOR\DISK&VEN_ZETA&PROD_FLASH&REV_2.0\Z42&0
node 12 0 6000 USB\VID_AAAA&PID_BBBB\Z42
MACHINE
    rm -f "$out/sim.log"
    wine_start_simulated "$out/$arch/kestrabin.exe" "$out/machine.txt" "$out/sim.log"
else
    wine "$exe" >"$out/kestrabin.log" 2>&1 &
    app=$!
fi
stop() {
    kill "$app" 2>/dev/null
    timeout 30 wineserver -k >/dev/null 2>&1
}
trap 'stop; exit 0' INT TERM
trap stop EXIT

timeout 60 wine "$out/driver.exe" wait >"$out/wait.txt" 2>&1 || { echo "Kestrabin did not start: see $out/wait.txt"; exit 1; }
echo "Kestrabin is running in the notification area (bottom right of the Wine desktop)."
[ -n "$demo" ] && echo "Two simulated USB sticks, E: and F:. What Kestrabin asks of them, ejections included, is logged in $out/sim.log (its Japanese in Shift-JIS)"

if [ -n "${KESTRABIN_HEADLESS:-}" ]; then
    # The menu opens where the pointer is: at the tray.
    timeout 10 xdotool mousemove 1000 740
    timeout 30 wine "$out/driver.exe" menu 0 >/dev/null 2>&1
    sleep 0.5
    timeout 30 import -window root "$root/build/kestrabin-tray-menu.png" >/dev/null 2>&1 &&
        echo "Screenshot of the tray menu: $root/build/kestrabin-tray-menu.png"
fi

echo "Press Ctrl-C to stop."
wait "$app"
