// From a drive letter to its device nodes, their identities, and ejection.
#include <algorithm>

#include "support.h"

class Device : public MachineTest { };

// An interface of another device with the given number, enumerated before all others.
static machine::Interface& Before(const GUID& interfaceClass, DWORD number, DEVINST parent = 1)
{
    machine::AddInterface(interfaceClass, machine::AddNode("SCSI\\DISK&VEN_X&PROD_Y&REV_1\\0", parent, 0), number);
    std::rotate(M().interfaces.begin(), M().interfaces.end() - 1, M().interfaces.end());
    return M().interfaces.front();
}

using Arrange = std::function<DEVINST(machine::UsbDrive&)>;
static Arrange Fails(std::function<void()> change)
{
    return [=](machine::UsbDrive&) { return change(), 0u; };
}
static Arrange Skips(std::function<void(machine::Interface&)> change)
{
    return [=](machine::UsbDrive& d) { return change(Before(GUID_DEVINTERFACE_DISK, 4)), d.disk; };
}

TEST_F(Device, ResolutionFindsTheFirstPresentMatchOfTheRightClass)
{
    const std::pair<const char*, Arrange> cases[] = {{"a stick", [](machine::UsbDrive& d) { return d.disk; }},
        {"no volume", Fails([] { M().volumes.erase('E'); })},
        {"volume not opened", Fails([] { M().volumes['E'].openFails = true; })},
        {"no number", Fails([] { M().volumes['E'].queryFails = true; })},
        {"number all ones", Fails([] { M().volumes['E'].number = 0xFFFFFFFF; })},
        {"other type", Fails([] { M().volumes['E'].type = 0x2d; })},
        {"other number", Fails([] { M().volumes['E'].number = 9; })},
        {"absent", Fails([] { M().interfaces[0].present = false; })},
        {"size 0", Skips([](machine::Interface& i) { i.detailSizeZero = true; })},
        {"no detail", Skips([](machine::Interface& i) { i.fetchFails = true; })},
        {"not opened", Skips([](machine::Interface& i) { i.openFails = true; })},
        {"no answer", Skips([](machine::Interface& i) { i.queryFails = true; })},
        {"other disk", Skips([](machine::Interface& i) { i.number = 7; })},
        {"first match",
            [](machine::UsbDrive& d) { return machine::AddInterface(GUID_DEVINTERFACE_DISK, 5, 4), d.disk; }},
        {"its own type ignored", [](machine::UsbDrive& d) { return M().interfaces[0].type = 2, d.disk; }},
        {"floppy first", [](machine::UsbDrive& d) { return Before(GUID_DEVINTERFACE_FLOPPY, 4, d.usb).node; }},
        {"CD-ROM in its class only",
            Fails([] { Before(GUID_DEVINTERFACE_FLOPPY, 4), M().volumes['E'].type = FILE_DEVICE_CD_ROM; })},
        {"CD-ROM", [](machine::UsbDrive& d) {
             M().volumes['E'].type = FILE_DEVICE_CD_ROM;
             return machine::AddInterface(GUID_DEVINTERFACE_CDROM, machine::AddNode("CD", d.usb, 0), 4, 2).node;
         }}};
    for (auto& c : cases) {
        machine::Reset();
        machine::UsbDrive stick = Stick('E');
        DEVINST expected = c.second(stick);
        for (const char* drive : {"E:\\", "E:", "E"}) {
            DEVINST node = 0xDEADBEEF;
            int resolved = ResolveDriveDevice(drive, &node);
            EXPECT_EQ((V{expected != 0, expected, expected ? 1 : -1}), (V{resolved, node, IsRemovableUsbDrive(drive)}))
                << c.first;
        }
        EXPECT_EQ(0u, M().openFiles.size() + M().openSets.size() + M().heapBlocks.size()) << c.first;
    }
    DEVINST node = 0xDEADBEEF;
    EXPECT_EQ((V{0, 0, -1, 0xDEADBEEF}),
        (V{ResolveDriveDevice(nullptr, &node), ResolveDriveDevice("E", nullptr), IsRemovableUsbDrive(nullptr), node}));
    // Any kind but CD-ROM and floppy searches the disk class.
    machine::Reset();
    DEVINST disk = Stick('E').disk, cdrom = Before(GUID_DEVINTERFACE_CDROM, 4).node;
    DEVINST floppy = Before(GUID_DEVINTERFACE_FLOPPY, 4).node;
    for (int kind : {0, 1, 2, 3, -1, 7})
        EXPECT_EQ(kind == 1 ? cdrom : kind == 2 ? floppy : disk, FindDiskDevInst(4, kind)) << kind;
}

TEST_F(Device, InstanceIdsParseMarkerByMarker)
{
    const std::string v(600, 'v'), p(600, 'p'), s(600, 's');
    const struct {
        std::string id;
        bool disk, result;
        S fields;
    } cases[] = {{"USBSTOR\\DISK&VEN_ACME&PROD_STICK&REV_1.00\\0123456789&0", true, true, {"ACME", "STICK", "1.00"}},
        {"USBSTOR\\DISK&VEN_&PROD_STICK&REV_\\X1", true, true, {"", "STICK", ""}},
        {"USBSTOR\\DISK&VEN_ACME&PROD_STICK&REV_1.00", true, false, {"ACME", "STICK", ""}},
        {"USBSTOR\\DISK&PROD_STICK&VEN_ACME&REV_1.00\\0", true, false, {"ACME", "", ""}},
        {"USBSTOR\\DISK&ven_ACME&PROD_STICK&REV_1.00\\0", true, false, {"", "", ""}},
        {"VEN_A\\B&PROD_C&REV_D\\E", true, true, {"A\\B", "C", "D"}}, {"", true, false, {"", "", ""}},
        {"VEN_" + v.substr(473) + "&PROD_" + p.substr(472) + "&REV_" + s + "\\", true, true,
            {v.substr(473), p.substr(473), s.substr(473)}},
        {"USB\\VID_1234&PID_5678\\0123456789", false, true, {"1234", "5678", "0123456789"}},
        {"USB\\VID_1234&PID_5678&MI_00\\6&1A2B3C4D&0&0000", false, true, {"1234", "5678&MI_00", "6&1A2B3C4D&0&0000"}},
        {"USB\\VID_1234&PID_5678\\", false, false, {"1234", "5678", ""}},
        {"USB\\VID_1234&PID_5678", false, false, {"1234", "", ""}},
        {"USB\\ROOT_HUB20\\4&1A2B3C4D&0", false, false, {"", "", ""}},
        {"USB\\VID_&PID_\\A\\B&C", false, true, {"", "", "A\\B&C"}},
        {"USB\\PID_5678&VID_1234&X\\S", false, false, {"1234", "", ""}},
        {"VID_" + v.substr(569) + "&PID_" + p.substr(568) + "\\" + s.substr(344), false, true,
            {v.substr(569), p.substr(569), s.substr(345)}},
        {"VID_" + v.substr(568) + "&PID_" + p.substr(569) + "\\" + s.substr(345), false, true,
            {v.substr(569), p.substr(569), s.substr(345)}}};
    for (auto& c : cases) {
        char record[385] = {};
        memset(record, 'x', 384);
        bool result = c.disk ? ParseDiskDeviceId(c.id.c_str(), (DiskIdentity*)record)
                             : ParseUsbDeviceId(c.id.c_str(), (UsbIdentity*)record);
        int width = c.disk ? 128 : 32;
        EXPECT_EQ(c.result, result) << c.id;
        EXPECT_EQ(c.fields, (S{record, record + width, record + 2 * width})) << c.id;
    }
}

TEST_F(Device, AnIdThatFillsItsBufferIsCutBeforeItsLastByte)
{
    for (size_t length : {108, 109, 400}) {
        machine::Reset();
        M().nodes[Stick('E').usb].instanceId =
            "USB\\VID_1&PID_" + std::string(900, 'p') + "\\" + std::string(length, 's');
        UsbIdentity usb;
        EXPECT_EQ(1, GetUsbIdentity(&usb, "E"));
        EXPECT_EQ(std::string(108, 's'), usb.serial) << length;
    }
}

TEST_F(Device, EjectionAsksTheUsbDeviceUpToThreeTimesWithAPauseAfterEachRefusal)
{
    const ULONG both = DN_REMOVABLE | DN_DISABLEABLE;
    const CONFIGRET no = CR_REMOVE_VETOED;
    const struct {
        std::deque<CONFIGRET> refusals;
        ULONG status;
        int result;
        const char* story; // E: eject request, Q: query-and-remove, s: pause, ?: another node
    } cases[] = {{{}, both, 1, "E"}, {{no}, both, 1, "EsE"}, {{CR_FAILURE, no}, DN_REMOVABLE, 1, "EsEsE"},
        {{no, no, no}, both, 0, "EsEsEs"}, {{no, no, no, no}, DN_DISABLEABLE, 0, "QsQsQs"}, {{}, 0, 1, "Q"},
        {{no}, 0xFFFFFFFF, 1, "QsQ"}};
    for (auto& c : cases) {
        machine::Reset();
        machine::UsbDrive stick = Stick('E', c.status);
        M().nodes[stick.usb].removalAnswers = c.refusals;
        M().nodes[stick.usb].statusFails = c.status == 0xFFFFFFFF; // unreadable: no removable bit
        EXPECT_EQ(c.result, EjectDrive("E"));
        std::string story;
        for (const machine::Call& call : M().calls)
            story += call.name == "Sleep"                                    ? "s"
                : call.name.find("CM_Request") && call.name.find("CM_Query") ? ""
                : call.args[0] != stick.usb                                  ? "?"
                : call.name[3] == 'R'                                        ? "E"
                                                                             : "Q";
        EXPECT_EQ(c.story, story) << std::hex << c.status;
        EXPECT_EQ(std::count(story.begin(), story.end(), 's') * 200u, M().now);
    }
    machine::Reset();
    M().nodes[Stick('E').disk].parentFails = true;
    EXPECT_EQ(0, EjectDrive("E") + EjectDrive("F") + EjectDrive(nullptr));
    EXPECT_EQ(0u, machine::CallsNamed("CM_Request_Device_EjectA").size() + M().now) << "a request without a device";
}
