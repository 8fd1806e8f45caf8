// From a drive letter to its device nodes and the identities in their instance IDs. (Ejection
// is checked on the real exe, in the Wine suite.)
#include "support.h"

struct ParseRow {
    const char* name;
    std::string id; // a disk's
    bool parsed;
    std::string vendor = "", product = "", revision = "";
};

class Parse : public HostTest, public ::testing::WithParamInterface<ParseRow> { };

INSTANTIATE_TEST_SUITE_P(Device, Parse,
    ::testing::Values(ParseRow{"EmptyValues", "USBSTOR\\DISK&VEN_&PROD_STICK&REV_\\X1", true, "", "STICK", ""},
        ParseRow{"TheRevisionEndsAtTheInstancePart", "USBSTOR\\DISK&VEN_ACME&PROD_STICK&REV_1.00", false},
        ParseRow{"StorportsIdsWithoutRevision", "SCSI\\DISK&VEN_SAMSUNG&PROD_PORTABLE_SSD_T5\\7&2A8B3C4D&0&000000",
            true, "SAMSUNG", "PORTABLE_SSD_T5", ""}),
    ROW_NAMES);

TEST_P(Parse, DiskIdsMarkerByMarker)
{
    // A field left without its terminator runs into the next.
    char record[sizeof(DiskIdentity) + 1] = {};
    memset(record, 'x', sizeof(DiskIdentity));
    DiskIdentity* disk = (DiskIdentity*)record;
    EXPECT_EQ(GetParam().parsed, ParseDiskDeviceId(GetParam().id.c_str(), disk));
    if (GetParam().parsed) {
        EXPECT_EQ(GetParam().vendor, disk->vendor);
        EXPECT_EQ(GetParam().product, disk->product);
        EXPECT_EQ(GetParam().revision, disk->revision);
    }
}

class Device : public HostTest { };

TEST_F(Device, UsbIdsAreCutToTheirBufferAndFields)
{
    // E's USB device's ID is longer than the 1024 bytes it is read into, its serial from the 955th
    // character on; F's serial is 300 characters long.
    Describe("volume E disk 4\niface disk 4 104 1\nnode 104 204 0 D\nnode 204 0 6000 USB\\VID_" + std::string(40, 'v') +
        "&PID_" + std::string(900, 'p') + "\\" + std::string(400, 's') +
        "\nvolume F disk 5\niface disk 5 105 1\nnode 105 205 0 D\nnode 205 0 6000 USB\\VID_1&PID_2\\" +
        std::string(300, 's'));
    UsbIdentity e, f;
    EXPECT_TRUE(GetUsbIdentity(&e, "E"));
    EXPECT_EQ(std::string(31, 'v'), e.vid);
    EXPECT_EQ(std::string(31, 'p'), e.pid);
    EXPECT_EQ(std::string(69, 's'), e.serial);
    EXPECT_TRUE(GetUsbIdentity(&f, "F"));
    EXPECT_EQ(std::string(255, 's'), f.serial);
}

struct RemovableRow {
    const char* name;
    std::string machine;
    const char* drive;
    bool removable;
};

class Removable : public HostTest, public ::testing::WithParamInterface<RemovableRow> { };

// Another device's disk with E's number, enumerated before E's, under a controller; its interface path.
const std::string DECOY = "iface disk 1 999 1\nnode 999 998 0 SCSI\\DISK&VEN_X&PROD_Y&REV_1\\0\nnode 998 0 0 PCI\n";
const std::string DECOY_PATH = "\\\\?\\sim#disk#1#999";
// E's volume and disk (removable itself, which never counts) below USB node 11.
const std::string UNDER_E =
    "volume E disk 1\niface disk 1 110 1\nnode 110 11 6000 USBSTOR\\DISK&VEN_V&PROD_P&REV_1\\0\n";

INSTANTIATE_TEST_SUITE_P(Device, Removable,
    ::testing::Values(
        RemovableRow{"AParentThatCannotBeRead",
            Machine("AcmeStick") + "fail CM_Get_Parent USBSTOR\\DISK&VEN_ACME&PROD_STICK&REV_1.00\\0123456789&0",
            "E:", false},
        RemovableRow{"AVolumeOfAnotherType", "volume E other 1\n" + Machine("AcmeStick"), "E:", false},
        RemovableRow{"ANodeWithoutMiIsNoInterface",
            UNDER_E + "node 11 12 2000 USB\\VID_1&PID_2\\S\nnode 12 0 6000 USB\\VID_1&PID_3\\T", "E", false},
        RemovableRow{"NothingClimbsPastTheCompositeDevice",
            UNDER_E + "node 11 12 2000 USB\\VID_1&PID_2&MI_00\\S\nnode 12 13 2000 USB\\VID_1&PID_2&MI_01\\T\n" +
                "node 13 0 6000 USB\\VID_1&PID_4\\U",
            "E", false},
        RemovableRow{"TheFirstMatchWins", DECOY + Machine("AcmeStick"), "E:\\", false},
        RemovableRow{"ADecoyWithoutDetails",
            DECOY + Machine("AcmeStick") + "fail SetupDiGetDeviceInterfaceDetailA " + DECOY_PATH, "E", true},
        RemovableRow{
            "ADecoyThatCannotBeOpened", DECOY + Machine("AcmeStick") + "fail CreateFileA " + DECOY_PATH, "E", true}),
    ROW_NAMES);

TEST_P(Removable, DrivesAreRemovableUsbDrivesByTheirUsbDevice)
{
    Describe(GetParam().machine);
    EXPECT_EQ(GetParam().removable, IsRemovableUsbDrive(GetParam().drive) == 1);
}
