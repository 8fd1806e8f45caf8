#!/usr/bin/env bash
# Starts kestrabin.exe under Wine in the Japanese locale. Without a display it
# runs on Xvfb, saves a picture of the desktop with the tray menu open and
# keeps running until Ctrl-C.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
exe=$(cd "$(dirname "${1:-build/x64/kestrabin.exe}")" && pwd)/$(basename "${1:-build/x64/kestrabin.exe}")
out=$root/build/run
mkdir -p "$out"

if [ -z "${DISPLAY:-}" ]; then
    export KESTRABIN_HEADLESS=1
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$BASH" "$0" "$exe"
fi

. "$root/scripts/wine.sh"
wine_env "$out/prefix"
wine_driver "$out" "$out/build-driver.log" || { echo "building the driver failed: see $out/build-driver.log"; exit 1; }
echo "Preparing the Wine prefix in $WINEPREFIX ..."
wine_prefix "$out/wineboot.log" keep || { echo "creating the Wine prefix failed: see $out/wineboot.log"; exit 1; }

wine "$exe" >"$out/kestrabin.log" 2>&1 &
app=$!
stop() {
    kill "$app" 2>/dev/null
    timeout 30 wineserver -k >/dev/null 2>&1
}
trap 'stop; exit 0' INT TERM
trap stop EXIT

timeout 60 wine "$out/driver.exe" startup >"$out/startup.txt" 2>&1 ||
    { echo "Kestrabin did not start: see $out/startup.txt"; exit 1; }
echo "Kestrabin is running in the notification area (bottom right of the Wine desktop)."

if [ -n "${KESTRABIN_HEADLESS:-}" ]; then
    # A real right-click on the tray icon, then a picture of the open menu.
    timeout 60 wine "$out/driver.exe" tray-point >"$out/tray-point.txt" 2>&1
    point=$(sed -n 's/^POINT //p' "$out/tray-point.txt" | tr -d '\r')
    desk=$(desktop_window)
    timeout 10 xdotool mousemove ${desk:+--window "$desk"} ${point% *} ${point#* } sleep 0.3 click 3
    timeout 30 wine "$out/driver.exe" menu-wait >/dev/null 2>&1
    timeout 10 xdotool mousemove ${desk:+--window "$desk"} 300 300
    sleep 0.5
    timeout 30 import -window "${desk:-root}" "$root/build/kestrabin-tray-menu.png" >/dev/null 2>&1 &&
        echo "Screenshot of the tray menu: $root/build/kestrabin-tray-menu.png"
fi

echo "Press Ctrl-C to stop."
wait "$app"
