// The tracked-drive list as broadcasts change it. (The start-up scan, arrivals, a port leaving
// and the menus they feed are checked on the real exe, in the Wine suite.)
#include "support.h"

#include <stddef.h>

struct BroadcastRow {
    const char* name;
    const char* before; // the devices at start, scanned
    const char* after; // the devices when the removal is broadcast
    DWORD record[5]; // size, type, 0, the letters named and the flags, as DEV_BROADCAST_VOLUME has them
    const char* tracked; // the letters tracked afterwards
};

class Broadcasts : public HostTest, public ::testing::WithParamInterface<BroadcastRow> { };

const DWORD D = 1 << ('D' - 'A'), E = 1 << ('E' - 'A'), WHOLE = sizeof(DEV_BROADCAST_VOLUME);

INSTANTIATE_TEST_SUITE_P(Drives, Broadcasts,
    ::testing::Values(BroadcastRow{"AMediaRemovalOfADriveGoneRemovesIt", "UsbDvdDrive", "",
                          {WHOLE, DBT_DEVTYP_VOLUME, 0, D, DBTF_MEDIA}, ""},
        BroadcastRow{"ARecordTooShortForItsMaskNamesNoDrive", "AcmeStick", "",
            {sizeof(DEV_BROADCAST_HDR), DBT_DEVTYP_VOLUME, 0, E}, "E"},
        BroadcastRow{"ARecordTooShortForItsFlagsNamesNoMediaChange", "AcmeStick", "AcmeStick",
            {offsetof(DEV_BROADCAST_VOLUME, dbcv_flags), DBT_DEVTYP_VOLUME, 0, E, DBTF_MEDIA}, ""}),
    ROW_NAMES);

TEST_P(Broadcasts, ChangeTheTrackedDrives)
{
    Describe(Machine(GetParam().before));
    ScanDrives();
    SimDescribe(Machine(GetParam().after).c_str());
    HandleDeviceChange(NULL, DBT_DEVICEREMOVECOMPLETE, (LPARAM)GetParam().record);
    EXPECT_EQ(GetParam().tracked, Tracked());
}
