// The tracked-drive list: start-up scan, volume broadcasts, read-out; and
// which drives resolve to a removable USB device.
#include <algorithm>

#include "support.h"

// An interface of another device with the drive's number, enumerated first; its parent decides removability.
static machine::Interface& Decoy(const GUID& interfaceClass, char letter, DEVINST parent = 1)
{
    machine::AddInterface(
        interfaceClass, machine::AddNode("SCSI\\DISK&VEN_X&PROD_Y&REV_1\\0", parent, 0), letter - 'A');
    std::rotate(M().interfaces.begin(), M().interfaces.end() - 1, M().interfaces.end());
    return M().interfaces.front();
}

class Drives : public MachineTest {
protected:
    // A stick at E whose disk node has both bits itself.
    static machine::Node& StickWithRemovableDisk(ULONG usbStatus)
    {
        machine::Node& disk = M().nodes[Stick('E', usbStatus).disk];
        disk.status = DN_REMOVABLE | DN_DISABLEABLE;
        return disk;
    }

    // A stick at E, and its volume.
    static machine::Volume& StickVolume()
    {
        Stick('E');
        return M().volumes['E'];
    }

    // A stick at E, then an interface of another device with its number, enumerated first.
    static machine::Interface& StickAndDecoy(const GUID& interfaceClass)
    {
        Stick('E');
        return Decoy(interfaceClass, 'E');
    }

    // E a CD-ROM volume of a USB device, found under the interface class given (its disk interface stays).
    static void CdromE(const GUID& interfaceClass)
    {
        machine::UsbDrive drive = Stick('E');
        M().volumes['E'].type = FILE_DEVICE_CD_ROM;
        machine::AddInterface(interfaceClass, machine::AddNode("CD", drive.usb, 0), 4);
    }
};

TEST_F(Drives, TheListFollowsScanArrivalsAndRemovals)
{
    char letters[TRACKED_LETTERS_SIZE];
    auto Letters = [&] { return std::to_string(GetTrackedLetters((char*)memset(letters, 'x', 32), 32)) + letters; };
    DEVINST controller = machine::AddNode("PCI\\VEN_8086&DEV_A102\\3&0", 1, DN_DISABLEABLE);
    machine::AddInterface(GUID_DEVINTERFACE_DISK, machine::AddNode("SCSI\\DISK&VEN_A&PROD_B\\4", controller, 0), 30);
    machine::AddVolume('C', 30); // a fixed disk
    machine::AddVolume('D', 31); // a volume without one
    Stick('G');
    Stick('E');
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
    const ULONG both = DN_REMOVABLE | DN_DISABLEABLE;
    // The machine, the removable test's answer for E, and the interface classes it searched.
    struct Case {
        std::function<void()> arrange;
        int removable;
        size_t searches;
    };
    const Case cases[] = {{[] { Stick('E'); }, 1, 2},
        // Only the USB device's status counts, never the disk's own.
        {[] { StickWithRemovableDisk(DN_REMOVABLE); }, 0, 2}, {[] { StickWithRemovableDisk(DN_DISABLEABLE); }, 0, 2},
        {[&] { StickWithRemovableDisk(both).parentFails = true; }, 0, 2},
        {[] { M().nodes[Stick('E').usb].statusFails = true; }, 0, 2},
        {[] { M().nodes[Stick('E', 0xFFFFFFFF).disk].status = 0; }, 1, 2},
        // A volume without a number, with all its bits set, or of another type: no search at all.
        {[] { StickVolume().queryFails = true; }, -1, 0}, {[] { StickVolume().number = ~0u; }, -1, 0},
        {[] { StickVolume().type = FILE_DEVICE_MASS_STORAGE; }, -1, 0},
        // Interfaces that cannot answer are skipped; the first match wins, a floppy drive's before a disk's.
        {[] { StickAndDecoy(GUID_DEVINTERFACE_DISK).detailSizeZero = true; }, 1, 2},
        {[] { StickAndDecoy(GUID_DEVINTERFACE_DISK).fetchFails = true; }, 1, 2},
        {[] { StickAndDecoy(GUID_DEVINTERFACE_DISK).openFails = true; }, 1, 2},
        {[] { StickAndDecoy(GUID_DEVINTERFACE_DISK).queryFails = true; }, 1, 2},
        // (a later interface with the same number)
        {[] { machine::AddInterface(GUID_DEVINTERFACE_DISK, 9, StickVolume().number); }, 1, 2},
        {[] { StickAndDecoy(GUID_DEVINTERFACE_FLOPPY); }, 0, 1},
        // A CD-ROM volume is looked up in its own class only.
        {[] { CdromE(GUID_DEVINTERFACE_FLOPPY); }, -1, 1}, {[] { CdromE(GUID_DEVINTERFACE_CDROM); }, 1, 1}};
    for (const Case& c : cases) {
        machine::Reset();
        c.arrange();
        EXPECT_EQ(c.removable, IsRemovableUsbDrive("E:")) << "case " << &c - cases;
        EXPECT_EQ(c.searches, machine::CallsNamed("SetupDiGetClassDevsA").size()) << "case " << &c - cases;
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
