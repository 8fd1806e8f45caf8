// The tracked-drive list: start-up scan, volume broadcasts, read-out.
#include "support.h"

class Drives : public MachineTest { };

static std::string Letters()
{
    char letters[TRACKED_LETTERS_SIZE];
    memset(letters, 'x', sizeof(letters));
    return std::to_string(GetTrackedLetters(letters, TRACKED_LETTERS_SIZE)) + letters;
}

TEST_F(Drives, TheListFollowsScanArrivalsAndRemovals)
{
    DEVINST controller = machine::AddNode("PCI\\VEN_8086&DEV_A102\\3&0", 1, DN_DISABLEABLE);
    machine::AddInterface(GUID_DEVINTERFACE_DISK, machine::AddNode("SCSI\\DISK&VEN_A&PROD_B\\4", controller, 0), 30);
    machine::AddVolume('C', 30), machine::AddVolume('D', 31); // a fixed disk, and a volume without one
    Stick('G'), Stick('E');
    ASSERT_EQ(2, CreateTrackedDriveList() + ScanDrives());
    EXPECT_EQ("E:\\ G:\\ ", Tracked());
    EXPECT_EQ("1EG", Letters());
    const WPARAM in = DBT_DEVICEARRIVAL, out = DBT_DEVICEREMOVECOMPLETE;
    const DWORD volume = DBT_DEVTYP_VOLUME;
    auto none = [] {};
    auto diskBoth = [](machine::UsbDrive d) { return M().nodes[d.disk].status = DN_REMOVABLE | DN_DISABLEABLE, d; };
    const struct {
        WPARAM event;
        DWORD mask, type;
        std::function<void()> before;
        const char* tracked;
    } steps[] = {{in, 1 << 5, volume, [] { Stick('F'); }, "E:\\ G:\\ F: "},
        {in, 1 << 4, volume, none, "E:\\ G:\\ F: E: "},
        // The device is gone when its removal is broadcast: no test of it, and only the first E goes.
        {out, 1 << 4, volume, [] { M().volumes.erase('E'); }, "G:\\ F: E: "},
        {out, 1 << 5, DBT_DEVTYP_PORT, none, "G:\\ F: E: "},
        {in, 1 << 7, DBT_DEVTYP_DEVICEINTERFACE, [] { Stick('H'); }, "G:\\ F: E: "},
        {out, 1 << 4, volume, none, "G:\\ F: "}, {in, (1 << 7) | (1 << 9), volume, [] { Stick('J'); }, "G:\\ F: H: "},
        {out, 1 << 7, volume, none, "G:\\ F: "}, {in, 1 << 9, volume, none, "G:\\ F: J: "},
        {out, (1 << 6) | (1 << 9), volume, none, "F: J: "}, {in, 0, volume, none, "F: J: "},
        {out, 0, volume, none, "F: J: "}, {in, 1 << 3, volume, none, "F: J: "},
        {in, 1 << 10, volume, [&] { diskBoth(Stick('K', DN_REMOVABLE)); }, "F: J: "},
        {in, 1 << 11, volume, [&] { diskBoth(Stick('L', DN_DISABLEABLE)); }, "F: J: "},
        // Only the parent's status counts, never the disk's own.
        {in, 1 << 12, volume, [&] { M().nodes[diskBoth(Stick('M')).disk].parentFails = true; }, "F: J: "},
        {in, 1 << 13, volume, [] { M().nodes[Stick('N').usb].statusFails = true; }, "F: J: "},
        {in, 1 << 14, volume, [] { M().nodes[Stick('O', 0xFFFFFFFF).disk].status = 0; }, "F: J: O: "}};
    for (auto& step : steps) {
        step.before();
        EXPECT_EQ(0,
            MainWndProc(nullptr, WM_DEVICECHANGE, step.event,
                (LPARAM)std::vector<DWORD>{sizeof(DEV_BROADCAST_VOLUME), step.type, 0, step.mask, 0}.data()));
        EXPECT_EQ(step.tracked, Tracked()) << std::hex << step.event << " " << step.mask;
    }
    EXPECT_EQ("1FJO", Letters());
    // Removal compares the given string as a prefix of the stored one.
    EXPECT_EQ((V{0, 1, 1, 1, 0}),
        (V{RemoveTrackedDrive("J:\\"), RemoveTrackedDrive("J"), RemoveTrackedDrive("O:"), RemoveTrackedDrive("F:"),
            RemoveTrackedDrive("F:")}));
    EXPECT_EQ("1", Letters());
    EXPECT_EQ(0, AddTrackedDrive(nullptr) + RemoveTrackedDrive(nullptr) + GetTrackedLetters(nullptr, 32));
    EXPECT_EQ(1u, M().heapBlocks.size()) << "removed nodes or strings were not freed";
    const std::pair<DWORD, char> masks[] = {{1, 'A'}, {1 << 4, 'E'}, {(1 << 4) | (1 << 6), 'E'}, {1u << 25, 'Z'},
        {0, '['}, {1u << 26, '['}, {0xFC000000u, '['}, {0xFFFFFFFFu, 'A'}};
    for (auto& mask : masks)
        EXPECT_EQ(mask.second, UnitMaskToLetter(mask.first)) << std::hex << mask.first;
}
