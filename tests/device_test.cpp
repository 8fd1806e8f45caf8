// From a drive letter to its device nodes and the identities in their instance IDs. (Ejection
// is checked on the real exe, in the Wine suite.)
#include "support.h"

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
        Stick('E') + "fail CM_Get_Parent 1\nvolume F disk 5\niface disk 5 105 1\nnode 105 205 0 -\nnode 205 0 0 -");
    EXPECT_EQ((V{0, 0, 0, 0, 0, 0}),
        (V{GetUsbIdentity(&usb, "E"), GetUsbIdentity(&usb, "F"), GetDiskIdentity(&disk, "F"),
            GetUsbIdentity(nullptr, "E"), GetDiskIdentity(&disk, nullptr), GetDiskIdentity(&disk, "G")}));
    EXPECT_EQ((S{"untouched", "untouched"}), (S{usb.vid, disk.vendor}));
}

TEST_F(Device, OnlyAResolvedDriveWhoseParentHasBothBitsIsARemovableUsbDrive)
{
    // Another device's disk with E's number, enumerated before E's, under a controller.
    const std::string decoy = "iface disk 4 999 1\nnode 999 998 0 SCSI\\DISK&VEN_X&PROD_Y&REV_1\\0\nnode 998 0 0 PCI\n";
    const std::string floppy = "iface floppy 4 999 1\nnode 999 998 0 FLOPPY\nnode 998 0 0 PCI\n";
    // E's volume and interface, and a disk node of its own status.
    const std::string disk = "volume E disk 4\niface disk 4 104 1\nnode 104 204 6000 D\n";
    // The machine, the removable test's answer for E, and the interface classes it searched.
    const std::tuple<std::string, int, int> cases[] = {{Stick('E'), 1, 2},
        // Only the USB device's status counts, never the disk's own.
        {disk + "node 204 0 4000 U", 0, 2}, {disk + "node 204 0 2000 U", 0, 2},
        {"volume E disk 4\niface disk 4 104 1\nnode 104 204 0 D\nnode 204 0 ffffffff U", 1, 2},
        {disk + "node 204 0 6000 U\nfail CM_Get_Parent 1", 0, 2}, {Stick('E') + "fail CM_Get_DevNode_Status 1", 0, 2},
        // A volume without a number, with all its bits set, or of another type: no search at all.
        {"volume E fail 4", -1, 0}, {"volume E disk 4294967295", -1, 0}, {"volume E other 4", -1, 0},
        {Stick('E') + "fail CreateFileA 1", -1, 0}, {Stick('E') + "fail DeviceIoControl 1", -1, 0},
        // Interfaces that cannot answer are skipped; the first match wins, a floppy drive's before a disk's.
        {decoy + Stick('E') + "fail SetupDiGetDeviceInterfaceDetailA 1", 1, 2},
        {decoy + Stick('E') + "fail SetupDiGetDeviceInterfaceDetailA 2", 1, 2},
        {decoy + Stick('E') + "fail CreateFileA 2", 1, 2}, {decoy + Stick('E') + "fail DeviceIoControl 2", 1, 2},
        {Stick('E') + decoy, 1, 2}, {floppy + Stick('E'), 0, 1}, {decoy + Stick('E'), 0, 2},
        // A CD-ROM volume is looked up in its own class only.
        {"volume E cdrom 4\niface floppy 4 104 1\niface disk 4 104 1\n" + StickNodes('E'), -1, 1},
        {"volume E cdrom 4\niface cdrom 4 104 1\n" + StickNodes('E'), 1, 1},
        {Stick('E') + "fail SetupDiGetClassDevsA 1", 1, 2}, {Stick('E') + "fail SetupDiEnumDeviceInterfaces 2", -1, 2}};
    for (const auto& [machine, removable, searches] : cases) {
        Describe(machine);
        EXPECT_EQ(
            (V{removable, searches, 0}), (V{IsRemovableUsbDrive("E:"), SimCount("SetupDiGetClassDevsA"), SimOpen()}))
            << machine;
    }
    // A device that is not present is not even opened.
    Describe("volume E disk 4\niface disk 4 104 0\n" + StickNodes('E'));
    EXPECT_EQ((V{-1, 1}), (V{IsRemovableUsbDrive("E"), SimCount("CreateFileA")}));
    DEVINST node = 0xDEADBEEF;
    EXPECT_EQ((V{0, 0, -1, 0xDEADBEEF}),
        (V{ResolveDriveDevice(nullptr, &node), ResolveDriveDevice("E", nullptr), IsRemovableUsbDrive(nullptr), node}));
}
