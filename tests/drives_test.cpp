// The tracked-drive list: start-up scan, volume broadcasts, read-out; and
// which drives resolve to a removable USB device.
#include <algorithm>

#include "support.h"

class Drives : public MachineTest { };

// An interface of another device with the drive's number, enumerated first; its parent decides removability.
static machine::Interface& Decoy(const GUID& interfaceClass, char letter, DEVINST parent = 1)
{
    machine::AddInterface(
        interfaceClass, machine::AddNode("SCSI\\DISK&VEN_X&PROD_Y&REV_1\\0", parent, 0), letter - 'A');
    std::rotate(M().interfaces.begin(), M().interfaces.end() - 1, M().interfaces.end());
    return M().interfaces.front();
}

TEST_F(Drives, TheListFollowsScanArrivalsAndRemovals)
{
    char letters[TRACKED_LETTERS_SIZE];
    auto Letters = [&] { return std::to_string(GetTrackedLetters((char*)memset(letters, 'x', 32), 32)) + letters; };
    DEVINST controller = machine::AddNode("PCI\\VEN_8086&DEV_A102\\3&0", 1, DN_DISABLEABLE);
    machine::AddInterface(GUID_DEVINTERFACE_DISK, machine::AddNode("SCSI\\DISK&VEN_A&PROD_B\\4", controller, 0), 30);
    machine::AddVolume('C', 30), machine::AddVolume('D', 31); // a fixed disk, and a volume without one
    Stick('G'), Stick('E');
    M().defaultAnswer = 7; // creation makes the list and scans the drives, and answers 0
    ASSERT_EQ(0, MainWndProc(nullptr, WM_CREATE, 0, 0));
    EXPECT_EQ("E:\\ G:\\ ", Tracked());
    EXPECT_EQ("1EG", Letters());
    const WPARAM in = DBT_DEVICEARRIVAL, out = DBT_DEVICEREMOVECOMPLETE;
    const DWORD volume = DBT_DEVTYP_VOLUME;
    auto none = [] {};
    const struct {
        WPARAM event;
        DWORD mask, type;
        std::function<void()> before;
        const char* tracked;
    } steps[] = {{in, 1 << 6, volume, none, "E:\\ G:\\ G: "}, {out, 1 << 6, volume, none, "E:\\ G: "},
        {in, 1 << 5, volume, [] { Stick('F'); }, "E:\\ G: F: "}, {in, 1 << 4, volume, none, "E:\\ G: F: E: "},
        // The device is gone when its removal is broadcast: no test of it, and only the first E goes.
        {out, 1 << 4, volume, [] { M().volumes.erase('E'); }, "G: F: E: "},
        {out, 1 << 5, DBT_DEVTYP_PORT, none, "G: F: E: "},
        {in, 1 << 7, DBT_DEVTYP_DEVICEINTERFACE, [] { Stick('H'); }, "G: F: E: "},
        {out, 1 << 4, volume, none, "G: F: "}, {in, (1 << 7) | (1 << 9), volume, [] { Stick('J'); }, "G: F: H: "},
        {out, 1 << 7, volume, none, "G: F: "}, {in, 1 << 9, volume, none, "G: F: J: "},
        {out, (1 << 6) | (1 << 9), volume, none, "F: J: "}, {in, 0, volume, none, "F: J: "},
        {out, 0, volume, none, "F: J: "}, {in, 1 << 3, volume, none, "F: J: "}};
    for (auto& step : steps) {
        step.before();
        EXPECT_EQ(0,
            MainWndProc(nullptr, WM_DEVICECHANGE, step.event,
                (LPARAM)std::vector<DWORD>{sizeof(DEV_BROADCAST_VOLUME), step.type, 0, step.mask, 0}.data()));
        EXPECT_EQ(step.tracked, Tracked()) << std::hex << step.event << " " << step.mask;
    }
    EXPECT_EQ("1FJ", Letters());
    // Removal compares the given string as a prefix of the stored one.
    EXPECT_EQ((V{0, 1, 1, 0}),
        (V{RemoveTrackedDrive("J:\\"), RemoveTrackedDrive("J"), RemoveTrackedDrive("F:"), RemoveTrackedDrive("F:")}));
    EXPECT_EQ("1", Letters());
    EXPECT_EQ(0, AddTrackedDrive(nullptr) + RemoveTrackedDrive(nullptr) + GetTrackedLetters(nullptr, 32));
    EXPECT_EQ(1u, M().heapBlocks.size()) << "removed nodes or strings were not freed";
    EXPECT_EQ(0, MainWndProc(nullptr, WM_DESTROY, 0, 0) + !M().quitPosted) << "no quit message, or not 0";
    const std::pair<DWORD, char> masks[] = {{1, 'A'}, {1 << 4, 'E'}, {(1 << 4) | (1 << 6), 'E'}, {1u << 25, 'Z'},
        {0, '['}, {1u << 26, '['}, {0xFC000000u, '['}, {0xFFFFFFFFu, 'A'}};
    for (auto& mask : masks)
        EXPECT_EQ(mask.second, UnitMaskToLetter(mask.first)) << std::hex << mask.first;
}

TEST_F(Drives, OnlyAResolvedDriveWhoseParentHasBothBitsIsARemovableUsbDrive)
{
    auto diskBoth = [](machine::UsbDrive d) { return M().nodes[d.disk].status = DN_REMOVABLE | DN_DISABLEABLE, d; };
    const std::pair<int, std::function<void()>> cases[] = {{1, [] { Stick('E'); }},
        {0, [&] { diskBoth(Stick('E', DN_REMOVABLE)); }}, {0, [&] { diskBoth(Stick('E', DN_DISABLEABLE)); }},
        {0, [&] { M().nodes[diskBoth(Stick('E')).disk].parentFails = true; }}, // never the disk's own status
        {0, [] { M().nodes[Stick('E').usb].statusFails = true; }},
        {1, [] { M().nodes[Stick('E', 0xFFFFFFFF).disk].status = 0; }},
        // A volume without a number, with all its bits set, or of another type resolves to nothing.
        {-1, [] { M().volumes[Stick('E'), 'E'].queryFails = true; }},
        {-1, [] { Stick('E'), M().volumes['E'].number = M().interfaces[0].number = ~0u; }},
        {-1, [] { M().volumes[Stick('E'), 'E'].type = 0x2d; }},
        // Interfaces that cannot answer are skipped; the first match wins, a floppy drive's before a disk's.
        {1, [] { Decoy(GUID_DEVINTERFACE_DISK, (Stick('E'), 'E')).detailSizeZero = true; }},
        {1, [] { Decoy(GUID_DEVINTERFACE_DISK, (Stick('E'), 'E')).fetchFails = true; }},
        {1, [] { Decoy(GUID_DEVINTERFACE_DISK, (Stick('E'), 'E')).openFails = true; }},
        {1, [] { Decoy(GUID_DEVINTERFACE_DISK, (Stick('E'), 'E')).queryFails = true; }},
        {1, [] { machine::AddInterface(GUID_DEVINTERFACE_DISK, 9, (Stick('E'), 4)); }},
        {0, [] { Decoy(GUID_DEVINTERFACE_FLOPPY, (Stick('E'), 'E')); }},
        // A CD-ROM volume is looked up in its own class only.
        {-1, [] { Decoy(GUID_DEVINTERFACE_FLOPPY, 'E', Stick('E').usb), M().volumes['E'].type = 2; }},
        {1, [] {
             machine::AddInterface(GUID_DEVINTERFACE_CDROM, machine::AddNode("CD", Stick('E').usb, 0), 4),
                 M().volumes['E'].type = 2;
         }}};
    for (auto& c : cases) {
        machine::Reset();
        c.second();
        EXPECT_EQ(c.first, IsRemovableUsbDrive("E:")) << &c - cases;
    }
    DEVINST node = 0xDEADBEEF;
    EXPECT_EQ((V{0, 0, -1, 0xDEADBEEF}),
        (V{ResolveDriveDevice(nullptr, &node), ResolveDriveDevice("E", nullptr), IsRemovableUsbDrive(nullptr), node}));
    // Any kind but CD-ROM and floppy searches the disk class.
    machine::Reset();
    DEVINST disk = Stick('E').disk, cdrom = Decoy(GUID_DEVINTERFACE_CDROM, 'E').node;
    DEVINST floppy = Decoy(GUID_DEVINTERFACE_FLOPPY, 'E').node;
    for (int kind : {0, 1, 2, 3, -1, 7})
        EXPECT_EQ(kind == 1 ? cdrom : kind == 2 ? floppy : disk, FindDiskDevInst(4, kind)) << kind;
}
