// Fuzz target: the program from WinMain under a stream of steps, each one turn
// of its message loop: volume broadcasts, commands, tray menus and a choice in
// them, settings dialogs and their rows, drives plugged and pulled, instance
// IDs and registry values of any bytes, refused removals, failing platform
// calls, keys. After every step the tracked list is well linked with strings
// that fit their 4 bytes, the heap holds the list and nothing else, nothing is
// left open and the platform saw no misuse.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "../../platform/host/machine.h"
#include "../../app/app.h"
#include "../../drives/drives.h"

using machine::M;

static void Expect(bool holds, const char* what)
{
    if (!holds) {
        fprintf(stderr, "%s\n", what);
        abort();
    }
}

static void Check()
{
    size_t count = 0;
    const DriveNode* previous = nullptr;
    for (const DriveNode* node = GetTrackedDriveList()->first; node; previous = node, node = node->next)
        Expect(++count < 99 && node->prev == previous && memchr(node->data, 0, 4), "a tracked node is broken");
    Expect(GetTrackedDriveList()->last == previous && M().heapBlocks.size() == 1 + 2 * count, "list's end or heap");
    Expect(!machine::OpenHandles() && M().errors.empty(), M().errors.empty() ? "left open" : M().errors[0].c_str());
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    machine::Reset();
    M().logging = false;
    machine::UsbDrive drives[3]; // E, F and G; F plugged at start
    for (int i = 0; i < 3; i++)
        drives[i] = machine::AddUsbDrive('E' + i, i, "USBSTOR\\DISK&VEN_V&PROD_P&REV_1\\0", "USB\\VID_1&PID_2\\S");
    M().volumes.erase('E');
    M().volumes.erase('G');
    size_t at = 0;
    auto byte = [&] { return at < size ? data[at++] : 0; };
    int choice = -1;
    M().onMenu = [&](const machine::ShownMenu&) { return choice; };
    // One step: an action chosen by its first byte, with two bytes and a text of its own.
    uint8_t what, a, b;
    std::string text;
    HWND main = nullptr;
    auto dialog = [] {
        return machine::WindowsOfClass("#32770").empty() ? nullptr : machine::WindowsOfClass("#32770")[0];
    };
    auto drive = [&] { return drives[a % 3]; };
    auto fault = [&] { return (machine::Fault)(a % (int)machine::Fault::Count); };
    const char* names[] = {"VID", "PID", "SEL", "sel"};
    DWORD volume[5] = {20, DBT_DEVTYP_VOLUME, 0, 0, 0};
    const std::function<void()> actions[] = {
        [&] { SendMessageA(main, WM_DEVICECHANGE, b & 1 ? 0x8000 : 0x8004, (LPARAM)volume); },
        [&] { SendMessageA(main, WM_COMMAND, a | b << 8, 0); },
        [&] { PostMessageA(main, b & 1 ? WM_SYSCHAR : WM_CHAR, a, b & 1 ? 1 << 29 : 0); },
        [&] {
            choice = b % 12 - 2;
            SendMessageA(main, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_RBUTTONUP);
        },
        [&] { machine::ClickButton(dialog(), b & 1 ? IDOK : IDCANCEL); },
        [&] { machine::SetRowTicked(GetDlgItem(dialog(), IDC_EXCLUSION_LIST), a % 8, b & 1); },
        [&] { // a drive pulled out, or plugged in again
            if (!M().volumes.erase('E' + a % 3))
                machine::AddVolume('E' + a % 3, a % 3);
        },
        [&] { M().nodes[b & 1 ? drive().disk : drive().usb].instanceId = text; },
        [&] { machine::SetRegValue("SOFTWARE\\Kestrabin\\" + std::to_string(a % 4), names[b % 4], b >> 5, text); },
        [&] { machine::FailCall(fault(), machine::CallCount(fault()) + 1 + b % 8); },
        [&] { M().nodes[drive().usb].status ^= b & 1 ? DN_REMOVABLE : DN_DISABLEABLE; },
        [&] { M().nodes[drive().usb].removalAnswers.push_back(b & 1 ? CR_REMOVE_VETOED : CR_FAILURE); }};
    std::function<void()> step = [&] {
        Check();
        main = main ? main : machine::WindowsOfClass("MORVANTO").at(0);
        if (at >= size || !machine::FindWindowByHandle(main))
            return;
        what = byte(), a = byte(), b = byte();
        size_t length = byte();
        length = std::min(length, size - at);
        text.assign((const char*)data + at, length);
        at += length;
        volume[1] = b & 0x80 ? b & 7u : DBT_DEVTYP_VOLUME;
        volume[3] = 1u << (a % 32 % 27);
        actions[what % 12]();
        M().idleSteps.push_back(step);
    };
    M().idleSteps.push_back(step);
    WinMain(machine::Instance(), nullptr, (LPSTR) "", SW_SHOW);
    Check();
    return 0;
}
