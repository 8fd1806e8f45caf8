#!/usr/bin/env bash
# kestrabin.exe under Wine in the Japanese locale:
#   scripts/run.sh EXE           as it is: Wine offers it no USB drives
#   scripts/run.sh --demo EXE    on a simulated machine with a USB stick (E:) and a USB SSD (F:)
# Without a display it runs on its own Xvfb: run saves a picture of the tray menu, demo plays a
# short tour with a picture at each step, in build/run/. Then it keeps running until the
# program's Exit, Ctrl-C or a TERM to the process id it prints, and stops every Wine process.
# Both share the prefix build/run/prefix (1.3 GB): a start stops the other's Wine first.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/wine.sh"
wine_display "$@"
demo=
[ "${1:-}" = --demo ] && demo=1 && shift
exe=$(realpath "${1:-build/x64/kestrabin.exe}")
driver=$(dirname "$exe")/driver.exe
out=$root/build/run
mkdir -p "$out"
wine_env "$out/prefix"
trap 'timeout 30 wineserver -k; exit 0' INT TERM HUP
echo "Kestrabin: process $$ on display $DISPLAY. To stop everything: Ctrl-C, or  kill -TERM $$"
timeout 30 wineserver -k 2>/dev/null
wine_prefix || exit 1

if [ -n "$demo" ]; then
    # The simulated setupapi.dll of the exe's architecture goes beside it.
    cp "$exe" "$(dirname "$exe")/sim/"
    sim_machine OtherStick UasSsd >"$out/machine.txt"
    wine reg delete 'HKCU\Software\Kestrabin' /f >/dev/null 2>&1
    wine_start "$(dirname "$exe")/sim/kestrabin.exe" "$out/machine.txt" "$out/sim.log"
else
    wine_start "$exe" /dev/null "$out/kestrabin.log"
fi
drive wait || exit 1

# shot NAME GEOMETRY: a part of the desktop: the tray menu opens up and left of the pointer, at
# the tray (1000,740); the settings dialog is centred.
shot() { sleep 0.5; import -window root -crop "${2:-320x200+704+568}" +repage "$out/$1" && echo "  picture: $out/$1"; }
if [ -n "${KESTRABIN_XVFB:-}" ]; then
    xdotool mousemove 1000 740
    # Wine keeps a process's first popup menu within the whole screen, over the taskbar; later
    # ones stay above it. So one is opened and closed before the pictures.
    drive menu -1
    if [ -z "$demo" ]; then
        drive menu 0 && shot run-menu.png && xdotool key Escape
    else
        drive menu 0 && shot demo-1-menu.png
        # Its first item ejects E:; the machine announces the removal, and E: leaves the menu.
        drive menu 1 && sleep 1 && drive menu 0 && shot demo-2-after-eject.png && drive menu -1
        drive send 0x111 106 0 && keys Tab Tab Down space && shot demo-3-settings.png 400x340+312+200
        keys Return && xdotool mousemove 1000 740 && drive menu 0 && shot demo-4-hidden.png && xdotool key Escape
    fi
fi
echo "Kestrabin runs in the notification area, at the bottom right of the Wine desktop. To drive it: cd $root; export WINEPREFIX=$WINEPREFIX LC_ALL=ja_JP.UTF-8" \
    "DISPLAY=$DISPLAY${XAUTHORITY:+ XAUTHORITY=$XAUTHORITY}${WINELOADER:+ WINELOADER=$WINELOADER WINEARCH=win64 PATH=$root/build/wine64:\$PATH}"
echo "then for example  wine $driver menu 0  (the tray menu, left open); tests/e2e/driver.cpp lists its actions."
[ -n "$demo" ] && echo "The machine: $out/machine.txt (see tests/devices/); what Kestrabin asks and shows: $out/sim.log"
# make pictures: the tour only.
[ -n "${KESTRABIN_TOUR_ONLY:-}" ] && exit 0
wait "$app"
code=$?
echo "Kestrabin ended with exit code $code."
timeout 30 wineserver -k
exit $code
