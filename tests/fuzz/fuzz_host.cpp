// Fuzz target: the code without windows under a stream of steps: volume broadcasts, ejects,
// drives plugged in and pulled out, instance IDs of any bytes, and a tray
// menu's reads followed by a save, any call failing. After every step the tracked list is well
// linked, with strings that fit their 4 bytes and each letter once; the heap holds the list and
// nothing else, nothing is left open and the platform refused nothing.
#include <stdlib.h>
#include <string.h>

#include "../../platform/host/host.h"
#include "../../drives/drives.h"
#include "../../device/device.h"
#include "../../exclusions/exclusions.h"

static void Check()
{
    size_t nodes = 0;
    unsigned letters = 0;
    const DriveNode* previous = nullptr;
    for (const DriveNode* node = GetTrackedDriveList()->first; node; previous = node, node = node->next) {
        unsigned letter = 1u << (*(const char*)node->data & 31);
        if (++nodes > 26 || node->prev != previous || !memchr(node->data, 0, 4) || (letters & letter))
            abort();
        letters |= letter;
    }
    if (GetTrackedDriveList()->last != previous || HostHeapBlocks() != 1 + 2 * nodes)
        abort();
    if (SimOpen() || HostOpenKeys() || HostLog().find("refuse") != std::string::npos)
        abort();
    HostLog().clear();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // E, F and G on disks 0 to 2, disk nodes 10 to 12 under USB nodes 20 to 22, each refusing its
    // first removal; F plugged in at start.
    const std::string disk = "USBSTOR\\DISK&VEN_V&PROD_P&REV_1\\0", usb = "USB\\VID_1&PID_2\\S 17";
    std::string ids[6] = {disk, usb, disk, usb, disk, usb}, faults;
    bool plugged[3] = {false, true, false};
    auto describe = [&] {
        std::string machine;
        for (int i = 0; i < 3; i++) {
            std::string n = std::to_string(i);
            if (plugged[i])
                machine += "volume " + std::string(1, 'E' + i) + " disk " + n + "\n";
            machine += "iface disk " + n + " 1" + n + " 1\nnode 1" + n + " 2" + n + " 0 " + ids[2 * i] + "\nnode 2" +
                n + " 0 6000 " + ids[2 * i + 1] + "\n";
        }
        SimDescribe((machine + faults).c_str());
    };
    HostReset("");
    describe();
    CreateTrackedDriveList();
    ScanDrives();
    const char* calls[] = {"CreateFileA", "DeviceIoControl", "SetupDiGetClassDevsA", "SetupDiEnumDeviceInterfaces",
        "SetupDiGetDeviceInterfaceDetailA", "CM_Get_Parent", "CM_Get_DevNode_Status", "CM_Request_Device_EjectA",
        "HeapAlloc", "RegOpenKeyExA", "RegQueryValueExA", "RegCreateKeyExA", "RegSetValueExA", "RegDeleteKeyA"};
    for (size_t at = 0; at + 3 <= size;) {
        uint8_t what = data[at], a = data[at + 1], b = data[at + 2];
        std::string text((const char*)data + at + 3, std::min<size_t>(b % 64, size - at - 3));
        at += 3 + text.size();
        char drive[2] = {(char)('E' + a % 3)};
        // One or two volumes, a device or its medium.
        DWORD broadcast[5] = {sizeof(DEV_BROADCAST_VOLUME), b & 0x80 ? b & 7u : DBT_DEVTYP_VOLUME, 0,
            1u << (a % 27) | (b & 0x40 ? 1u << (a / 27 % 3 + 4) : 0), b & 0x20 ? DBTF_MEDIA : 0u};
        if (what % 7 < 3) {
            HandleDeviceChange(NULL, b & 1 ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE, (LPARAM)broadcast);
        } else if (what % 7 == 3) {
            EjectDrive(drive);
            for (HostBroadcast sent : HostTakeBroadcasts())
                HandleDeviceChange(NULL, sent.event, (LPARAM)&sent.volume);
        } else if (what % 7 == 4) {
            // A drive plugged in with a new instance ID for one of its nodes, or pulled out; the
            // description splits at white space.
            for (char& c : text)
                c = isspace((unsigned char)c) || !c ? '_' : c;
            ids[a % 6] = text.empty() ? "-" : text;
            plugged[a % 3] = !plugged[a % 3];
            describe();
        } else if (what % 7 == 5) {
            // A coming call of one kind fails.
            const char* call = calls[a % 14];
            faults += std::string("fail ") + call + " " + std::to_string(SimCount(call) + 1 + b % 8) + "\n";
            describe();
        } else {
            // The disk identities a tray menu reads, then a save (which reads the exclusions and
            // the USB identities).
            char letters[TRACKED_LETTERS_SIZE] = {};
            GetTrackedLetters(letters, TRACKED_LETTERS_SIZE);
            for (const char* shown = letters; *shown; shown++) {
                DiskIdentity disk;
                GetDiskIdentity(&disk, shown);
            }
            ExclusionList ticked = {}, unticked = {};
            UsbIdentity usb = {};
            if (GetUsbIdentity(&usb, drive))
                AddExclusion(b & 1 ? &ticked : &unticked, &usb);
            SaveExclusionList(&ticked, &unticked);
            FreeExclusionList(&ticked);
            FreeExclusionList(&unticked);
        }
        Check();
    }
    return 0;
}
