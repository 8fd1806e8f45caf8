#!/usr/bin/env bash
# End to end: the real kestrabin.exe under Wine on a simulated machine. A setupapi.dll of our
# own (setupapi.cpp) answers its device calls and logs what it asked for; a driver
# (driver.cpp) plays the user. Every scenario runs on each exe given, x64 and x86 alike.
#
#   tests/e2e/run.sh [--shots DIR] EXE...
#
# Prints "PASS arch scenario" or "FAIL arch scenario: why" per scenario ("SKIP x86 scenario: why"
# where this machine cannot run 32-bit programs), and "N passed, M failed[, K skipped]" last;
# exits 1 on any failure. --shots DIR: pictures of the x64 exe at work are saved there.
# KESTRABIN_E2E_SCENARIOS="settings ..." runs only those. Logs stay in build/e2e.
set -u
args=("$@")
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=$root/build/e2e
shots=
exes=()
while [ $# -gt 0 ]; do
    case $1 in
        --shots) shots=$(cd "${2:?--shots needs a folder}" && pwd) || exit 2; shift 2 ;;
        -*) sed -n '6,11s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; exit 2 ;;
        *) exes+=("$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"); shift ;;
    esac
done
mkdir -p "$out" || exit 1

# One run at a time per work folder. flock -o: Wine's long-lived processes must not inherit the lock.
if [ -z "${KESTRABIN_E2E_LOCKED:-}" ]; then
    export KESTRABIN_E2E_LOCKED=1
    flock -n "$out/.lock" true || echo "e2e: waiting up to 15 minutes for the other run of the Wine suite in $out" >&2
    flock -o -w 900 -E 75 "$out/.lock" "$BASH" "${BASH_SOURCE[0]}" "${args[@]}"
    status=$?
    [ $status != 75 ] || echo "e2e: $out/.lock is still held by another run after 15 minutes; nothing was tested"
    exit $status
fi
# No display: everything runs under one Xvfb.
if [ -z "${DISPLAY:-}" ]; then
    exec timeout 1200 xvfb-run -a -s "-screen 0 1024x768x24" "$BASH" "${BASH_SOURCE[0]}" "${args[@]}"
fi

started=$SECONDS
declare -A count
die() { echo "e2e: $*"; echo "0 passed, 1 failed"; exit 1; }

. "$root/scripts/wine.sh"
wine_build "$out" "$out/build.log" 2>&1 || die "building the driver or the simulator failed (above)"
wine_env "$out/prefix"
app=
trap 'kill -9 $app 2>/dev/null; timeout 30 wineserver -k >/dev/null 2>&1' EXIT
wine_prefix "$out/wineboot.log" 2>&1 || die "preparing Wine failed (above)"

# --- the simulated machines -------------------------------------------------------------------
# Most scenarios: the system disk, a USB DVD drive, a stick whose first two removals are vetoed,
# a USB SSD, a card reader whose USB instance ID cannot be read, a disk without a parent node, a
# stick without a serial number, a stick with two volumes, a disk that is not disableable, and a
# stick with a long label not mounted yet (devices.txt).
MOST="InternalNvme UsbDvdDrive AcmeStick UasSsd UnreadableCardReader DiskWithoutParent StickWithoutSerial"
MOST+=" TwoVolumeStick NotDisableableDisk LongLabelStick"
machine() { sim_machine "$@" >"$work/machine.txt"; }

# Menu items as the simulator logs them: [id flags text], [-] for a separator.
D='[1003 0 OPTI DVD-RW(D:)]'
E='[1004 0 ACME STICK(E:)]'
F='[1005 0 SAMSUNG PORTABLE_SSD_T5(F:)]'
J='[1009 0 NONAME CARD(J:)]'
G="[1006 0 ZETA $(printf 'F%.0s' $(seq 120))(G]"
M='[100c 0 GENERIC FLASH_DISK(M:)]'
N='[100d 0 KINGSTON DATATRAVELER_3.0(N:)]'
O='[100e 0 KINGSTON DATATRAVELER_3.0(O:)]'
FIXED='[-] [6a 0 設定] [-] [68 0 Kestrabinについて] [-] [69 0 終了]'
# The tray record as registered: icon 128, callback message 1025 (WM_USER + 1), flags, tooltip.
ICON='128 1025 17 USBストレージの取り外し icon=1'
BOX=$'box 0 0 Kestrabin: Kestrabin\n        Ver. 1.30\n\n\n        Copyright (C) 2026 Kestrabin developers'

# --- helpers -----------------------------------------------------------------------------------
fail() { why+="${why:+; }$*"; }

# alive: the program runs. Once it has ended unasked, the next step says so, with Wine's own words,
# and every later step is passed over.
alive() {
    [ -z "$ended" ] && [ -n "$app" ] && kill -0 "$app" 2>/dev/null && return 0
    [ -n "$ended" ] || fail "the exe is not running: $(tr -d '\r' <"${log%.*}.out" | tail -n 2 | paste -sd ' ')"
    ended=1
    return 1
}

# d ARGS: one driver action; the answers to the messages it sends join the log.
d() {
    alive || return 1
    local try
    # Wine now and then fails to start a program at all (ShellExecuteEx): then once more.
    for try in 1 2; do
        KESTRABIN_SIM_LOG=$(winpath "$log") timeout 60 wine "$out/driver.exe" "$@" >"$work/driver.txt" 2>&1 && return 0
        grep -q ShellExecuteEx "$work/driver.txt" || break
    done
    fail "driver $*: $(tr -d '\r' <"$work/driver.txt" | iconv -f CP932 -t UTF-8 -c)"
}

# keys KEY...: real keys, typed on the X display, to the window that has the keyboard. Xvfb gives
# them to the window under the pointer: the pointer goes over the (centred) dialogs first, once
# one of them has the keyboard.
keys() { d focused && { timeout 10 xdotool sleep 0.5 mousemove 500 370 sleep 0.2 mousemove 512 384 sleep 0.2 key --delay 50 "$@" || fail "keys $*"; }; }

# launch: the program on the described machine, logging afresh.
launch() {
    seen=0 ended=
    : >"$log"
    wine_start_simulated "$work/kestrabin.exe" "$work/machine.txt" "$log"
}

# start: launch, then the tray icon (waited for up to 20 s, unless the exe ends).
start() {
    launch
    local end=$((SECONDS + 20))
    until grep -q '^notify ' "$log" || ! alive || [ $SECONDS -ge $end ]; do sleep 0.1; done
    expect "tray icon" "notify 0 $ICON"
}

# stop [CODE]: the program ends, by itself with exit code CODE (waited for up to 5 s) or killed;
# its log must show every handle and device set closed and nothing refused.
stop() {
    [ -n "$app" ] || return 0
    [ -z "${1:-}" ] || timeout 5 tail --pid="$app" -f /dev/null
    kill "$app" 2>/dev/null
    wait "$app"
    local code=$?
    app=
    [ -n "$ended" ] || [ "${1:-$code}" = "$code" ] || fail "exit code $code, wanted $1"
    [ "$(grep -c '^open ' "$log")" = "$(grep -c '^close ' "$log")" ] || fail "a handle left open"
    [ "$(grep -c '^set ' "$log")" = "$(grep -c '^unset ' "$log")" ] || fail "a device set left"
    ! grep -q '^refuse ' "$log" || fail "the simulator refused: $(grep '^refuse ' "$log" | sort -u | paste -sd ' ')"
}

# events: the log's lines not yet checked, without the handle and device-set bookkeeping and the
# tray's mouse moves; a device broadcast's data shows as DATA.
events() {
    tail -n +$((seen + 1)) "$log" | grep -vE '^(open|close|set|unset|labels|counts) |^default 401 80 200 ' |
        sed -E 's/^(default 219 8[0-9a-f]{3}) [0-9a-f]+/\1 DATA/'
}

# expect WHAT LINES: the program's next events are exactly LINES (waited for up to 10 s, as a
# command chosen from the menu is posted); if not, the first event that differs is named.
expect() {
    local got end=$((SECONDS + 10)) n=1
    while got=$(events); [ "$got" != "$2" ] && [ "$SECONDS" -lt "$end" ] && kill -0 "$app" 2>/dev/null; do sleep 0.2; done
    seen=$(wc -l <"$log")
    [ "$got" != "$2" ] && alive || return 0
    while [ "$(sed -n ${n}p <<<"$got")" = "$(sed -n ${n}p <<<"$2")" ]; do n=$((n + 1)); done
    fail "$1: event $n is {$(sed -n ${n}p <<<"$got")}, wanted {$(sed -n ${n}p <<<"$2")}"
}

# steady WHAT N: the heap blocks the exe holds, logged with each menu, are the same at its last N
# menus; the events since the last check are passed over. The adapter counts the exe's own blocks
# only, so Wine's warm-up does not show: a block lost a menu shows within two menus.
steady() {
    local counts
    counts=$(grep '^counts ' "$log" | tail -n "$2" | uniq)
    seen=$(wc -l <"$log")
    [ "$(wc -l <<<"$counts")" = 1 ] || fail "$1: the exe's heap blocks grew: $(paste -sd ' ' <<<"$counts")"
}

# menu_of ITEMS: the tray menu with these drive entries, shown with the window in the foreground.
menu_of() { printf 'menu 2 fg=1 %s %s' "$1" "$FIXED"; }

# passed MSG WPARAM LPARAM...: messages handed to the default processing, which answers 0.
passed() { printf 'default %s %s %s -> 0\nanswer 0\n' "$@"; }

zeros() { printf 'answer 0\n%.0s' $(seq "$1"); }

# attempts CALL NODE ANSWER...: the log of a removal whose attempts get these answers; a refused
# attempt is followed by the pause.
attempts() {
    printf "$1 $2 veto=1 name=0 length=0 flags=0 -> %s\nsleep 200\n" "${@:3}" | sed '/-> 0$/{n;d}'
}

# registry VID,PID,SEL...: the stored exclusion list becomes these entries.
registry() { wine_exclusions "$work/set.reg" "$@" || fail "regedit failed"; }

# stored WHAT VALUES...: the stored exclusion list, as regedit exports it, is keys 0, 1, ... with
# these values (" NAME=DATA..." each); waited for up to 10 s, as typed keys take their time.
stored() {
    alive || return 0
    local got want= n=0 values end=$((SECONDS + 10))
    for values in "${@:2}"; do want+="${want:+ }$((n++)):$values"; done
    while
        rm -f "$work/stored.reg"
        timeout 60 wine regedit /E "$(winpath "$work/stored.reg")" 'HKEY_CURRENT_USER\SOFTWARE\Kestrabin' >/dev/null 2>&1
        got=$(iconv -f UTF-16LE -t UTF-8 "$work/stored.reg" 2>/dev/null | tr -d '\r' |
            sed -nE 's/^\[.*\\([0-9]+)\]$/\1:/p; s/^"(.*)"="(.*)"$/\1=\2/p' | paste -sd ' ')
        [ "$got" != "$want" ] && [ "$SECONDS" -lt "$end" ]
    do sleep 0.5; done
    [ "$got" = "$want" ] || fail "$1: stored {$got}, wanted {$want}"
}

shot() {
    [ -n "$shots" ] && [ "$arch" = x64 ] || return 0
    sleep 0.5
    timeout 30 import -window root -crop "$2" +repage -define png:exclude-chunks=date,time "$shots/$1" ||
        fail "picture $1 not taken"
}

scenario() {
    name=$1 why= log=$work/$1.log
    machine $MOST
    registry
    "sc_${name//-/_}"
    stop
    local verdict=PASS
    [ -z "$why" ] || verdict=FAIL
    # Xvfb loses a typed key now and then: a failure counts only when it comes twice running.
    if [ $verdict = FAIL ] && [ -z "${2:-}" ]; then
        echo "again $arch $name after: $why" >&2
        scenario "$name" again
        return
    fi
    echo "$verdict $arch $name${why:+: $why (log: $log)}"
    count[$verdict]=$((${count[$verdict]:-0} + 1))
}

# --- scenarios ---------------------------------------------------------------------------------
# The scan comes before the icon. Whatever the window does not handle goes to the default
# processing, its answer returned: WM_COMMAND 0, 0xFFF and 107 with code 3, device broadcasts
# other than a volume's arrival or removal, tray notifications other than a right-button release
# (only icon 128's count), WM_GETTEXTLENGTH (the title's length). Each drive's removal as its kind
# asks for, on its USB device, retried after vetoes; an ejected drive leaves the menu with every
# volume of its device. Menus with a drive excluded leave no heap behind. WM_CLOSE ends with 0.
sc_menu_eject() {
    start
    ! alive || [ "$(grep -m1 -oE '^(open|notify) ' "$log")" = "open " ] || fail "the icon came before the scan"
    d send 0x111 0 0 0x111 0xFFF 0 0x111 0x3006B 0 0x219 7 0 0x219 0x8001 0 0x219 0x8000 port 0x219 0x8004 port \
        0x401 128 0x202 0x401 128 0x203 0x401 128 0x204 0x401 127 0x205 0xE 0 0
    expect "answers" "$(passed 111 0 0 111 fff 0 111 3006b 0 219 7 0 219 8001 DATA)
$(zeros 2)
$(passed 401 80 202 401 80 203 401 80 204)
answer 0
answer 8"
    d menu 2
    expect "E: chosen: vetoed twice, then ejected" "$(menu_of "$D $E $F $J $M $N $O")
$(attempts eject 11 17 17 0)"
    d menu 2
    expect "E: gone; F:, a USB SSD, chosen: its USB device ejected" "$(menu_of "$D $F $J $M $N $O")
$(attempts eject 16 0)"
    d menu 4
    expect "N: chosen: its stick ejected" "$(menu_of "$D $J $M $N $O")
$(attempts eject 21 0)"
    d menu 1
    expect "N: and O: gone with their stick; D: chosen: vetoed three times" "$(menu_of "$D $J $M")
$(attempts eject 13 17 17 17)"
    d send 0x111 0x1002 0 0x111 0x100B 0 0x111 0x101F 0 0x111 0x1030 0
    expect "C: not removable, refused to a standard user; L:, no drive: nothing; 0x1030: Q:, not disableable" "$(attempts query-remove 10 33 33 33)
$(zeros 3)
$(attempts eject 12 0)
answer 0"
    registry 0E8D,1806,77
    d menu 1
    expect "D: excluded; J:'s unreadable USB identity is not taken for D:'s" "$(menu_of "$J $M")
$(attempts eject 17 0)"
    d menu -1 5
    steady "five menus with D: excluded" 5
    d send 0x10 0 0
    expect "WM_CLOSE: the icon is left to Explorer" "answer 0"
    stop 0
}

# The settings dialog, owned by the main window. A stored device that the dialog's own read missed
# (key 1 does not open) survives its OK.
# X: a device not attached; the empty entry matches any identity left empty (J:'s, in the menu).
# Real keys: Tab, the arrows, Space, Enter (OK), Escape (Cancel) and Alt+F4 (the close
# button), two dialogs each with its own. Dialogs opened and closed leave no heap behind.
sc_settings() {
    local x=' PID=7777 SEL=X7 VID=7777' d=' PID=1806 SEL=77 VID=0E8D' none=' PID= SEL= VID='
    local f=' PID=61F5 SEL=1234567890AB VID=04E8' m=' PID=0727 SEL=6&348EE156&0&3 VID=05E3'
    registry 7777,7777,X7 0E8D,1806,77 ,,
    echo "fail RegOpenKeyExA 2" >>"$work/machine.txt"
    start
    d send 0x111 106 0
    expect "rows: D: unticked, its key not read; J: unreadable" "fail RegOpenKeyExA 2
rows owner=1 focus=1 [1 D: OPTI DVD-RW] [1 E: ACME STICK] [1 F: SAMSUNG PORTABLE_SSD_T5] [1 J: NONAME CARD] [1 M: GENERIC FLASH_DISK] [1 N: KINGSTON DATATRAVELER_3.0] [1 O: KINGSTON DATATRAVELER_3.0]
answer 0"
    ! alive || grep -m1 '^labels ' "$log" | awk '{ for (i = 2; i <= NF; i++) { split($i, w, "/"); cut += w[1] > w[2] } } END { exit cut || !NR }' ||
        fail "a label or a column does not show its whole text (text/room in pixels): $(grep -m1 '^labels ' "$log")"
    d send dialog 0x111 0x10001 0
    d key list /
    expect "OK with notification 1 is no click; Alt+/ to the list opens no About box" "answer 0
default 111 fff 0 -> 0"
    keys Tab Tab Down Down Down space Down Down space Return
    stored "F: and M: ticked, then Enter: X: and D: kept" "$x" "$d" "$none" "$f" "$m"
    d menu 4
    expect "D:, F:, M: (and J:) excluded; Settings again" "$(menu_of "$E $N $O")
rows owner=1 focus=1 [2 D: OPTI DVD-RW] [1 E: ACME STICK] [2 F: SAMSUNG PORTABLE_SSD_T5] [1 J: NONAME CARD] [2 M: GENERIC FLASH_DISK] [1 N: KINGSTON DATATRAVELER_3.0] [1 O: KINGSTON DATATRAVELER_3.0]"
    shot settings.png 400x340+312+200
    d send 0x111 106 0
    keys Tab Tab Down space Return
    stored "in a second dialog, D: unticked, then Enter" "$x" "$none" "$f" "$m"
    keys Escape
    d gone
    d send 0x111 106 0
    keys Tab Tab Down space Return
    stored "D: ticked, then Enter" "$x" "$none" "$f" "$m" "$d"
    for closing in Escape alt+F4 Escape alt+F4; do
        d send 0x111 106 0
        keys Tab Tab Down space "$closing"
        # Xvfb loses a key now and then: the closing key once more if the dialog stays.
        KESTRABIN_SIM_LOG=$(winpath "$log") timeout 60 wine "$out/driver.exe" gone >/dev/null 2>&1 || keys "$closing"
        d gone
    done
    d menu -1
    steady "seven dialogs closed with Enter, Escape and the close button (Alt+F4)" 2
    stored "Escape and the close button store nothing" "$x" "$none" "$f" "$m" "$d"
}

# Volume broadcasts: arrivals of tracked kinds join the list once, a removal leaves it, a record
# too short for its unit mask names no drive; the menu lists every drive letter and cuts long
# labels; a new taskbar gets the icon again.
sc_broadcasts() {
    local fill=(A B I P R S T U V W X Y Z) i entries=
    start
    echo "volume G disk 6" >>"$work/machine.txt"
    sed -i '/^volume D/d' "$work/machine.txt"
    for i in "${!fill[@]}"; do
        printf 'volume %s disk 3%s\niface disk 3%s 3%s 1\nnode 3%s 4%s 0 USBSTOR\\DISK&VEN_ACME&PROD_STICK&REV_1.00\\%s&0\n' \
            "${fill[i]}" $i $i $i $i $i "${fill[i]}"
        printf 'node 4%s 0 6000 USB\\VID_1234&PID_5678\\%s\n' $i "${fill[i]}"
        entries+=" $(printf '[%x 0 ACME STICK(%s:)]' $((0x1000 + $(printf '%d' "'${fill[i]}") - 65)) "${fill[i]}")"
    done >>"$work/machine.txt"
    # Every drive of a mask counts: G: (not C:, which is not tracked). D:, pulled out, adds nothing.
    d send 0x219 0x8000 CG 0x219 0x8004 D 0x219 0x8000 D
    # D: back without a word: a removal not handled, or an absent volume tracked, would show it.
    echo "volume D cdrom 0" >>"$work/machine.txt"
    # E: announced again, as Windows announces a card put into a reader's slot; the thirteen sticks
    # in one broadcast. Under 32-bit Wine the bytes behind a short record are the last record's: a
    # program reading past it removes every drive.
    d send 0x219 0x8000 E 0x219 0x8000 "$(printf %s "${fill[@]}")" 0x219 0x8004 short TaskbarCreated 0 0
    expect "answers" "$(zeros 6)
notify 0 $ICON
answer 0"
    d menu 7
    expect "every drive once, in arrival order; G:'s label cut to 127 characters" "$(menu_of "$E $F $J $M $N $O $G$entries")
$(attempts eject 18 0)"
}

# The About box from the menu and from Alt+? (Alt+/ is tried on the settings list); two drives
# arrive (listed in arrival order); Exit removes the icon and ends the program with 0.
sc_about_exit() {
    : >"$work/machine.txt"
    start
    d menu 3
    expect "About chosen" "$(menu_of '[0 0 接続されていません]')
$BOX"
    d press 1
    d key '?'
    expect "Alt+?" "$BOX
default 111 fff 0 -> 0"
    d press 1
    machine AcmeStick UsbDvdDrive
    d send 0x219 0x8000 E 0x219 0x8000 D
    timeout 10 xdotool mousemove 1000 740
    d menu 0
    shot tray-menu.png 320x200+704+568
    d menu 5
    expect "Exit chosen" "$(zeros 2)
$(menu_of "$E $D")
notify 2 $ICON"
    stop 0
}

# Drives that are not one device per letter: a USB floppy drive beside the system disk (both
# numbered 0), a DVD drive whose disc is taken out, a micro:bit whose storage is one function of a
# composite device, and a letter that another volume takes without a broadcast.
sc_devices() {
    local k=' PID=0204 SEL=0240000034544E45001A00018AA900292011000097969900 VID=0D28'
    local a='[1000 0 TEAC FD-05PUW(A:)]' k2='[100a 0 MBED VFS(K:)]'
    machine InternalNvme UsbFloppy UsbDvdDrive AcmeStick MicroBit
    start
    d menu -1
    expect "A: the floppy drive, never C:" "$(menu_of "$a $D $E $k2")"
    # The machine read again at a WM_NULL, and its change broadcast.
    sed -i 's/^volume D cdrom 0$/& empty/' "$work/machine.txt"
    d send 0 0 0
    sleep 1
    d menu -1
    expect "D:'s disc taken out: the drive stays" "answer 0
$(menu_of "$a $D $E $k2")"
    machine InternalNvme UsbDvdDrive AcmeStick MicroBit
    d send 0 0 0 0x219 0x8004 A
    sleep 1
    d menu -1
    expect "the disc back, the floppy drive gone: C: still not listed" "$(zeros 2)
$(menu_of "$D $E $k2")"
    d send 0x111 106 0
    keys Tab Tab Down Down Down space Return
    stored "the micro:bit ticked: its composite device stored" "$k"
    d menu -1
    expect "the micro:bit hidden" "rows owner=1 focus=1 [1 D: OPTI DVD-RW] [1 E: ACME STICK] [1 K: MBED VFS]
answer 0
$(menu_of "$D $E")"
    d send 0x111 0x100A 0
    expect "K: ejected through its composite device" "$(attempts eject 23 0)
answer 0"
    # E: now names a second volume of the system disk; the stick's removal was never broadcast.
    sed -i 's/^volume E disk 1$/volume E disk 0/' "$work/machine.txt"
    d menu -1
    d send 0x111 106 0
    keys Escape
    expect "K: gone with its device; E: no longer a USB drive" "$(menu_of "$D")
rows owner=1 focus=1 [1 D: OPTI DVD-RW]
answer 0"
}

# The settings dialog saves the devices its rows showed, whatever holds their letters at OK.
# Stick A (AcmeStick) and stick B (OtherStick) take turns at E:.
sc_swaps() {
    local a=' PID=5678 SEL=0123456789 VID=1234' b=' PID=5679 SEL=B0B0B0B0 VID=1234'
    # at_e DEVICE...: these devices now, E: announced gone and back.
    at_e() { machine "$@"; d send 0x219 0x8004 E 0x219 0x8000 E; }
    registry 1234,5679,B0B0B0B0
    machine AcmeStick
    start
    d send 0x111 106 0
    at_e OtherStick
    keys Return
    stored "B stored, A shown unticked, B at E: by OK: B kept" "$b"
    # B at E: by OK, or nothing (no device of that name): the ticked A is stored.
    for last in OtherStick nothing; do
        registry
        at_e AcmeStick
        d send 0x111 106 0
        keys Tab Tab Down space
        at_e $last
        keys Return
        stored "A ticked, then $last at E: by OK: A stored" "$a"
    done
    d menu -1
    expect "three dialogs, each showing A" "rows owner=1 focus=1 [1 E: ACME STICK]
answer 0
$(zeros 4)
rows owner=1 focus=1 [1 E: ACME STICK]
answer 0
$(zeros 4)
rows owner=1 focus=1 [1 E: ACME STICK]
answer 0
$(zeros 2)
$(menu_of '[0 0 接続されていません]')"
}

# A start without memory for the drive list ends with 1 and shows no icon.
sc_failed_start() {
    echo "fail HeapAlloc 1" >"$work/machine.txt"
    launch
    stop 1
    expect "the drive list not made, no icon" "fail HeapAlloc 1"
}

for exe in "${exes[@]}"; do
    arch=x64
    x86_64-w64-mingw32-objdump -f "$exe" | grep -q 'pei-i386' && arch=x86
    work=$out/$arch
    cp "$exe" "$work/kestrabin.exe" || die "no exe at $exe"
    for s in ${KESTRABIN_E2E_SCENARIOS:-menu-eject settings broadcasts devices swaps about-exit failed-start}; do
        if [ $arch = x86 ] && [ -n "$wine32_missing" ]; then
            echo "SKIP x86 $s: this machine cannot run 32-bit programs ($wine32_missing)"
            count[SKIP]=$((${count[SKIP]:-0} + 1))
        else
            scenario "$s"
        fi
    done
done
echo "e2e: $((SECONDS - started)) s, logs in $out" >&2
echo "${count[PASS]:-0} passed, ${count[FAIL]:-0} failed${count[SKIP]:+, ${count[SKIP]} skipped}"
[ -z "${count[FAIL]:-}" ] && [ -n "${count[PASS]:-}" ]
