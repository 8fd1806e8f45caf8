// The tracked-drive list: start-up scan, volume broadcasts, read-out.
#include <functional>

#include "support.h"

class Drives : public HostTest { };

TEST_F(Drives, TheListFollowsScanArrivalsAndRemovals)
{
    char letters[TRACKED_LETTERS_SIZE + 8];
    auto Letters = [&] { return std::to_string(GetTrackedLetters((char*)memset(letters, 'x', 40), 32)) + letters; };
    // C a fixed disk, D a volume without a device, K a stick whose USB device is not disableable.
    std::string machine = "volume C disk 30\niface disk 30 130 1\nnode 130 131 0 SCSI\\DISK&VEN_A&PROD_B\\4\n"
                          "node 131 0 2000 PCI\nvolume D disk 31\n" +
        Stick('G') + Stick('E') + Stick('K', "4000");
    Describe(machine);
    ASSERT_EQ(1, ScanDrives());
    EXPECT_EQ("E:\\ G:\\ ", Tracked());
    EXPECT_EQ("1EG", Letters());
    auto plug = [&](char letter) { return [&machine, letter] { machine += Stick(letter); }; };
    auto pull = [&](char letter) {
        return [&machine, letter] { machine.replace(machine.find(std::string("volume ") + letter), 16, ""); };
    };
    auto none = [] {};
    const WPARAM in = DBT_DEVICEARRIVAL, out = DBT_DEVICEREMOVECOMPLETE;
    const DWORD volume = DBT_DEVTYP_VOLUME;
    const struct {
        WPARAM event;
        DWORD mask, type;
        std::function<void()> before;
        const char* tracked;
    } steps[] = {{in, 1 << 6, volume, none, "E:\\ G:\\ G: "}, {out, 1 << 6, volume, none, "E:\\ G: "},
        {in, 1 << 5, volume, plug('F'), "E:\\ G: F: "}, {in, 1 << 4, volume, none, "E:\\ G: F: E: "},
        {in, 1 << 10, volume, none, "E:\\ G: F: E: "},
        // The device is gone when its removal is broadcast: no test of it, and only the first E goes.
        {out, 1 << 4, volume, pull('E'), "G: F: E: "}, {out, 1 << 5, DBT_DEVTYP_PORT, none, "G: F: E: "},
        {in, 1 << 7, DBT_DEVTYP_DEVICEINTERFACE, plug('H'), "G: F: E: "}, {out, 1 << 4, volume, none, "G: F: "},
        {in, (1 << 7) | (1 << 9), volume, plug('J'), "G: F: H: "}, {out, 1 << 7, volume, none, "G: F: "},
        {in, 1 << 9, volume, none, "G: F: J: "}, {out, (1 << 6) | (1 << 9), volume, none, "F: J: "},
        {in, 0, volume, none, "F: J: "}, {out, 0, volume, none, "F: J: "}, {in, 1 << 3, volume, none, "F: J: "}};
    for (auto& step : steps) {
        step.before();
        SimDescribe(machine.c_str());
        DWORD broadcast[5] = {sizeof(DEV_BROADCAST_VOLUME), step.type, 0, step.mask, 0};
        EXPECT_EQ(0, HandleDeviceChange(NULL, step.event, (LPARAM)broadcast));
        EXPECT_EQ(step.tracked, Tracked()) << std::hex << step.event << " " << step.mask;
    }
    // Other events go to the default processing, whose answer is returned.
    EXPECT_EQ((V{HOST_DEFAULT_ANSWER, HOST_DEFAULT_ANSWER}),
        (V{HandleDeviceChange(NULL, DBT_DEVNODES_CHANGED, 0), HandleDeviceChange(NULL, DBT_DEVICEQUERYREMOVE, 0)}));
    EXPECT_NE(std::string::npos, HostLog().find("default 537 7\ndefault 537 32769\n")) << HostLog();
    EXPECT_EQ("1FJ", Letters());
    // Removal compares the given string as a prefix of the stored one.
    EXPECT_EQ((V{0, 1, 1, 0}),
        (V{RemoveTrackedDrive("J:\\"), RemoveTrackedDrive("J"), RemoveTrackedDrive("F:"), RemoveTrackedDrive("F:")}));
    EXPECT_EQ(0, AddTrackedDrive(nullptr) + RemoveTrackedDrive(nullptr) + GetTrackedLetters(nullptr, 32));
    EXPECT_EQ(1u, HostHeapBlocks()) << "removed nodes or strings were not freed";
    // Room for 31 letters and the zero.
    for (int i = 0; i < 33; i++)
        AddTrackedDrive("K:");
    EXPECT_EQ("1" + std::string(31, 'K'), Letters());
    const std::pair<DWORD, char> masks[] = {{1, 'A'}, {1 << 4, 'E'}, {(1 << 4) | (1 << 6), 'E'}, {1u << 25, 'Z'},
        {0, '['}, {1u << 26, '['}, {0xFC000000u, '['}, {0xFFFFFFFFu, 'A'}};
    for (auto& mask : masks)
        EXPECT_EQ(mask.second, UnitMaskToLetter(mask.first)) << std::hex << mask.first;
}
