// Fuzz target: the code without windows under a stream of steps: volume broadcasts, ejects,
// devices of the catalogue plugged in and pulled out, instance IDs of any bytes, and a tray
// menu's reads followed by a save, any call failing. After every step each letter is tracked once,
// nothing is left open and the platform refused nothing; at the end, once the tracked drives are
// removed, the heap holds the list and nothing else. AddressSanitizer sees a list ill linked.
#include <stdlib.h>

#include <set>

#include "../catalogue.h"

static const char* const DEVICES[] = {"InternalNvme", "UsbDvdDrive", "AcmeStick", "OtherStick", "UasSsd",
    "LongLabelStick", "UnreadableCardReader", "MicroBit", "DiskWithoutParent", "StickWithoutSerial", "TwoVolumeStick",
    "NotDisableableDisk", "UsbFloppy"};
static const char* const CALLS[] = {"CreateFileA", "DeviceIoControl", "SetupDiGetClassDevsA",
    "SetupDiEnumDeviceInterfaces", "SetupDiGetDeviceInterfaceDetailA", "CM_Get_Parent", "CM_Get_DevNode_Status",
    "CM_Request_Device_EjectA", "HeapAlloc", "RegOpenKeyExA", "RegQueryValueExA", "RegCreateKeyExA", "RegSetValueExA",
    "RegDeleteKeyA"};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Bit 13: the user is an administrator.
    unsigned plugged = 0x7; // the system disk, the DVD writer and the stick
    std::string faults;
    auto describe = [&] {
        std::string names;
        for (int i = 0; i < 13; i++)
            names += plugged >> i & 1 ? DEVICES[i] + std::string(" ") : "";
        SimDescribe(((plugged >> 13 & 1 ? "grant SeLoadDriverPrivilege\n" : "") + Machine(names) + faults).c_str());
    };
    HostReset("");
    describe();
    CreateTrackedDriveList();
    size_t heap = HostHeapBlocks();
    ScanDrives();
    for (size_t at = 0; at + 3 <= size;) {
        uint8_t what = data[at], a = data[at + 1], b = data[at + 2];
        std::string text((const char*)data + at + 3, std::min<size_t>(b % 64, size - at - 3));
        at += 3 + text.size();
        char drive[2] = {(char)('A' + a % 17)};
        DiskIdentity disk;
        UsbIdentity usb = {};
        // One or two volumes, a device or its medium.
        DWORD broadcast[5] = {sizeof(DEV_BROADCAST_VOLUME), b & 0x80 ? b & 7u : DBT_DEVTYP_VOLUME, 0,
            1u << (a % 27) | (b & 0x40 ? 1u << (a / 27 % 17) : 0), b & 0x20 ? DBTF_MEDIA : 0u};
        if (what % 7 < 2) {
            HandleDeviceChange(NULL, b & 1 ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE, (LPARAM)broadcast);
        } else if (what % 7 == 2) {
            EjectDrive(drive);
        } else if (what % 7 == 3) {
            // A device plugged in or pulled out, or the user's rights changed.
            plugged ^= 1u << (a % 14);
            describe();
        } else if (what % 7 == 4) {
            // A coming call of one kind fails.
            const char* call = CALLS[a % 14];
            faults += std::string("fail ") + call + " " + std::to_string(SimCount(call) + 1 + b % 8) + "\n";
            describe();
        } else if (what % 7 == 5) {
            ParseDiskDeviceId(text.c_str(), &disk);
            ParseUsbDeviceId(text.c_str(), &usb);
        } else {
            // A tray menu's reads of a drive, then a save (which reads the exclusions and the USB identities).
            ExclusionList ticked = {}, unticked = {};
            GetDiskIdentity(&disk, drive);
            if (GetUsbIdentity(&usb, drive))
                AddExclusion(b & 1 ? &ticked : &unticked, &usb);
            SaveExclusionList(&ticked, &unticked);
            FreeExclusionList(&ticked);
            FreeExclusionList(&unticked);
        }
        // What the machine broadcast meanwhile: a device removed, a medium taken out or put back.
        // Then each letter is tracked once, nothing is left open and nothing was refused.
        for (HostBroadcast sent : HostTakeBroadcasts())
            HandleDeviceChange(NULL, sent.event, (LPARAM)&sent.volume);
        std::string letters = Tracked();
        if (std::set<char>(letters.begin(), letters.end()).size() != letters.size() || SimOpen() || HostOpenKeys() ||
            HostLog().find("refuse") != std::string::npos)
            abort();
        HostLog().clear();
    }
    for (char letter : Tracked())
        RemoveTrackedDrive(std::string(1, letter).c_str());
    if (HostHeapBlocks() != heap)
        abort();
    return 0;
}
