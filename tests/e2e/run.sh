#!/usr/bin/env bash
# The Wine suite: the real kestrabin.exe under Wine on a simulated machine, one scenario a run;
# CTest runs every sc_NAME below on both exes. setupapi.cpp stands in for the storage devices and
# logs what the exe asks of them and shows; driver.cpp and the keys typed play the user.
#   tests/e2e/run.sh prefix          makes the Wine prefix that the scenarios share
#   tests/e2e/run.sh EXE SCENARIO    exits 0 (passed), 1 (failed: each difference shown) or 77
#                                    (skipped: an x86 exe where 32-bit programs cannot run)
# Logs stay in build/e2e/ARCH.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine.sh"
wine_display "$@"
wine_env "$root/build/e2e/prefix"
[ "$1" = prefix ] && { timeout 30 wineserver -k 2>/dev/null; wine_prefix; exit; }
arch=$(basename "$(dirname "$1")")
[ $arch = x86 ] && [ -n "$wine32_missing" ] && echo "skipped: 32-bit programs cannot run here: $wine32_missing" && exit 77
name=$2 work=$root/build/e2e/$arch driver=$(dirname "$1")/driver.exe
log=$work/$name.log why= seen=0 app=
mkdir -p "$work" && cp "$1" "$(dirname "$1")/sim/setupapi.dll" "$work/" || exit 1
trap 'kill -9 $app 2>/dev/null; timeout 30 wineserver -k' EXIT

# Menu entries as the user reads them.
D='OPTI DVD-RW(D:)' E='ACME STICK(E:)' F='SAMSUNG PORTABLE_SSD_T5(F:)' J='NONAME CARD(J:)'
M='GENERIC FLASH_DISK(M:)' N='KINGSTON DATATRAVELER_3.0(N:)' O='KINGSTON DATATRAVELER_3.0(O:)'
NONE='接続されていません' K='MBED VFS(K:)' A='TEAC FD-05PUW(A:)'
# The icon's record: icon 128, callback message 1025 (WM_USER + 1), tooltip.
ICON='128 1025 USBストレージの取り外し icon=1'

complain() { why+="$*"$'\n'; }
machine() { sim_machine "$@" >"$work/machine.txt"; }
menu_of() { printf 'menu %s- | 設定 | - | Kestrabinについて | - | 終了' "$(printf '%s | ' "$@")"; }
# pick K WHAT LINES: the tray menu opened, its K-th item chosen (-1: closed); then the exe's next
# events are LINES.
pick() { drive menu "$1"; expect "${@:2}"; }
# attempts CALL NODE ANSWER...: a removal whose attempts get these answers.
attempts() { printf "$1 $2 veto=1 name=0 length=0 flags=0 -> %s\n" "${@:3}"; }

# start: the exe on the machine described, logging afresh; then its tray icon.
start() {
    wine_start "$work/kestrabin.exe" "$work/machine.txt" "$log"
    expect "the tray icon" "notify 0 $ICON"
}

# same WHAT WANTED COMMAND...: COMMAND's output is WANTED (tried for up to 20 s, as a chosen
# command is posted and typed keys take their time); if not, their difference.
same() {
    local got end=$((SECONDS + 20))
    while got=$("${@:3}"); [ "$got" != "$2" ] && [ $SECONDS -lt $end ] && kill -0 "$app" 2>/dev/null; do sleep 0.3; done
    [ "$got" = "$2" ] || complain "$1:"$'\n'"$(diff -u --label wanted --label got <(echo "$2") <(echo "$got"))"
}

# expect WHAT LINES: the exe's next events are LINES: the log's lines not yet checked, without the
# bookkeeping of handles, sets and counts.
events() { tail -n +$((seen + 1)) "$log" | grep -vE '^(open|close|set|unset|counts) '; }
expect() {
    same "$@" events
    seen=$(wc -l <"$log")
}

# steady WHAT N: the exe's heap blocks and menus, counted at each menu, are the same at its last N.
steady() {
    [ "$(grep '^counts ' "$log" | tail -n "$2" | uniq | wc -l)" = 1 ] ||
        complain "$1: the exe's heap blocks or menus grew: $(grep '^counts ' "$log" | tail -n "$2" | paste -sd ' ')"
}

# store [VID,PID,SEL...]: the stored exclusion list becomes keys 0, 1, ... with these entries.
store() {
    local n=0 entry vid pid sel
    printf 'REGEDIT4\n[-HKEY_CURRENT_USER\\Software\\Kestrabin]\n' >"$work/store.reg"
    for entry in "$@"; do
        IFS=, read -r vid pid sel <<<"$entry"
        printf '[HKEY_CURRENT_USER\\Software\\Kestrabin\\%d]\n"VID"="%s"\n"PID"="%s"\n"SEL"="%s"\n' $((n++)) "$vid" "$pid" "$sel"
    done >>"$work/store.reg"
    wine regedit /s "$(winpath "$work/store.reg")"
}

# stored WHAT VID,PID,SEL...: the stored exclusion list is keys 0, 1, ... with these entries.
stored() {
    local n=0
    same "$1" "$(for entry in "${@:2}"; do echo "$((n++)): $entry"; done)" stored_now
}
stored_now() {
    wine reg export 'HKCU\Software\Kestrabin' "$(winpath "$work/stored.reg")" /y >/dev/null 2>&1 &&
        iconv -f UTF-16 -t UTF-8 "$work/stored.reg" | tr -d '\r' | awk -F '"' '
        /^\[.*Kestrabin\\/ { sub(/.*\\/, ""); sub(/]$/, ""); keys[++n] = $0 }
        /^"/ { value[n, $2] = $4 }
        END { for (i = 1; i <= n; i++) print keys[i] ": " value[i, "VID"] "," value[i, "PID"] "," value[i, "SEL"] }'
}

# ended CODE: the exe ends by itself (waited for up to 5 s), with CODE.
ended() {
    timeout 5 tail --pid="$app" -f /dev/null
    wait "$app"
    local code=$?
    [ "$code" = "$1" ] || complain "exit code $code, wanted $1"
}

# stop: the exe, unless it has ended, killed; it left no handle or device set open, and nothing it
# asked was refused. Every scenario ends so.
stop() {
    kill "$app" 2>/dev/null
    wait "$app"
    [ "$(grep -c '^open ' "$log")" = "$(grep -c '^close ' "$log")" ] || complain "a handle left open"
    [ "$(grep -c '^set ' "$log")" = "$(grep -c '^unset ' "$log")" ] || complain "a device set left open"
    ! grep -q '^refuse ' "$log" || complain "asked what Windows refuses: $(grep '^refuse ' "$log" | sort -u | paste -sd ' ')"
}

# --- scenarios ---------------------------------------------------------------------------------
# Each drive chosen from the menu is removed as its kind asks, on its USB device, retried after
# vetoes; an ejected drive leaves the menu with every volume of its device. Menus leave no heap
# block or menu behind.
sc_menu_ejects() {
    machine InternalNvme UsbDvdDrive AcmeStick UasSsd UnreadableCardReader DiskWithoutParent StickWithoutSerial \
        TwoVolumeStick NotDisableableDisk LongLabelStick
    start
    pick 2 "E: chosen: vetoed twice, then ejected" "$(menu_of "$D" "$E" "$F" "$J" "$M" "$N" "$O")
$(attempts eject 11 17 17 0)"
    pick 5 "E: gone; N: chosen: its stick ejected" "$(menu_of "$D" "$F" "$J" "$M" "$N" "$O")
$(attempts eject 21 0)"
    pick 1 "N: and O: gone with their stick; D: chosen: vetoed three times" "$(menu_of "$D" "$F" "$J" "$M")
$(attempts eject 13 17 17 17)"
    store 0E8D,1806,77 ,,
    pick 3 "D: hidden; J:, whose USB identity cannot be read, not hidden by an empty entry" "$(menu_of "$F" "$J" "$M")
$(attempts eject 20 0)"
    for _ in 1 2 3 4 5; do drive menu -1; done
    steady "five menus with D: hidden" 5
}

# A start without a USB drive, beside a volume that resolves to no device: the placeholder, on a
# right-click on the tray icon. The About box from the menu; Exit takes the icon away and ends the
# program with 0.
sc_no_usb_drive() {
    machine InternalNvme NetworkShare
    start
    # The icon stands at the right end of the taskbar.
    timeout 10 xdotool mousemove 1012 758 click 3
    expect "a right-click on the icon" "$(menu_of "$NONE")"
    pick 3 "About chosen" $'box Kestrabin: Kestrabin\n        Ver. 1.30\n\n\n        Copyright (C) 2026 Kestrabin developers'
    keys Return
    pick 4 "Exit chosen" "$(menu_of "$NONE")
notify 2 $ICON"
    ended 0
}

# The settings dialog, owned by the main window. A stored device that the dialog's own read missed
# (key 1 does not open) survives its OK; X is a device not attached. Real keys: Tab, the arrows,
# Space, Enter (OK), Escape (Cancel) and Alt+F4 (the close button), two dialogs each with its own.
# Dialogs opened and closed leave no heap block behind.
sc_settings() {
    local x=7777,7777,X7 d=0E8D,1806,77 none=,, f=04E8,61F5,1234567890AB m='05E3,0727,6&348EE156&0&3'
    local rows='[1 D: OPTI DVD-RW] [1 E: ACME STICK] [1 F: SAMSUNG PORTABLE_SSD_T5] [1 J: NONAME CARD] [1 M: GENERIC FLASH_DISK] [1 N: KINGSTON DATATRAVELER_3.0] [1 O: KINGSTON DATATRAVELER_3.0]'
    machine InternalNvme UsbDvdDrive AcmeStick UasSsd UnreadableCardReader StickWithoutSerial TwoVolumeStick
    # The dialog's read is the first: its second key, 1, does not open.
    echo "fail RegOpenKeyExA 2" >>"$work/machine.txt"
    store "$x" "$d" "$none"
    start
    drive send 0x111 106 0
    expect "rows, each text whole: D: unticked, its key not read; J: unreadable" "fail RegOpenKeyExA 2
rows owner=1 focus=1 $rows"
    keys Tab Tab Down Down Down space Down Down space Return
    stored "F: and M: ticked, then Enter: X: and D: kept" "$x" "$d" "$none" "$f" "$m"
    pick 5 "D:, F: and M: hidden; Settings again" "$(menu_of "$E" "$J" "$N" "$O")
rows owner=1 focus=1 $(sed -E 's/\[1 ([DFM]):/[2 \1:/g' <<<"$rows")"
    drive send 0x111 106 0
    keys Tab Tab Down space Return
    stored "in a second dialog, D: unticked, then Enter" "$x" "$none" "$f" "$m"
    keys Escape
    drive gone
    for closing in Escape alt+F4; do
        drive send 0x111 106 0
        keys Tab Tab Down space "$closing"
        # Xvfb loses a key now and then: the closing key once more if the dialog stays.
        timeout 60 wine "$driver" gone >/dev/null 2>&1 || keys "$closing"
        drive gone
    done
    drive menu -1
    steady "four dialogs closed with Enter, Escape and the close button (Alt+F4)" 2
    stored "Escape and the close button store nothing" "$x" "$none" "$f" "$m"
}

# Volume broadcasts: arrivals join the list once, a removal leaves it, a port's record names no
# drive; the menu lists every drive letter and cuts long
# labels; a new taskbar gets the icon again.
sc_broadcasts() {
    local fill=(A B I P R S T U V W X Y Z) i entries=()
    machine UsbDvdDrive AcmeStick UasSsd UnreadableCardReader StickWithoutSerial TwoVolumeStick LongLabelStick
    start
    (echo "volume G disk 6"; sim_machine TwoVolumeStick UasSsd LongLabelStick) >"$work/machine.txt"
    # Thirteen sticks made from the catalogue's AcmeStick, each with its letter, disk and nodes.
    for i in "${!fill[@]}"; do
        sim_machine AcmeStick | sed "s/^volume E disk 1/volume ${fill[i]} disk 3$i/; s/ 1 110 / 3$i 3$i /;
            s/ 110 11 / 3$i 4$i /; s/ 11 0 / 4$i 0 /; s/0123456789/${fill[i]}/g"
        entries+=("ACME STICK(${fill[i]}:)")
    done >>"$work/machine.txt"
    # Every drive of a mask counts: G: and the thirteen sticks, in one broadcast each; D: and E:
    # leave in one; J: and M: leave unannounced, a port leaves.
    drive send 0 0 0 0x219 0x8000 CG 0x219 0x8004 DE 0x219 0x8000 D 0x219 0x8004 COM3 \
        0x219 0x8000 "$(printf %s "${fill[@]}")" TaskbarCreated 0 0
    expect "a new taskbar" "notify 0 $ICON"
    pick 3 "every drive once, in arrival order; G:'s label cut to 127 characters" "$(menu_of "$F" "$N" "$O" \
        "ZETA $(printf 'F%.0s' $(seq 120))(G" "${entries[@]}")
$(attempts eject 21 0)"
}

# Drives that are not one device per letter: a USB floppy drive beside the system disk (both
# numbered 0), a DVD drive whose disc is taken out, a micro:bit whose storage is one function of a
# composite device, and a letter that another volume takes without a broadcast.
sc_devices() {
    local k=0D28,0204,0240000034544E45001A00018AA900292011000097969900
    machine InternalNvme UsbFloppy UsbDvdDrive AcmeStick MicroBit
    start
    pick -1 "A: the floppy drive, never C:" "$(menu_of "$A" "$D" "$E" "$K")"
    # The machine read again at a WM_NULL, and its change broadcast.
    sed -i 's/^volume D cdrom 0$/& empty/' "$work/machine.txt"
    drive send 0 0 0
    pick -1 "D:'s disc taken out: the drive stays" "$(menu_of "$A" "$D" "$E" "$K")"
    machine InternalNvme UsbDvdDrive AcmeStick MicroBit
    drive send 0 0 0 0x219 0x8004 A
    pick -1 "the disc back, the floppy drive gone: C: still not listed" "$(menu_of "$D" "$E" "$K")"
    drive send 0x111 106 0
    keys Tab Tab Down Down Down space Return
    stored "the micro:bit ticked: its composite device stored" "$k"
    pick -1 "the micro:bit hidden" "rows owner=1 focus=1 [1 D: OPTI DVD-RW] [1 E: ACME STICK] [1 K: MBED VFS]
$(menu_of "$D" "$E")"
    drive send 0x111 0x100A 0
    expect "K: ejected through its composite device" "$(attempts eject 23 0)"
    # E: now names a second volume of the system disk; the stick's removal was never broadcast.
    sed -i 's/^volume E disk 1$/volume E disk 0/' "$work/machine.txt"
    drive send 0 0 0
    drive menu -1
    drive send 0x111 106 0
    keys Escape
    expect "K: gone with its device; E: no longer a USB drive" "$(menu_of "$D")
rows owner=1 focus=1 [1 D: OPTI DVD-RW]"
}

# The settings dialog saves the devices its rows showed, whatever holds their letters at OK.
# Stick A (AcmeStick) and stick B (OtherStick) take turns at E:. WM_CLOSE ends the program.
sc_swaps() {
    local a=1234,5678,0123456789 b=1234,5679,B0B0B0B0 row='rows owner=1 focus=1 [1 E: ACME STICK]'
    # at_e DEVICE...: these devices now, E: announced gone and back.
    at_e() { machine "$@"; drive send 0 0 0 0x219 0x8004 E 0x219 0x8000 E; }
    store "$b"
    machine AcmeStick
    start
    drive send 0x111 106 0
    expect "A shown unticked" "$row"
    at_e OtherStick
    keys Return
    stored "B stored, A shown unticked, B at E: by OK: B kept" "$b"
    # B at E: by OK, or nothing: the ticked A is stored.
    for last in OtherStick nothing; do
        store
        at_e AcmeStick
        drive send 0x111 106 0
        expect "A shown" "$row"
        keys Tab Tab Down space
        at_e $last
        keys Return
        stored "A ticked, then $last at E: by OK: A stored" "$a"
    done
    pick -1 "nothing left at E:" "$(menu_of "$NONE")"
    drive send 0x10 0 0
    expect "WM_CLOSE, as taskkill sends it: the icon goes with the window" "notify 2 $ICON"
    ended 0
}

# A start without memory for the drive list ends with 1 and shows no icon.
sc_failed_start() {
    echo "fail HeapAlloc 1" >"$work/machine.txt"
    wine_start "$work/kestrabin.exe" "$work/machine.txt" "$log"
    ended 1
    expect "the drive list not made, no icon" "fail HeapAlloc 1"
}

declare -F "sc_$name" >/dev/null || { echo "no scenario $name"; exit 1; }
# Each scenario starts with nothing stored.
store
"sc_$name"
stop
[ -s "$log" ] || complain "the exe never ran"
[ -z "$why" ] && exit 0
printf '%s(the log: %s)\n' "$why" "$log"
exit 1
