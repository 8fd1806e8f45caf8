// The tracked-drive list: start-up scan, volume broadcasts, read-out.
#include "support.h"

class Drives : public HostTest { };

TEST_F(Drives, TheListFollowsScanArrivalsAndRemovals)
{
    char letters[TRACKED_LETTERS_SIZE + 8];
    auto Letters = [&](int room) {
        return std::to_string(GetTrackedLetters((char*)memset(letters, 'x', 40), room)) + letters;
    };
    // C a fixed disk, D a volume without a device.
    const std::string fixed = "volume C disk 30\niface disk 30 130 1\nnode 130 131 0 SCSI\\DISK&VEN_A&PROD_B\\4\n"
                              "node 131 0 2000 PCI\nvolume D disk 31\n";
    Describe(fixed + Stick('G') + Stick('E'));
    ASSERT_EQ(1, ScanDrives());
    EXPECT_EQ("E:\\ G:\\ ", Tracked());
    EXPECT_EQ("1EG", Letters(32));
    // Then E is pulled out, F and J plugged in, and K, whose USB device is not disableable.
    SimDescribe((fixed + Stick('G') + Stick('F') + Stick('J') + Stick('K', "4000")).c_str());
    const WPARAM in = DBT_DEVICEARRIVAL, out = DBT_DEVICEREMOVECOMPLETE;
    const DWORD volume = DBT_DEVTYP_VOLUME, C = 1 << 2, D = 1 << 3, E = 1 << 4, F = 1 << 5, G = 1 << 6, J = 1 << 9;
    const struct {
        WPARAM event;
        DWORD mask, type;
        const char* tracked;
        DWORD size = sizeof(DEV_BROADCAST_VOLUME);
    } steps[] = {{in, G, volume, "E:\\ G:\\ "}, {out, G, volume, "E:\\ "}, {in, F, volume, "E:\\ F: "},
        // A letter already tracked (a card put into a reader's slot) is not tracked twice.
        {in, F, volume, "E:\\ F: "}, {in, 1 << 10, volume, "E:\\ F: "},
        // The device is gone when its removal is broadcast: it is not looked at.
        {out, E, volume, "F: "}, {out, F, DBT_DEVTYP_PORT, "F: "}, {in, J, DBT_DEVTYP_DEVICEINTERFACE, "F: "},
        // Only the lowest drive of a mask counts; a record too short for its mask names no drive.
        {in, C | J, volume, "F: "}, {in, G, volume, "F: G: "}, {in, J, volume, "F: G: J: "},
        {out, F, volume, "F: G: J: ", 12}, {out, G | J, volume, "F: J: "}, {in, 0, volume, "F: J: "},
        {out, 0, volume, "F: J: "}, {in, D, volume, "F: J: "}};
    for (auto& step : steps) {
        DWORD broadcast[5] = {step.size, step.type, 0, step.mask, 0};
        EXPECT_EQ(0, HandleDeviceChange(NULL, step.event, (LPARAM)broadcast));
        EXPECT_EQ(step.tracked, Tracked()) << std::hex << step.event << " " << step.mask;
    }
    // Other events go to the default processing, whose answer is returned.
    EXPECT_EQ(HOST_DEFAULT_ANSWER, HandleDeviceChange(NULL, DBT_DEVNODES_CHANGED, 0));
    // The letters fill the room given, the zero always.
    EXPECT_EQ((S{"1FJ", "1F", "1"}), (S{Letters(32), Letters(2), Letters(1)}));
    // Removal compares the given string as a prefix of the stored one.
    EXPECT_EQ((V{0, 1, 1, 0}),
        (V{RemoveTrackedDrive("J:\\"), RemoveTrackedDrive("J"), RemoveTrackedDrive("F:"), RemoveTrackedDrive("F:")}));
    EXPECT_EQ((V{0, 0, 0}), (V{AddTrackedDrive(nullptr), RemoveTrackedDrive(nullptr), GetTrackedLetters(nullptr, 32)}));
    EXPECT_EQ(1u, HostHeapBlocks()) << "removed nodes or strings were not freed";
    const std::pair<DWORD, char> masks[] = {
        {1, 'A'}, {(1 << 4) | (1 << 6), 'E'}, {1u << 25, 'Z'}, {0, '['}, {1u << 26, '['}, {0xFFFFFFFFu, 'A'}};
    for (auto& mask : masks)
        EXPECT_EQ(mask.second, UnitMaskToLetter(mask.first)) << std::hex << mask.first;
}
