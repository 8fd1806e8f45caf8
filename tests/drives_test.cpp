// The tracked-drive list: what the Wine suite cannot see on the real exe. (Scan, arrivals,
// removals and their order are checked there, through real broadcasts.)
#include "support.h"

class Drives : public HostTest { };

TEST_F(Drives, LettersComeFromRecordsLongEnoughAndFitTheirRoom)
{
    Describe(Stick('E') + Stick('F') + Stick('G'));
    ScanDrives();
    // A record too short for its unit mask names no drive; an arrival of a tracked letter adds
    // nothing.
    DWORD shortRemoval[5] = {sizeof(DEV_BROADCAST_HDR), DBT_DEVTYP_VOLUME, 0, 1 << 4, 0};
    DWORD arrival[5] = {sizeof(DEV_BROADCAST_VOLUME), DBT_DEVTYP_VOLUME, 0, 1 << 5, 0};
    EXPECT_EQ((V{0, 0}),
        (V{HandleDeviceChange(NULL, DBT_DEVICEREMOVECOMPLETE, (LPARAM)shortRemoval),
            HandleDeviceChange(NULL, DBT_DEVICEARRIVAL, (LPARAM)arrival)}));
    char letters[8];
    auto Letters = [&](int room) {
        return std::to_string(GetTrackedLetters((char*)memset(letters, 'x', 8), room)) + letters;
    };
    EXPECT_EQ((S{"1EFG", "1EF", "1"}), (S{Letters(8), Letters(3), Letters(1)}));
    // Removal compares the given string as a prefix of the stored one.
    EXPECT_EQ((V{0, 1, 1, 0}),
        (V{RemoveTrackedDrive("G:\\x"), RemoveTrackedDrive("G"), RemoveTrackedDrive("F:\\"), RemoveTrackedDrive("F")}));
    EXPECT_EQ((V{0, 0, 0}), (V{AddTrackedDrive(nullptr), RemoveTrackedDrive(nullptr), GetTrackedLetters(nullptr, 8)}));
    EXPECT_EQ(3u, HostHeapBlocks()) << "removed nodes or strings were not freed";
    const std::pair<DWORD, char> masks[] = {
        {1, 'A'}, {(1 << 4) | (1 << 6), 'E'}, {1u << 25, 'Z'}, {0, '['}, {1u << 26, '['}, {0xFFFFFFFFu, 'A'}};
    for (auto& mask : masks)
        EXPECT_EQ(mask.second, UnitMaskToLetter(mask.first)) << std::hex << mask.first;
}
