// Fuzz target: the main window's procedure under a stream of device-change
// broadcasts, commands, tray menus, settings-dialog clicks, plugging and
// unplugging, registry edits, refused removals and failing platform calls. The program runs
// from WinMain; each step of the input is one turn of its message loop.
//
// After every step: the tracked list is well linked and each drive string
// fits its 4 bytes, the heap holds the list and nothing else, no file, device
// set, registry key, menu or icon is left open, and the platform saw no misuse.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "../../platform/host/machine.h"
#include "../../app/app.h"
#include "../../device/device.h"
#include "../../drives/drives.h"
#include "input.h"

using machine::M;

// The machine: a fixed disk C:, USB sticks E: and F:, a two-slot card reader
// G:/H: (unplugged at start) and a USB optical drive Q:.
struct Drive {
    std::string letters;
    DWORD number;
    DWORD type;
    size_t interfaceIndex;
    DEVINST disk, usb;
    std::string vid, pid, serial; // as the program parses them
    bool plugged;
};

static std::vector<Drive> drives;

static void AddStick(const char* letters, DWORD number, const std::string& diskId, const std::string& vid,
    const std::string& pid, const std::string& serial)
{
    std::string usbId = "USB\\VID_" + vid + "&PID_" + pid + "\\" + serial;
    machine::UsbDrive nodes = machine::AddUsbDrive(letters[0], number, diskId.c_str(), usbId.c_str());
    for (const char* letter = letters + 1; *letter; letter++)
        machine::AddVolume(*letter, number);
    drives.push_back({letters, number, FILE_DEVICE_DISK, M().interfaces.size() - 1, nodes.disk, nodes.usb, vid, pid,
        serial.substr(0, sizeof(UsbIdentity::serial) - 1), true});
}

static void BuildMachine()
{
    machine::Reset();
    drives.clear();
    DEVINST controller = machine::AddNode("PCI\\VEN_8086&DEV_A102\\3&11583659&0&B8", 1, DN_DISABLEABLE);
    DEVINST fixed = machine::AddNode("SCSI\\DISK&VEN_ATA&PROD_SSD&REV_1\\4&0", controller, 0);
    machine::AddInterface(GUID_DEVINTERFACE_DISK, fixed, 0);
    machine::AddVolume('C', 0);

    AddStick("E", 1, "USBSTOR\\DISK&VEN_ACME&PROD_STICK&REV_1.00\\0123456789&0", "1234", "5678", "S1");
    // Names and serial longer than their fields.
    AddStick("F", 2, "USBSTOR\\DISK&VEN_" + std::string(127, 'V') + "&PROD_" + std::string(127, 'P') + "&REV_9\\X",
        "ABCD", "EF01", std::string(300, 'S'));
    AddStick("GH", 3, "USBSTOR\\DISK&VEN_CARD&PROD_READER&REV_2\\0", "0BDA", "0158", "R1");

    DEVINST usb = machine::AddNode("USB\\VID_0E8D&PID_1887\\D1", 1, DN_REMOVABLE | DN_DISABLEABLE);
    DEVINST cdrom = machine::AddNode("USBSTOR\\CDROM&VEN_OPTI&PROD_DVD&REV_1\\0", usb, DN_REMOVABLE);
    machine::AddInterface(GUID_DEVINTERFACE_CDROM, cdrom, 0, FILE_DEVICE_CD_ROM);
    machine::AddVolume('Q', 0, FILE_DEVICE_CD_ROM);
    drives.push_back({"Q", 0, FILE_DEVICE_CD_ROM, M().interfaces.size() - 1, cdrom, usb, "0E8D", "1887", "D1", true});
}

static void SetPlugged(Drive& drive, bool plugged)
{
    drive.plugged = plugged;
    M().interfaces[drive.interfaceIndex].present = plugged;
    for (char letter : drive.letters) {
        if (plugged)
            machine::AddVolume(letter, drive.number, drive.type);
        else
            M().volumes.erase(letter);
    }
}

static HWND MainWindow()
{
    for (HWND handle : M().windowOrder) {
        machine::Window* window = machine::FindWindowByHandle(handle);
        if (window && window->proc == MainWndProc)
            return handle;
    }
    return nullptr;
}

static HWND OpenDialog()
{
    std::vector<HWND> dialogs = machine::WindowsOfClass("#32770");
    for (size_t i = dialogs.size(); i > 0; i--)
        if (!machine::FindWindowByHandle(dialogs[i - 1])->ended)
            return dialogs[i - 1];
    return nullptr;
}

static void Check(const char* when)
{
    for (const std::string& error : M().errors)
        FAIL("%s: platform misuse: %s", when, error.c_str());
    const DriveList* list = GetTrackedDriveList();
    if (!list)
        FAIL("%s: no tracked list", when);
    if (!M().heapBlocks.count((void*)list))
        FAIL("%s: the list head is not a live heap block", when);
    size_t limit = M().heapBlocks.size();
    size_t count = 0;
    const DriveNode* previous = nullptr;
    for (const DriveNode* node = list->first; node; node = node->next) {
        if (++count > limit)
            FAIL("%s: the forward links loop", when);
        if (!M().heapBlocks.count((void*)node) || !M().heapBlocks.count(node->data))
            FAIL("%s: node %zu or its string is not a live heap block", when, count);
        if (node->prev != previous)
            FAIL("%s: node %zu: its backward link disagrees", when, count);
        if (!memchr(node->data, 0, 4))
            FAIL("%s: node %zu: the drive string is longer than 3 characters", when, count);
        previous = node;
    }
    if (list->last != previous)
        FAIL("%s: the last node is not the end of the forward walk", when);
    if (list->first && list->first->prev)
        FAIL("%s: the first node has a predecessor", when);
    if (list->last && list->last->next)
        FAIL("%s: the last node has a successor", when);
    size_t backward = 0;
    for (const DriveNode* node = list->last; node; node = node->prev)
        if (++backward > count)
            FAIL("%s: the backward walk is longer than the forward one", when);
    if (backward != count)
        FAIL("%s: %zu nodes forward, %zu backward", when, count, backward);

    if (M().heapBlocks.size() != 1 + 2 * count)
        FAIL("%s: %zu heap blocks for %zu tracked drives", when, M().heapBlocks.size(), count);
    if (!M().openFiles.empty() || !M().openSets.empty() || !M().openKeys.empty())
        FAIL("%s: left open: %zu files, %zu device sets, %zu keys", when, M().openFiles.size(), M().openSets.size(),
            M().openKeys.size());
    if (!M().loadedImages.empty())
        FAIL("%s: %zu icons not destroyed", when, M().loadedImages.size());
    for (auto& menu : M().menus)
        if (!menu.second.destroyed)
            FAIL("%s: a menu was not destroyed", when);
    // Nothing here reads the call log; kept short, it costs far less.
    M().calls.clear();
}

static void Broadcast(HWND window, FuzzInput& in)
{
    static const WPARAM events[] = {
        DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE, DBT_DEVICEQUERYREMOVE, DBT_DEVNODES_CHANGED};
    uint8_t how = in.Byte();
    WPARAM event = (how & 0x80) ? in.Word() : events[how & 3];
    uint8_t shape = in.Byte();
    if (shape & 0x80) {
        SendMessageA(window, WM_DEVICECHANGE, event, 0);
        return;
    }
    uint8_t mask = in.Byte();
    DWORD unitMask = (mask & 0x80) ? in.Dword() : 1u << (mask % 26);
    // Never smaller than a volume broadcast; any extra bytes and any size field.
    size_t size = sizeof(DEV_BROADCAST_VOLUME) + (shape & 0x0F);
    std::vector<DWORD> storage((size + sizeof(DWORD) - 1) / sizeof(DWORD), 0xBEBEBEBE);
    DEV_BROADCAST_VOLUME* volume = (DEV_BROADCAST_VOLUME*)storage.data();
    volume->dbcv_size = (shape & 0x20) ? in.Dword() : (DWORD)size;
    volume->dbcv_devicetype = (shape & 0x40) ? in.Byte() : DBT_DEVTYP_VOLUME;
    volume->dbcv_reserved = 0;
    volume->dbcv_unitmask = unitMask;
    volume->dbcv_flags = (shape & 0x10) ? in.Byte() : 0;
    SendMessageA(window, WM_DEVICECHANGE, event, (LPARAM)volume);
}

static void DialogAction(FuzzInput& in)
{
    HWND dialog = OpenDialog();
    uint8_t action = in.Byte();
    if (!dialog)
        return;
    switch (action & 3) {
    case 0:
        machine::SetRowTicked(machine::ChildById(dialog, IDC_EXCLUSION_LIST), (action >> 2) % 8, action & 0x80);
        break;
    case 1:
        machine::ClickButton(dialog, IDOK);
        break;
    case 2:
        machine::ClickButton(dialog, IDCANCEL);
        break;
    default:
        SendMessageA(dialog, (action & 0x80) ? WM_COMMAND : WM_CLOSE, (action & 0x80) ? in.Dword() : 0, 0);
        break;
    }
}

static void RegistryAction(FuzzInput& in)
{
    uint8_t number = in.Byte() % 4;
    uint8_t which = in.Byte();
    std::string path = "SOFTWARE\\Kestrabin\\" + std::to_string(number);
    if (which & 0x80) {
        RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
        return;
    }
    const Drive& drive = drives[which % drives.size()];
    machine::SetRegString(path, "VID", drive.vid);
    machine::SetRegString(path, "PID", drive.pid);
    machine::SetRegString(path, "SEL", (which & 0x40) ? drive.serial + "X" : drive.serial);
}

// What the configuration manager makes of a drive's nodes: refusals of the
// next removal, a USB device that is not removable, failing look-ups.
static void NodeAction(FuzzInput& in)
{
    Drive& drive = drives[in.Byte() % drives.size()];
    uint8_t action = in.Byte();
    machine::Node& usb = M().nodes[drive.usb];
    machine::Node& disk = M().nodes[drive.disk];
    switch (action % 5) {
    case 0:
        usb.removalAnswers.push_back((action & 0x80) ? CR_REMOVE_VETOED : CR_FAILURE);
        break;
    case 1:
        usb.status ^= (action & 0x80) ? DN_DISABLEABLE : DN_REMOVABLE;
        break;
    case 2:
        disk.parentFails = !disk.parentFails;
        break;
    case 3:
        usb.statusFails = !usb.statusFails;
        break;
    default:
        M().interfaces[drive.interfaceIndex].detailSizeZero = (action & 0x80) != 0;
        M().interfaces[drive.interfaceIndex].queryFails = (action & 0x40) != 0;
        break;
    }
}

// One step of the input; false when the program has ended.
static bool Step(FuzzInput& in)
{
    HWND window = MainWindow();
    if (!window)
        return false;
    switch (in.Byte() % 13) {
    case 0:
        Broadcast(window, in);
        break;
    case 1: {
        WPARAM command = in.Dword();
        // The fixed commands have their own step.
        if (LOWORD(command) != CMD_EXIT)
            SendMessageA(window, WM_COMMAND, command, 0);
        break;
    }
    case 2:
        SendMessageA(window, WM_COMMAND, CMD_EJECT_BASE + in.Byte() % 32, 0);
        break;
    case 3: {
        int choice = in.Byte();
        M().onMenu = [choice](const machine::ShownMenu&) { return choice == 0xFF ? -1 : choice % 16; };
        SendMessageA(window, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_RBUTTONUP);
        break;
    }
    case 4: {
        Drive& drive = drives[in.Byte() % drives.size()];
        SetPlugged(drive, !drive.plugged);
        break;
    }
    case 5: {
        static const WORD commands[] = {CMD_SETTINGS, CMD_ABOUT, CMD_EXIT};
        SendMessageA(window, WM_COMMAND, commands[in.Byte() % 3], 0);
        break;
    }
    case 6:
        DialogAction(in);
        break;
    case 7:
        RegistryAction(in);
        break;
    case 8: {
        machine::Fault kind = (machine::Fault)(in.Byte() % (int)machine::Fault::Count);
        machine::FailCall(kind, machine::CallCount(kind) + 1 + in.Byte() % 8);
        break;
    }
    case 9:
        machine::RestartShell();
        break;
    case 10: {
        uint8_t key = in.Byte();
        PostMessageA(window, (key & 0x80) ? WM_SYSCHAR : WM_CHAR, key & 0x7F, (key & 0x80) ? 1 << 29 : 0);
        break;
    }
    case 11: {
        WPARAM id = in.Byte();
        LPARAM what = in.Word();
        SendMessageA(window, WM_TRAYNOTIFY, id, what);
        break;
    }
    default:
        NodeAction(in);
        break;
    }
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    BuildMachine();
    // The reader starts unplugged: its arrival comes from the input.
    SetPlugged(drives[2], false);
    FuzzInput in = {data, size, 0};
    int steps = 0;
    // Each step waits for an empty queue, so what the last one posted (the
    // menu's command, WM_NULL, accelerators) is handled before the next.
    std::function<void()> next = [&]() {
        Check(steps == 0 ? "after start" : "after a step");
        if (!in.More() || !Step(in))
            return;
        steps++;
        M().idleSteps.push_back(next);
    };
    M().idleSteps.push_back(next);
    WinMain(machine::Instance(), nullptr, (LPSTR) "", SW_SHOW);
    Check("at the end");
    M().onMenu = nullptr;
    return 0;
}
