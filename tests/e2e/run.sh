#!/usr/bin/env bash
# End to end: the real kestrabin.exe under Wine on a simulated machine. A setupapi.dll of our
# own (setupapi.cpp) answers its device calls and logs what it asked for; a driver
# (driver.cpp) plays the user. Every scenario runs on each exe given, x64 and x86 alike.
#
#   tests/e2e/run.sh [--shots DIR] EXE...
#
# Prints "PASS arch scenario" or "FAIL arch scenario: why" per scenario and "N passed, M failed"
# last; exits 1 on any failure. --shots DIR: pictures of the x64 exe at work are saved there.
# Logs stay in build/e2e.
# shellcheck disable=SC2317  # the re-exec lines below make shellcheck think the rest is unreachable
set -u
args=("$@")
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=$root/build/e2e
shots=
exes=()
while [ $# -gt 0 ]; do
    case $1 in
        --shots) shots=$(cd "${2:?--shots needs a folder}" && pwd) || exit 2; shift 2 ;;
        -*) sed -n '6,9s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; exit 2 ;;
        *) exes+=("$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"); shift ;;
    esac
done
mkdir -p "$out" || exit 1

# One run at a time per work folder. flock -o: Wine's long-lived processes must not inherit the lock.
if [ -z "${KESTRABIN_E2E_LOCKED:-}" ]; then
    export KESTRABIN_E2E_LOCKED=1
    exec flock -o -w 900 "$out/.lock" "$BASH" "${BASH_SOURCE[0]}" "${args[@]}"
fi
# No display: everything runs under one Xvfb.
if [ -z "${DISPLAY:-}" ]; then
    exec timeout 1200 xvfb-run -a -s "-screen 0 1024x768x24" "$BASH" "${BASH_SOURCE[0]}" "${args[@]}"
fi

started=$SECONDS
passed=0
failed=0
die() { echo "e2e: $*"; echo "0 passed, 1 failed"; exit 1; }

. "$root/scripts/wine.sh"
wine_build "$out" "$out/build.log" || die "building the driver or the simulator failed: $(tail -n 5 "$out/build.log")"
# The resources as compiled from the script: the host build's .res.
res=$root/build/host/kestrabin.res
(cd "$root" && cmake --preset host && cmake --build --preset host --target kestrabin_res) >"$out/res.log" 2>&1 ||
    die "compiling the resources failed: $(tail -n 5 "$out/res.log")"
wine_env "$out/prefix"
app=
trap 'kill -9 $app 2>/dev/null; timeout 30 wineserver -k >/dev/null 2>&1' EXIT
wine_prefix "$out/wineboot.log" || die "creating the Wine prefix failed: $(tail -n 3 "$out/wineboot.log")"

# --- the simulated machine ---------------------------------------------------------------------
# C: an internal disk; D: a USB DVD drive that refuses removal; E: a USB stick whose first two
# removals are vetoed; F: a USB disk whose hub node is removable but not disableable; G: a USB
# floppy drive numbered like a disk; H: a volume whose number query fails; I: a disk whose
# interface is not present; J: a USB card reader whose USB instance ID cannot be read; L: a disk
# without a parent node.
base_machine() {
    cat <<'EOF'
volume C disk 0
volume D cdrom 0
volume E disk 1
volume F disk 2
volume G disk 3
volume H fail 0
volume I disk 4
volume J disk 5
volume L disk 7
iface disk 0 100 1
iface cdrom 0 130 1
iface disk 1 110 1
iface disk 2 120 1
iface floppy 3 140 1
iface disk 3 150 1
iface disk 4 160 0
iface disk 5 170 1
iface disk 7 190 1
node 100 10 0 SCSI\DISK&VEN_ATA&PROD_INTERNAL&REV_1.0\4&0&0
node 10 0 2000 PCI\VEN_8086&DEV_2922\3&0
node 130 13 0 USBSTOR\CDROM&VEN_OPTI&PROD_DVD-RW&REV_2.00\77&0
node 13 0 6000 USB\VID_0E8D&PID_1806\77 17
node 110 11 0 USBSTOR\DISK&VEN_ACME&PROD_STICK&REV_1.00\0123456789&0
node 11 0 6000 USB\VID_1234&PID_5678\0123456789 17 17 0
node 120 12 0 USBSTOR\DISK&VEN_BIG&PROD_DISK&REV_0.1\BD1&0
node 12 0 4000 USB\VID_4444&PID_0001\BD1
node 140 14 0 USBSTOR\SFLOPPY&VEN_TEAC&PROD_FD-05PUB&REV_3000\F1&0
node 14 0 6000 USB\VID_0644&PID_0000\F1
node 150 15 0 USBSTOR\DISK&VEN_WRONG&PROD_DISK&REV_1\W&0
node 15 0 6000 USB\VID_9999&PID_9999\W
node 160 16 0 USBSTOR\DISK&VEN_GONE&PROD_DISK&REV_1\G&0
node 16 0 6000 USB\VID_8888&PID_8888\G
node 170 17 0 USBSTOR\DISK&VEN_NONAME&PROD_CARD&REV_0.1\9&0
node 17 0 6000 -
node 190 0 0 USBSTOR\DISK&VEN_LOST&PROD_DISK&REV_1\L&0
EOF
}

# Menu items as the simulator logs them: [id flags text], [-] for a separator.
D='[1003 0 OPTI DVD-RW(D:)]'
E='[1004 0 ACME STICK(E:)]'
G='[1006 0 TEAC FD-05PUB(G:)]'
J='[1009 0 NONAME CARD(J:)]'
K='[100a 0 ZETA FLASH(K:)]'
FIXED='[-] [6a 0 設定] [-] [68 0 Kestrabinについて] [-] [69 0 終了]'
ICON='128 17 USBストレージの取り外し'

# --- helpers -----------------------------------------------------------------------------------
fail() { why+="${why:+; }$*"; }

# d ARGS: one driver action.
d() {
    timeout 60 wine "$out/driver.exe" "$@" >"$work/driver.txt" 2>&1 || fail "driver $*: $(tr -d '\r' <"$work/driver.txt")"
}

start() {
    log=$work/$name.log
    seen=0
    rm -f "$log"
    wine_start_simulated "$work/kestrabin.exe" "$work/machine.txt" "$log"
    d wait
    expect "tray icon" "notify 0 $ICON"
}

stop() {
    [ -n "$app" ] || return 0
    kill "$app" 2>/dev/null
    wait "$app" 2>/dev/null
    app=
}

# events: the log's lines not yet checked, in UTF-8, handle and device-set bookkeeping aside.
events() { tail -n +$((seen + 1)) "$log" | iconv -f CP932 -t UTF-8 | grep -vE '^(open|close|set|unset) '; }

# expect WHAT LINES: the program's next events are exactly LINES (waited for up to 10 s, as
# a command chosen from the menu is posted).
expect() {
    local got end=$((SECONDS + 10))
    while got=$(events); [ "$got" != "$2" ] && [ "$SECONDS" -lt "$end" ]; do sleep 0.2; done
    [ "$got" = "$2" ] || fail "$1: got {${got//$'\n'/ | }}, wanted {${2//$'\n'/ | }}"
    seen=$(wc -l <"$log")
}

# attempts CALL NODE ANSWER...: the log of a removal whose attempts get these answers.
attempts() {
    local call=$1 node=$2 answer
    shift 2
    for answer in "$@"; do
        echo "$call $node veto=1 name=0 length=0 flags=0 -> $answer"
        [ "$answer" = 0 ] || echo "sleep 200"
    done
}

# registry VID,PID,SEL...: the stored exclusion list becomes these entries.
registry() {
    local n=0 entry vid pid sel
    {
        printf 'REGEDIT4\n\n[-HKEY_CURRENT_USER\\SOFTWARE\\Kestrabin]\n'
        for entry in "$@"; do
            IFS=, read -r vid pid sel <<<"$entry"
            printf '\n[HKEY_CURRENT_USER\\SOFTWARE\\Kestrabin\\%d]\n"VID"="%s"\n"PID"="%s"\n"SEL"="%s"\n' \
                $((n++)) "$vid" "$pid" "$sel"
        done
    } >"$work/set.reg"
    timeout 60 wine regedit /S "$(winpath "$work/set.reg")" || fail "regedit failed"
}

# stored WHAT ENTRIES: what wine reg query shows under the key, one "N: NAME=DATA..." a key.
stored() {
    timeout 60 wine reg query 'HKCU\SOFTWARE\Kestrabin' /s >"$work/query.txt" 2>&1
    local got
    got=$(iconv -f CP932 -t UTF-8 "$work/query.txt" | tr -d '\r' | awk '
        /^HKEY.*\\[0-9]+$/ { sub(/.*\\/, ""); printf "%s%s:", n++ ? " " : "", $0 }
        /^ +[A-Z]+ +REG_/ { printf " %s=%s%s", $1, $2 == "REG_SZ" ? "" : $2 ":", $3 }')
    [ "$got" = "$2" ] || fail "$1: stored {$got}, wanted {$2}"
}

shot() {
    [ -n "$shots" ] && [ "$arch" = x64 ] || return 0
    sleep 0.5
    timeout 30 import -window root -crop "$2" +repage -define png:exclude-chunks=date,time "$shots/$1" ||
        fail "picture $1 not taken"
}

scenario() {
    name=$1
    why=
    log=
    base_machine >"$work/machine.txt"
    registry
    "sc_${name//-/_}"
    stop
    if [ -f "$log" ]; then
        local opened closed refused
        opened=$(grep -c '^open ' "$log")
        closed=$(grep -c '^close ' "$log")
        [ "$opened" = "$closed" ] || fail "$opened handles opened, $closed closed"
        opened=$(grep -c '^set ' "$log")
        closed=$(grep -c '^unset ' "$log")
        [ "$opened" = "$closed" ] || fail "$opened device sets made, $closed destroyed"
        refused=$(grep '^refuse ' "$log" | sort | uniq -c | paste -sd ' ')
        [ -z "$refused" ] || fail "the simulator refused: $refused"
    fi
    if [ -z "$why" ]; then
        echo "PASS $arch $name"
        passed=$((passed + 1))
    else
        echo "FAIL $arch $name: $why (log: ${log:-none})"
        failed=$((failed + 1))
    fi
}

# --- scenarios ---------------------------------------------------------------------------------
# The exe holds exactly the compiled resources and imports Windows' own DLLs only. Both sides
# go through windres's object writer: it keeps what an exe keeps (not the memory flags).
sc_exe() {
    local file dlls
    for file in "$res" "$work/kestrabin.exe"; do
        if ! x86_64-w64-mingw32-windres -i "$file" -O coff -o "$file.o" ||
            ! x86_64-w64-mingw32-objcopy -O binary -j .rsrc "$file.o" "$file.rsrc"; then
            fail "windres cannot read $file"
        fi
    done
    cmp -s "$res.rsrc" "$work/kestrabin.exe.rsrc" ||
        fail "resources differ from the compiled ones: $(diff <(rc "$res") <(rc "$work/kestrabin.exe") | head -c 300)"
    dlls=$(x86_64-w64-mingw32-objdump -p "$work/kestrabin.exe" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]' | sort | paste -sd ' ')
    [ "$dlls" = "advapi32.dll comctl32.dll kernel32.dll msvcrt.dll setupapi.dll shell32.dll user32.dll" ] ||
        fail "imports $dlls"
}
rc() { x86_64-w64-mingw32-windres -i "$1" -O rc | sed -E 's/ (MOVEABLE|PURE|DISCARDABLE)//g'; }

sc_menu_eject() {
    start
    d menu 2
    expect "E: chosen: vetoed twice, then ejected" "menu 2 $D $E $G $J $FIXED
$(attempts eject 11 17 17 0)"
    d menu 1
    expect "D: chosen: vetoed three times" "menu 2 $D $E $G $J $FIXED
$(attempts eject 13 17 17 17)"
    d cmd 0x1002
    expect "C:, whose parent is not removable" "$(attempts query-remove 10 0)"
    d cmd 0x1005
    expect "F:, removable but not disableable" "$(attempts eject 12 0)"
    d cmd 0x1007
    d cmd 0x1008
    d cmd 0x100B
    d cmd 0x101F
    expect "H:, I:, L: and no drive at all request nothing" ""
    registry 0644,0000,F1
    d menu 3
    expect "G: excluded; J:'s unreadable USB identity is not taken for G:'s" "menu 2 $D $E $J $FIXED
$(attempts eject 17 0)"
}

sc_settings() {
    # The second entry matches any identity left empty.
    registry 1234,5678,0123456789 ,,
    start
    d cmd 106
    expect "rows: E: ticked as stored, J: unreadable and unticked" \
        "rows [1 D: OPTI DVD-RW] [2 E: ACME STICK] [1 G: TEAC FD-05PUB] [1 J: NONAME CARD]"
    d tick 0 2
    d tick 1 1
    shot settings.png 400x340+312+200
    d press 1
    stored "OK with D: ticked" "0: PID=1806 SEL=77 VID=0E8D"
    d menu 3
    expect "D: gone from the next menu" "menu 2 $E $G $J $FIXED
$(attempts eject 17 0)"
    d cmd 106
    expect "rows: D: ticked as stored" "rows [2 D: OPTI DVD-RW] [1 E: ACME STICK] [1 G: TEAC FD-05PUB] [1 J: NONAME CARD]"
    d tick 2 2
    d press 2
    stored "Cancel" "0: PID=1806 SEL=77 VID=0E8D"
}

sc_broadcasts() {
    start
    cat >>"$work/machine.txt" <<'EOF'
volume K disk 6
iface disk 6 180 1
node 180 18 0 USBSTOR\DISK&VEN_ZETA&PROD_FLASH&REV_1\K1&0
node 18 0 6000 USB\VID_AAAA&PID_BBBB\K1
EOF
    # Only the lowest drive of a mask counts: F:, which is not tracked.
    d dev arrive FK
    d dev arrive K
    d dev arrive port
    # E: pulled out (its arrival now adds nothing), then plugged in again.
    sed -i '/^volume E/d' "$work/machine.txt"
    d dev remove E
    d dev arrive E
    echo "volume E disk 1" >>"$work/machine.txt"
    d dev arrive E
    d menu 4
    expect "K: arrived, E: removed and back" "menu 2 $D $G $J $K $E $FIXED
$(attempts eject 18 0)"
}

# No drive at first: the placeholder; the About box (closed by its OK button); two drives
# arrive (listed in arrival order); Exit removes the icon and ends the program with 0.
sc_about_exit() {
    : >"$work/machine.txt"
    start
    d menu 3
    expect "About chosen" "menu 2 [0 0 接続されていません] $FIXED"
    d press 1
    base_machine >"$work/machine.txt"
    d dev arrive E
    d dev arrive D
    command -v xdotool >/dev/null && timeout 10 xdotool mousemove 1000 740
    d menu 0
    shot tray-menu.png 320x200+704+568
    d menu 5
    expect "Exit chosen" "menu 2 $E $D $FIXED
notify 2 $ICON"
    local code=running
    for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$app" 2>/dev/null || { wait "$app"; code=$?; app=; }
    [ "$code" = 0 ] || fail "exit code $code"
}

for exe in "${exes[@]}"; do
    arch=x64
    x86_64-w64-mingw32-objdump -f "$exe" | grep -q 'pei-i386' && arch=x86
    work=$out/$arch
    cp "$exe" "$work/kestrabin.exe" || die "no exe at $exe"
    for s in exe menu-eject settings broadcasts about-exit; do scenario "$s"; done
done
echo "e2e: $((SECONDS - started)) s, logs in $out" >&2
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
