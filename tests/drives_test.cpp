// The tracked-drive list as broadcasts change it. (The start-up scan and the menus it feeds are
// checked on the real exe, in the Wine suite.)
#include "support.h"

struct BroadcastRow {
    const char* name;
    const char* before; // the devices at start, scanned
    const char* after; // the devices when the broadcast comes
    WPARAM event;
    DWORD type;
    DWORD mask; // the letters named
    WORD flags;
    const char* tracked; // the letters tracked afterwards
};

class Broadcasts : public HostTest, public ::testing::WithParamInterface<BroadcastRow> { };

const DWORD NO = 1 << ('N' - 'A') | 1 << ('O' - 'A');

INSTANTIATE_TEST_SUITE_P(Drives, Broadcasts,
    ::testing::Values(BroadcastRow{"AMediaRemovalOfADriveGoneRemovesIt", "UsbDvdDrive", "", DBT_DEVICEREMOVECOMPLETE,
            DBT_DEVTYP_VOLUME, 1 << 3, DBTF_MEDIA, ""},
        // A serial adapter leaving: its port name's bytes are no unit mask.
        BroadcastRow{"APortLeavingRemovesNoDrive", "AcmeStick TwoVolumeStick", "AcmeStick TwoVolumeStick",
            DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_PORT, 0x334D4F43, 0, "ENO"},
        BroadcastRow{"NoLetterBelowBit26IsNoDrive", "AcmeStick", "AcmeStick", DBT_DEVICEREMOVECOMPLETE,
            DBT_DEVTYP_VOLUME, 0xFC000000, 0, "E"}),
    ROW_NAMES);

TEST_P(Broadcasts, ChangeTheTrackedDrives)
{
    const BroadcastRow& row = GetParam();
    Describe(Machine(row.before));
    ScanDrives();
    SimDescribe(Machine(row.after).c_str());
    DWORD record[5] = {sizeof(DEV_BROADCAST_VOLUME), row.type, 0, row.mask, row.flags};
    EXPECT_EQ(0, HandleDeviceChange(NULL, row.event, (LPARAM)record));
    EXPECT_EQ(row.tracked, Tracked());
}

class Drives : public HostTest { };

TEST_F(Drives, LettersComeFromRecordsLongEnoughAndFitTheirRoom)
{
    Describe(Machine("AcmeStick UasSsd TwoVolumeStick"));
    ScanDrives();
    // A record too short for its unit mask names no drive.
    DWORD shortRemoval[5] = {sizeof(DEV_BROADCAST_HDR), DBT_DEVTYP_VOLUME, 0, 1 << 4, 0};
    HandleDeviceChange(NULL, DBT_DEVICEREMOVECOMPLETE, (LPARAM)shortRemoval);
    char letters[8];
    auto Letters = [&](int room) { return GetTrackedLetters((char*)memset(letters, 'x', 8), room), std::string(letters); };
    EXPECT_EQ("EFNO", Letters(8));
    EXPECT_EQ("EF", Letters(3));
    EXPECT_EQ("", Letters(1));
    // Removal compares the given string as a prefix of the stored one.
    EXPECT_EQ(0, RemoveTrackedDrive("O:\\x"));
    EXPECT_EQ(1, RemoveTrackedDrive("O"));
    EXPECT_EQ(1, RemoveTrackedDrive("N:\\"));
    EXPECT_EQ(0, RemoveTrackedDrive("N"));
}
