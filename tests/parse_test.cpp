// The instance-ID parsers, on text alone.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "../device/device.h"

struct DiskCase {
    const char* id;
    bool result;
    const char* vendor;
    const char* product;
    const char* revision;
};

static const DiskCase DISK_CASES[] = {
    {"USBSTOR\\DISK&VEN_ACME&PROD_STICK&REV_1.00\\0123456789&0", true, "ACME", "STICK", "1.00"},
    {"USBSTOR\\DISK&VEN_&PROD_STICK&REV_\\X1", true, "", "STICK", ""},
    {"USBSTOR\\DISK&VEN_ACME&PROD_STICK&REV_1.00", false, "ACME", "STICK", ""},
    {"USBSTOR\\DISK&PROD_STICK&VEN_ACME&REV_1.00\\0", false, "ACME", "", ""},
    {"USBSTOR\\DISK&ven_ACME&PROD_STICK&REV_1.00\\0", false, "", "", ""},
    {"USBSTOR\\DISK&VEN_&PROD_&REV_\\0", true, "", "", ""},
    // A value runs past a backslash to its own end character.
    {"VEN_A\\B&PROD_C&REV_D\\E", true, "A\\B", "C", "D"},
    {"USBSTOR\\DISK&VEN_ACME", false, "", "", ""},
    {"", false, "", "", ""},
};

TEST(ParseDiskDeviceId, WorkedExamples)
{
    for (const DiskCase& c : DISK_CASES) {
        DiskIdentity identity;
        memset(&identity, 0x5A, sizeof(identity));
        EXPECT_EQ(c.result, ParseDiskDeviceId(c.id, &identity)) << c.id;
        EXPECT_STREQ(c.vendor, identity.vendor) << c.id;
        EXPECT_STREQ(c.product, identity.product) << c.id;
        EXPECT_STREQ(c.revision, identity.revision) << c.id;
    }
}

struct UsbCase {
    const char* id;
    bool result;
    const char* vid;
    const char* pid;
    const char* serial;
};

static const UsbCase USB_CASES[] = {
    {"USB\\VID_1234&PID_5678\\0123456789", true, "1234", "5678", "0123456789"},
    {"USB\\VID_1234&PID_5678&MI_00\\6&1A2B3C4D&0&0000", true, "1234", "5678&MI_00", "6&1A2B3C4D&0&0000"},
    {"USB\\VID_1234&PID_5678\\", false, "1234", "5678", ""},
    {"USB\\VID_1234&PID_5678", false, "1234", "", ""},
    {"USB\\ROOT_HUB20\\4&1A2B3C4D&0", false, "", "", ""},
    {"USB\\VID_&PID_\\S", true, "", "", "S"},
    {"USB\\VID_1234&PID_5678\\A\\B&C", true, "1234", "5678", "A\\B&C"},
    {"USB\\PID_5678&VID_1234&X\\S", false, "1234", "", ""},
    {"", false, "", "", ""},
};

TEST(ParseUsbDeviceId, WorkedExamples)
{
    for (const UsbCase& c : USB_CASES) {
        UsbIdentity identity;
        memset(&identity, 0x5A, sizeof(identity));
        EXPECT_EQ(c.result, ParseUsbDeviceId(c.id, &identity)) << c.id;
        EXPECT_STREQ(c.vid, identity.vid) << c.id;
        EXPECT_STREQ(c.pid, identity.pid) << c.id;
        EXPECT_STREQ(c.serial, identity.serial) << c.id;
    }
}

// Values at and over their field's width: cut to width - 1, zero kept.
TEST(ParseDeviceIds, LongValuesAreCutToTheirField)
{
    struct Case {
        size_t length;
        size_t kept;
    };
    for (Case c : {Case{127, 127}, Case{128, 127}, Case{600, 127}}) {
        std::string value(c.length, 'v');
        std::string id = "VEN_" + value + "&PROD_" + value + "&REV_" + value + "\\0";
        DiskIdentity disk;
        memset(&disk, 0x5A, sizeof(disk));
        EXPECT_TRUE(ParseDiskDeviceId(id.c_str(), &disk)) << c.length;
        EXPECT_EQ(c.kept, strlen(disk.vendor)) << c.length;
        EXPECT_EQ(c.kept, strlen(disk.product)) << c.length;
        EXPECT_EQ(c.kept, strlen(disk.revision)) << c.length;
    }
    for (Case c : {Case{31, 31}, Case{32, 31}, Case{255, 31}}) {
        std::string value(c.length, 'p');
        std::string id = "USB\\VID_" + value + "&PID_" + value + "\\S";
        UsbIdentity usb;
        memset(&usb, 0x5A, sizeof(usb));
        EXPECT_TRUE(ParseUsbDeviceId(id.c_str(), &usb)) << c.length;
        EXPECT_EQ(c.kept, strlen(usb.vid)) << c.length;
        EXPECT_EQ(c.kept, strlen(usb.pid)) << c.length;
        EXPECT_STREQ("S", usb.serial);
    }
    for (Case c : {Case{255, 255}, Case{256, 255}, Case{900, 255}}) {
        std::string id = "USB\\VID_1&PID_2\\" + std::string(c.length, 's');
        UsbIdentity usb;
        memset(&usb, 0x5A, sizeof(usb));
        EXPECT_TRUE(ParseUsbDeviceId(id.c_str(), &usb)) << c.length;
        EXPECT_EQ(c.kept, strlen(usb.serial)) << c.length;
    }
}
