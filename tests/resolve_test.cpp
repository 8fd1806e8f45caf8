// From a drive letter to its disk node, and the removable test.
#include "support.h"

using machine::M;

class Resolve : public MachineTest {
protected:
    void ExpectAllReleased()
    {
        EXPECT_TRUE(M().openFiles.empty()) << M().openFiles.size() << " handles left open";
        EXPECT_TRUE(M().openSets.empty()) << M().openSets.size() << " device sets left open";
        EXPECT_TRUE(M().heapBlocks.empty()) << M().heapBlocks.size() << " heap blocks left";
    }
};

TEST_F(Resolve, DriveStringsWithTheSameLetterResolveAlike)
{
    machine::UsbDrive stick = machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
    for (const char* drive : {"E:\\", "E:", "E"}) {
        DEVINST node = 0xdeadbeef;
        EXPECT_EQ(1, ResolveDriveDevice(drive, &node)) << drive;
        EXPECT_EQ(stick.disk, node) << drive;
        EXPECT_EQ(1, IsRemovableUsbDrive(drive)) << drive;
    }
    ExpectAllReleased();
}

TEST_F(Resolve, VolumesAreOpenedForQueriesOnly)
{
    machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
    DEVINST node = 0;
    ResolveDriveDevice("E:", &node);
    auto opens = machine::CallsNamed("CreateFileA");
    ASSERT_GE(opens.size(), 2u);
    EXPECT_EQ("\\\\.\\E:", opens[0].text);
    for (const machine::Call& open : opens) {
        EXPECT_EQ(0, open.args[0]) << "desired access for " << open.text;
        EXPECT_EQ(FILE_SHARE_READ | FILE_SHARE_WRITE, open.args[1]) << open.text;
        EXPECT_EQ(OPEN_EXISTING, open.args[2]) << open.text;
    }
}

TEST_F(Resolve, FailuresLeaveTheNodeAtZero)
{
    struct Case {
        const char* what;
        std::function<void()> arrange;
        int removable;
    };
    const Case cases[] = {
        {"no such letter", [] { M().volumes.erase('E'); }, -1},
        {"volume cannot be opened", [] { M().volumes['E'].openFails = true; }, -1},
        {"number query fails", [] { M().volumes['E'].queryFails = true; }, -1},
        {"number is the no-number sentinel", [] { M().volumes['E'].number = 0xFFFFFFFF; }, -1},
        {"other device type", [] { M().volumes['E'].type = 0x2d; }, -1},
        {"no interface with that number", [] { M().volumes['E'].number = 9; }, -1},
        {"interface not present", [] { M().interfaces[0].present = false; }, -1},
    };
    for (const Case& c : cases) {
        machine::Reset();
        machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
        c.arrange();
        DEVINST node = 0xdeadbeef;
        EXPECT_EQ(0, ResolveDriveDevice("E:", &node)) << c.what;
        EXPECT_EQ(0u, node) << c.what;
        EXPECT_EQ(c.removable, IsRemovableUsbDrive("E:")) << c.what;
        ExpectAllReleased();
    }
}

TEST_F(Resolve, OtherDeviceTypesSearchNoClass)
{
    machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
    M().volumes['E'].type = 0x2d;
    DEVINST node = 0;
    ResolveDriveDevice("E", &node);
    EXPECT_TRUE(machine::CallsNamed("SetupDiGetClassDevsA").empty());
}

TEST_F(Resolve, NullArgumentsWriteNothing)
{
    machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
    DEVINST node = 0xdeadbeef;
    EXPECT_EQ(0, ResolveDriveDevice(nullptr, &node));
    EXPECT_EQ(0xdeadbeefu, node);
    EXPECT_EQ(0, ResolveDriveDevice("E", nullptr));
    EXPECT_EQ(-1, IsRemovableUsbDrive(nullptr));
    EXPECT_TRUE(M().calls.empty());
}

TEST_F(Resolve, FloppyClassIsSearchedBeforeDiskClass)
{
    machine::UsbDrive stick = machine::AddUsbDrive('E', 0, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
    DEVINST floppy = machine::AddNode("FDC\\GENERIC_FLOPPY_DRIVE\\0", 1, 0);
    machine::AddInterface(GUID_DEVINTERFACE_FLOPPY, floppy, 0);
    DEVINST node = 0;
    EXPECT_EQ(1, ResolveDriveDevice("E", &node));
    EXPECT_EQ(floppy, node);
    M().interfaces.back().number = 3;
    EXPECT_EQ(1, ResolveDriveDevice("E", &node));
    EXPECT_EQ(stick.disk, node);
    ExpectAllReleased();
}

TEST_F(Resolve, CdRomVolumesAreSearchedInTheCdRomClassOnly)
{
    DEVINST disk = machine::AddNode("USBSTOR\\DISK&VEN_A&PROD_B&REV_1\\0", 1, 0);
    machine::AddInterface(GUID_DEVINTERFACE_DISK, disk, 0);
    machine::AddVolume('F', 0, FILE_DEVICE_CD_ROM);
    DEVINST node = 0;
    EXPECT_EQ(0, ResolveDriveDevice("F", &node));
    DEVINST cdrom = machine::AddNode("USBSTOR\\CDROM&VEN_A&PROD_B&REV_1\\0", 1, 0);
    machine::AddInterface(GUID_DEVINTERFACE_CDROM, cdrom, 0, FILE_DEVICE_CD_ROM);
    EXPECT_EQ(1, ResolveDriveDevice("F", &node));
    EXPECT_EQ(cdrom, node);
    ExpectAllReleased();
}

// Interfaces that cannot answer are skipped; the walk goes on to the match.
TEST_F(Resolve, BrokenInterfacesAreSkipped)
{
    const std::vector<std::pair<const char*, std::function<void(machine::Interface&)>>> breaks = {
        {"detail size 0", [](machine::Interface& i) { i.detailSizeZero = true; }},
        {"detail fetch fails", [](machine::Interface& i) { i.fetchFails = true; }},
        {"open fails", [](machine::Interface& i) { i.openFails = true; }},
        {"number query fails", [](machine::Interface& i) { i.queryFails = true; }},
        {"other number", [](machine::Interface& i) { i.number = 7; }},
    };
    for (auto& broken : breaks) {
        machine::Reset();
        DEVINST decoy = machine::AddNode("USBSTOR\\DISK&VEN_X&PROD_Y&REV_1\\0", 1, 0);
        machine::Interface& first = machine::AddInterface(GUID_DEVINTERFACE_DISK, decoy, 2);
        broken.second(first);
        machine::UsbDrive stick = machine::AddUsbDrive('E', 2, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
        DEVINST node = 0;
        EXPECT_EQ(1, ResolveDriveDevice("E", &node)) << broken.first;
        EXPECT_EQ(stick.disk, node) << broken.first;
        ExpectAllReleased();
    }
}

TEST_F(Resolve, EmptyClassOpensNothing)
{
    machine::AddVolume('E', 0);
    DEVINST node = 0;
    EXPECT_EQ(0, ResolveDriveDevice("E", &node));
    EXPECT_EQ(1u, machine::CallsNamed("CreateFileA").size());
    EXPECT_EQ(2u, machine::CallsNamed("SetupDiDestroyDeviceInfoList").size());
    ExpectAllReleased();
}

TEST_F(Resolve, RemovableTestNeedsBothBitsOnTheParent)
{
    struct Case {
        ULONG usbStatus;
        int expected;
    };
    for (Case c : {Case{DN_REMOVABLE | DN_DISABLEABLE, 1}, Case{DN_REMOVABLE, 0}, Case{DN_DISABLEABLE, 0}, Case{0, 0},
             Case{0xFFFFFFFF, 1}}) {
        machine::Reset();
        machine::UsbDrive stick =
            machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"), c.usbStatus);
        // The disk node's own bits never count.
        M().nodes[stick.disk].status = c.expected ? 0 : DN_REMOVABLE | DN_DISABLEABLE;
        EXPECT_EQ(c.expected, IsRemovableUsbDrive("E:")) << std::hex << c.usbStatus;
    }
}

TEST_F(Resolve, RemovableTestWithoutParentOrStatusIsNotRemovable)
{
    machine::UsbDrive stick = machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
    M().nodes[stick.usb].statusFails = true;
    EXPECT_EQ(0, IsRemovableUsbDrive("E:"));
    M().nodes[stick.usb].statusFails = false;
    M().nodes[stick.disk].parentFails = true;
    EXPECT_EQ(0, IsRemovableUsbDrive("E:"));
}
