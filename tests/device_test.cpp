// The identities in instance IDs, and ejection.
#include "support.h"

class Device : public MachineTest { };

TEST_F(Device, InstanceIdsParseMarkerByMarkerIntoTheirFields)
{
    // The text, the parser and its answer, the three fields.
    const std::string v(600, 'v'), p(900, 'p'), s(600, 's');
    const S cases[] = {{"USBSTOR\\DISK&VEN_&PROD_STICK&REV_\\X1", "disk 1", "", "STICK", ""},
        {"USBSTOR\\DISK&VEN_ACME&PROD_STICK&REV_1.00", "disk 0", "ACME", "STICK", ""},
        {"USBSTOR\\DISK&PROD_STICK&VEN_ACME&REV_1.00\\0", "disk 0", "ACME", "", ""},
        {"USBSTOR\\DISK&ven_ACME&PROD_STICK&REV_1.00\\0", "disk 0", "", "", ""},
        {"VEN_A\\B&PROD_C&REV_D\\E", "disk 1", "A\\B", "C", "D"},
        {"VEN_" + v.substr(473) + "&PROD_" + p.substr(772) + "&REV_" + s + "\\", "disk 1", v.substr(473), p.substr(773),
            s.substr(473)},
        {"USB\\VID_1234&PID_5678&MI_00\\6&1A2B3C4D&0&0000", "usb 1", "1234", "5678&MI_00", "6&1A2B3C4D&0&0000"},
        {"USB\\VID_1234&PID_5678\\", "usb 0", "1234", "5678", ""}, {"USB\\VID_1234&PID_5678", "usb 0", "1234", "", ""},
        {"USB\\ROOT_HUB20\\4&1A2B3C4D&0", "usb 0", "", "", ""}, {"USB\\VID_&PID_\\A\\B&C", "usb 1", "", "", "A\\B&C"},
        {"USB\\PID_5678&VID_1234&X\\S", "usb 0", "1234", "", ""},
        {"VID_" + v.substr(569) + "&PID_" + p.substr(868) + "\\" + s.substr(344), "usb 1", v.substr(569), p.substr(869),
            s.substr(345)},
        {"VID_" + v.substr(568) + "&PID_" + p.substr(869) + "\\" + s.substr(345), "usb 1", v.substr(569), p.substr(869),
            s.substr(345)}};
    for (const S& c : cases) {
        char record[385] = {};
        memset(record, 'x', 384);
        bool disk = c[1][0] == 'd',
             result = disk ? ParseDiskDeviceId(c[0].c_str(), (DiskIdentity*)record)
                           : ParseUsbDeviceId(c[0].c_str(), (UsbIdentity*)record);
        int width = disk ? 128 : 32;
        EXPECT_EQ(S(c.begin() + 1, c.end()),
            (S{(disk ? "disk " : "usb ") + std::to_string(result), record, record + width, record + 2 * width}));
    }
    // An ID read into its 1024-byte buffer is cut before the buffer's last byte.
    DEVINST usbNode = Stick('E').usb;
    for (size_t length : {108, 109, 400}) {
        M().nodes[usbNode].instanceId = "USB\\VID_1&PID_" + p + "\\" + s.substr(0, length);
        UsbIdentity usb;
        EXPECT_EQ("1 " + s.substr(0, 108), std::to_string(GetUsbIdentity(&usb, "E")) + " " + usb.serial) << length;
    }
}

TEST_F(Device, EjectionAsksTheUsbDeviceUpToThreeTimesWithAPauseAfterEachRefusal)
{
    // Refusals, the USB device's status, the result, and what was done: E an eject request, Q a query-and-remove,
    // s a pause, ? a request on another node.
    const ULONG both = DN_REMOVABLE | DN_DISABLEABLE;
    const std::pair<V, const char*> cases[] = {{{0, both, 1}, "E"}, {{1, both, 1}, "EsE"},
        {{2, DN_REMOVABLE, 1}, "EsEsE"}, {{3, both, 0}, "EsEsEs"}, {{4, DN_DISABLEABLE, 0}, "QsQsQs"}, {{0, 0, 1}, "Q"},
        {{1, 0xFFFFFFFF, 1}, "QsQ"}};
    for (auto& c : cases) {
        machine::Reset();
        machine::UsbDrive stick = Stick('E', c.first[1]);
        M().nodes[stick.usb].removalAnswers.assign(c.first[0], CR_REMOVE_VETOED);
        M().nodes[stick.usb].statusFails = c.first[1] == 0xFFFFFFFF; // unreadable: no removable bit
        EXPECT_EQ(c.first[2], EjectDrive("E"));
        std::string story;
        for (const machine::Call& call : M().calls)
            story += call.name == "Sleep"                                    ? "s"
                : call.name.find("CM_Request") && call.name.find("CM_Query") ? ""
                : call.args[0] != stick.usb                                  ? "?"
                : call.name[3] == 'R'                                        ? "E"
                                                                             : "Q";
        EXPECT_EQ(c.second, story) << std::hex << c.first[1];
    }
    machine::Reset();
    M().nodes[Stick('E').disk].parentFails = true;
    EXPECT_EQ(0, EjectDrive("E") + EjectDrive("F") + EjectDrive(nullptr));
    EXPECT_EQ(0u, machine::CallsNamed("CM_Request_Device_EjectA").size() + M().now) << "a request without a device";
}
