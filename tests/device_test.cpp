// From a drive letter to its device nodes and the identities in their instance IDs. (Ejection
// is checked on the real exe, in the Wine suite.)
#include "support.h"

class Device : public HostTest { };

TEST_F(Device, DiskIdsReadMarkerByMarker)
{
    // A field left without its terminator runs into the next.
    char record[sizeof(DiskIdentity) + 1] = {};
    memset(record, 'x', sizeof(DiskIdentity));
    DiskIdentity* disk = (DiskIdentity*)record;
    EXPECT_TRUE(ParseDiskDeviceId("USBSTOR\\DISK&VEN_&PROD_STICK&REV_\\X1", disk));
    EXPECT_STREQ("", disk->vendor) << "an empty vendor";
    EXPECT_STREQ("STICK", disk->product);
    EXPECT_STREQ("", disk->revision) << "an empty revision";
    EXPECT_FALSE(ParseDiskDeviceId("USBSTOR\\DISK&VEN_ACME&PROD_STICK&REV_1.00", disk)) << "no instance part";
}

TEST_F(Device, UsbIdsAreCutToTheirFields)
{
    std::string id = "USB\\VID_" + std::string(40, 'v') + "&PID_" + std::string(40, 'p') + "\\" + std::string(300, 's');
    UsbIdentity usb;
    EXPECT_TRUE(ParseUsbDeviceId(id.c_str(), &usb));
    EXPECT_EQ(std::string(31, 'v'), usb.vid);
    EXPECT_EQ(std::string(31, 'p'), usb.pid);
    EXPECT_EQ(std::string(255, 's'), usb.serial);
}

struct RemovableRow {
    const char* name;
    std::string machine;
    const char* drive;
    bool removable;
};

class Removable : public HostTest, public ::testing::WithParamInterface<RemovableRow> { };

// E's volume and disk (removable itself, which never counts) below USB node 11.
const std::string UNDER_E =
    "volume E disk 1\niface disk 1 110 1\nnode 110 11 6000 USBSTOR\\DISK&VEN_V&PROD_P&REV_1\\0\n";

INSTANTIATE_TEST_SUITE_P(Device, Removable,
    ::testing::Values(RemovableRow{"AVolumeOfAnotherType", "volume E other 1\n" + Machine("AcmeStick"), "E:", false},
        RemovableRow{"ANodeWithoutMiIsNoInterface",
            UNDER_E + "node 11 12 2000 USB\\VID_1&PID_2\\S\nnode 12 0 6000 USB\\VID_1&PID_3\\T", "E", false},
        RemovableRow{"NothingClimbsPastTheCompositeDevice",
            UNDER_E + "node 11 12 2000 USB\\VID_1&PID_2&MI_00\\S\nnode 12 13 2000 USB\\VID_1&PID_2&MI_01\\T\n" +
                "node 13 0 6000 USB\\VID_1&PID_4\\U",
            "E", false},
        // The system disk's interface is enumerated first.
        RemovableRow{"AnInterfaceWithoutDetailsIsPassedOver",
            Machine("InternalNvme AcmeStick") + "fail SetupDiGetDeviceInterfaceDetailA \\\\?\\sim#disk#0#100", "E",
            true},
        RemovableRow{"AnInterfaceThatCannotBeOpenedIsPassedOver",
            Machine("InternalNvme AcmeStick") + "fail CreateFileA \\\\?\\sim#disk#0#100", "E", true}),
    ROW_NAMES);

TEST_P(Removable, DrivesAreRemovableUsbDrivesByTheirUsbDevice)
{
    Describe(GetParam().machine);
    EXPECT_EQ(GetParam().removable, IsRemovableUsbDrive(GetParam().drive) == 1);
}
