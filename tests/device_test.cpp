// From a drive letter to its device nodes and the identities in their instance IDs. (Ejection
// is checked on the real exe, in the Wine suite.)
#include "support.h"

using V = std::vector<long long>;
using S = std::vector<std::string>;

class Device : public HostTest { };

TEST_F(Device, InstanceIdsParseMarkerByMarkerIntoTheirFields)
{
    auto n = [](int count, char c) { return std::string(count, c); };
    // The text, the parser and its answer, the three fields.
    const S cases[] = {{"USBSTOR\\DISK&VEN_&PROD_STICK&REV_\\X1", "disk 1", "", "STICK", ""},
        {"USBSTOR\\DISK&VEN_ACME&PROD_STICK&REV_1.00", "disk 0", "ACME", "STICK", ""},
        {"USBSTOR\\DISK&PROD_STICK&VEN_ACME&REV_1.00\\0", "disk 0", "ACME", "", ""},
        {"USBSTOR\\DISK&ven_ACME&PROD_STICK&REV_1.00\\0", "disk 0", "", "", ""},
        {"VEN_A&PROD_B\\C&REV_D\\E", "disk 1", "A", "B\\C", "D"},
        // Storport's IDs have no revision: the product ends at the instance part.
        {"SCSI\\DISK&VEN_SAMSUNG&PROD_PORTABLE_SSD_T5\\7&2A8B3C4D&0&000000", "disk 1", "SAMSUNG", "PORTABLE_SSD_T5",
            ""},
        {"SCSI\\CDROM&VEN_ASUS&PROD_SDRW-08D2S-U\\7&11E5D4A&0&000000", "disk 1", "ASUS", "SDRW-08D2S-U", ""},
        {"SCSI\\DISK&VEN_X&PROD_Y", "disk 0", "X", "", ""},
        {"VEN_" + n(127, 'v') + "&PROD_" + n(128, 'p') + "&REV_" + n(600, 'r') + "\\", "disk 1", n(127, 'v'),
            n(127, 'p'), n(127, 'r')},
        {"USB\\VID_1234&PID_5678&MI_00\\6&1A2B3C4D&0&0000", "usb 1", "1234", "5678&MI_00", "6&1A2B3C4D&0&0000"},
        {"USB\\VID_1234&PID_5678\\", "usb 0", "1234", "5678", ""}, {"USB\\VID_1234&PID_5678", "usb 0", "1234", "", ""},
        {"USB\\ROOT_HUB20\\4&1A2B3C4D&0", "usb 0", "", "", ""}, {"USB\\VID_&PID_\\A\\B&C", "usb 1", "", "", "A\\B&C"},
        {"USB\\PID_5678&VID_1234&X\\S", "usb 0", "1234", "", ""},
        {"VID_" + n(31, 'v') + "&PID_" + n(32, 'p') + "\\" + n(256, 's'), "usb 1", n(31, 'v'), n(31, 'p'),
            n(255, 's')}};
    for (const S& c : cases) {
        char record[385] = {};
        memset(record, 'x', 384);
        bool disk = c[1][0] == 'd';
        bool result = disk ? ParseDiskDeviceId(c[0].c_str(), (DiskIdentity*)record)
                           : ParseUsbDeviceId(c[0].c_str(), (UsbIdentity*)record);
        int width = disk ? 128 : 32;
        EXPECT_EQ(S(c.begin() + 1, c.end()),
            (S{(disk ? "disk " : "usb ") + std::to_string(result), record, record + width, record + 2 * width}));
    }
    // An ID read into its 1024-byte buffer is cut before the buffer's last byte; E:, E:\ and E alike.
    for (size_t length : {108, 109, 400}) {
        Describe("volume E disk 4\niface disk 4 104 1\nnode 104 204 0 USBSTOR\\DISK&VEN_V&PROD_P&REV_R\\0\n"
                 "node 204 0 6000 USB\\VID_1&PID_" +
            n(900, 'p') + "\\" + n(length, 's'));
        UsbIdentity usb;
        DiskIdentity disk;
        for (const char* drive : {"E", "E:", "E:\\"}) {
            EXPECT_EQ((V{1, 1}), (V{GetUsbIdentity(&usb, drive), GetDiskIdentity(&disk, drive)})) << length;
            EXPECT_EQ((S{n(108, 's'), "V", "P", "R"}), (S{usb.serial, disk.vendor, disk.product, disk.revision}));
        }
    }
    // The disk's own ID never passes for the USB device's, and an unreadable ID reads nothing.
    UsbIdentity usb = {"untouched", "", ""};
    DiskIdentity disk = {"untouched", "", ""};
    Describe(
        Machine("AcmeStick") + "fail CM_Get_Parent 1\nvolume F disk 5\niface disk 5 105 1\nnode 105 205 0 -\nnode 205 0 0 -");
    EXPECT_EQ((V{0, 0, 0, 0, 0, 0}),
        (V{GetUsbIdentity(&usb, "E"), GetUsbIdentity(&usb, "F"), GetDiskIdentity(&disk, "F"),
            GetUsbIdentity(nullptr, "E"), GetDiskIdentity(&disk, nullptr), GetDiskIdentity(&disk, "G")}));
    EXPECT_EQ((S{"untouched", "untouched"}), (S{usb.vid, disk.vendor}));
}

struct RemovableRow {
    const char* name;
    std::string machine;
    const char* drive;
    bool removable;
};

class Removable : public HostTest, public ::testing::WithParamInterface<RemovableRow> { };

// Another device's disk with E's number, enumerated before E's, under a controller.
const std::string DECOY = "iface disk 1 999 1\nnode 999 998 0 SCSI\\DISK&VEN_X&PROD_Y&REV_1\\0\nnode 998 0 0 PCI\n";
// E's volume and disk (removable itself, which never counts) below USB node 11.
const std::string UNDER_E =
    "volume E disk 1\niface disk 1 110 1\nnode 110 11 6000 USBSTOR\\DISK&VEN_V&PROD_P&REV_1\\0\n";

INSTANTIATE_TEST_SUITE_P(Device, Removable,
    ::testing::Values(RemovableRow{"AParentThatCannotBeRead", Machine("AcmeStick") + "fail CM_Get_Parent 1", "E:", false},
        RemovableRow{"AVolumeWithoutNumber", "volume E fail 1\n" + Machine("AcmeStick"), "E:", false},
        RemovableRow{"ANumberWithAllBitsSet", "volume E disk 4294967295\n" + Machine("AcmeStick"), "E:", false},
        RemovableRow{"AVolumeOfAnotherType", "volume E other 1\n" + Machine("AcmeStick"), "E:", false},
        RemovableRow{"ACdRomNeverAsADisk", "volume D cdrom 1\n" + Machine("AcmeStick"), "D:", false},
        RemovableRow{"ANodeWithoutMiIsNoInterface", 
            UNDER_E + "node 11 12 2000 USB\\VID_1&PID_2\\S\nnode 12 0 6000 USB\\VID_1&PID_3\\T", "E", false},
        RemovableRow{"NothingClimbsPastTheCompositeDevice", 
            UNDER_E + "node 11 12 2000 USB\\VID_1&PID_2&MI_00\\S\nnode 12 13 2000 USB\\VID_1&PID_2&MI_01\\T\n" +
                "node 13 0 6000 USB\\VID_1&PID_4\\U",
            "E", false},
        RemovableRow{"TheFirstMatchWins", DECOY + Machine("AcmeStick"), "E:\\", false},
        RemovableRow{"AStickEnumeratedFirst", Machine("AcmeStick") + DECOY, "E", true},
        RemovableRow{"ADecoyWithoutDetails", DECOY + Machine("AcmeStick") + "fail SetupDiGetDeviceInterfaceDetailA 1",
            "E", true},
        RemovableRow{"ADecoyThatCannotBeOpened", DECOY + Machine("AcmeStick") + "fail CreateFileA 2", "E", true},
        RemovableRow{"ADecoyWithoutNumber", DECOY + Machine("AcmeStick") + "fail DeviceIoControl 2", "E", true},
        RemovableRow{"AnEnumerationThatFails", Machine("AcmeStick") + "fail SetupDiEnumDeviceInterfaces 1", "E", false},
        RemovableRow{"ADeviceNotPresent", "volume E disk 1\niface disk 1 110 0\nnode 110 11 0 D\nnode 11 0 6000 U", "E", false}),
    ROW_NAMES);

TEST_P(Removable, DrivesAreRemovableUsbDrivesByTheirUsbDevice)
{
    Describe(GetParam().machine);
    EXPECT_EQ(GetParam().removable, IsRemovableUsbDrive(GetParam().drive) == 1);
}
