// The tracked-drive list: start-up scan, volume broadcasts, read-out.
#include "support.h"

using machine::M;

class Drives : public MachineTest {
protected:
    void SetUp() override
    {
        MachineTest::SetUp();
        ASSERT_EQ(1, CreateTrackedDriveList());
    }

    static LRESULT Broadcast(WPARAM event, DWORD unitMask, DWORD deviceType = DBT_DEVTYP_VOLUME)
    {
        DEV_BROADCAST_VOLUME volume = {};
        volume.dbcv_size = sizeof(volume);
        volume.dbcv_devicetype = deviceType;
        volume.dbcv_unitmask = unitMask;
        return MainWndProc(nullptr, WM_DEVICECHANGE, event, (LPARAM)&volume);
    }

    static std::string Letters()
    {
        char letters[TRACKED_LETTERS_SIZE];
        memset(letters, 0x5A, sizeof(letters));
        EXPECT_EQ(1, GetTrackedLetters(letters, TRACKED_LETTERS_SIZE));
        return letters;
    }

    // A fixed disk C: and a USB stick E: before the scan.
    static void FixedDiskAndStick()
    {
        DEVINST controller = machine::AddNode("PCI\\VEN_8086&DEV_A102\\3&11583659&0&B8", 1, DN_DISABLEABLE);
        DEVINST disk = machine::AddNode("SCSI\\DISK&VEN_ATA&PROD_SSD&REV_1\\4&0", controller, 0);
        machine::AddInterface(GUID_DEVINTERFACE_DISK, disk, 0);
        machine::AddVolume('C', 0);
        machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
    }
};

TEST_F(Drives, TheListFollowsScanArrivalAndRemoval)
{
    FixedDiskAndStick();
    EXPECT_EQ(1, ScanDrives());
    EXPECT_EQ("E:\\", TrackedList());
    EXPECT_EQ("E", Letters());

    machine::AddUsbDrive('F', 2, DISK_ID("ACME", "CARD"), USB_ID("1234", "9999", "S2"));
    EXPECT_EQ(0, Broadcast(DBT_DEVICEARRIVAL, 1 << 5));
    EXPECT_EQ("E:\\ F:", TrackedList());
    EXPECT_EQ("EF", Letters());

    EXPECT_EQ(0, Broadcast(DBT_DEVICEREMOVECOMPLETE, 1 << 4));
    EXPECT_EQ("F:", TrackedList());

    EXPECT_EQ(0, Broadcast(DBT_DEVICEREMOVECOMPLETE, 1 << 6));
    EXPECT_EQ("F:", TrackedList());
    EXPECT_EQ(0, Broadcast(DBT_DEVICEREMOVECOMPLETE, 1 << 5));
    EXPECT_EQ("", TrackedList());
    EXPECT_EQ("", Letters());
    EXPECT_EQ(nullptr, GetTrackedDriveList()->last);
}

TEST_F(Drives, RepeatedArrivalAddsASecondNodeAndRemovalTakesTheFirst)
{
    FixedDiskAndStick();
    ScanDrives();
    Broadcast(DBT_DEVICEARRIVAL, 1 << 4);
    EXPECT_EQ("E:\\ E:", TrackedList());
    EXPECT_EQ("EE", Letters());
    Broadcast(DBT_DEVICEREMOVECOMPLETE, 1 << 4);
    EXPECT_EQ("E:", TrackedList());
}

TEST_F(Drives, OnlyTheLowestDriveOfAMaskIsHandled)
{
    machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
    machine::AddUsbDrive('G', 2, DISK_ID("ACME", "CARD"), USB_ID("1234", "9999", "S2"));
    Broadcast(DBT_DEVICEARRIVAL, (1 << 4) | (1 << 6));
    EXPECT_EQ("E:", TrackedList());
}

TEST_F(Drives, UnitMaskLetters)
{
    EXPECT_EQ('A', UnitMaskToLetter(1));
    EXPECT_EQ('E', UnitMaskToLetter(1 << 4));
    EXPECT_EQ('E', UnitMaskToLetter((1 << 4) | (1 << 6)));
    EXPECT_EQ('Z', UnitMaskToLetter(1u << 25));
    EXPECT_EQ('[', UnitMaskToLetter(0));
    EXPECT_EQ('[', UnitMaskToLetter(1u << 26));
    EXPECT_EQ('[', UnitMaskToLetter(0xFC000000u));
}

TEST_F(Drives, AMaskWithoutADriveChangesNothing)
{
    FixedDiskAndStick();
    ScanDrives();
    EXPECT_EQ(0, Broadcast(DBT_DEVICEARRIVAL, 0));
    EXPECT_EQ(0, Broadcast(DBT_DEVICEREMOVECOMPLETE, 0));
    EXPECT_EQ("E:\\", TrackedList());
}

TEST_F(Drives, ArrivalsThatAreNotRemovableUsbDrivesAreNotAdded)
{
    for (ULONG status : {(ULONG)DN_REMOVABLE, (ULONG)DN_DISABLEABLE, (ULONG)0}) {
        machine::Reset();
        CreateTrackedDriveList();
        machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"), status);
        EXPECT_EQ(0, Broadcast(DBT_DEVICEARRIVAL, 1 << 4));
        EXPECT_EQ("", TrackedList()) << std::hex << status;
    }
    EXPECT_EQ(0, Broadcast(DBT_DEVICEARRIVAL, 1 << 10));
    EXPECT_EQ("", TrackedList());
}

TEST_F(Drives, BroadcastsAboutOtherDevicesAreIgnoredWithResultZero)
{
    machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
    EXPECT_EQ(0, Broadcast(DBT_DEVICEARRIVAL, 1 << 4, DBT_DEVTYP_PORT));
    EXPECT_EQ(0, Broadcast(DBT_DEVICEARRIVAL, 1 << 4, DBT_DEVTYP_DEVICEINTERFACE));
    EXPECT_EQ("", TrackedList());
    // A broadcast without data names no volume.
    EXPECT_EQ(0, MainWndProc(nullptr, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0));
    EXPECT_EQ(0, MainWndProc(nullptr, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, 0));
    EXPECT_TRUE(machine::CallsNamed("DefWindowProcA").empty());
}

TEST_F(Drives, OtherDeviceEventsGetTheDefaultAnswer)
{
    M().defaultAnswer = 0x1234;
    for (WPARAM event : {(WPARAM)DBT_DEVNODES_CHANGED, (WPARAM)DBT_DEVICEQUERYREMOVE}) {
        M().calls.clear();
        EXPECT_EQ(0x1234, MainWndProc(nullptr, WM_DEVICECHANGE, event, 0)) << event;
        auto defaults = machine::CallsNamed("DefWindowProcA");
        ASSERT_EQ(1u, defaults.size());
        EXPECT_EQ((long long)event, defaults[0].args[2]);
    }
}

TEST_F(Drives, RemovalMatchesByPrefix)
{
    EXPECT_EQ(1, AddTrackedDrive("E:\\"));
    EXPECT_EQ(1, AddTrackedDrive("F:"));
    EXPECT_EQ(0, RemoveTrackedDrive("G:"));
    EXPECT_EQ(1, RemoveTrackedDrive("F"));
    EXPECT_EQ(1, RemoveTrackedDrive("E:"));
    EXPECT_EQ(0, RemoveTrackedDrive("E:"));
    EXPECT_EQ(0, AddTrackedDrive(nullptr));
    EXPECT_EQ(0, RemoveTrackedDrive(nullptr));
    EXPECT_EQ(0, GetTrackedLetters(nullptr, TRACKED_LETTERS_SIZE));
    EXPECT_TRUE(M().heapBlocks.size() == 1) << "only the list head should remain";
}

TEST_F(Drives, RemovalInTheMiddleKeepsBothLinksRight)
{
    for (const char* drive : {"E:", "F:", "G:"})
        AddTrackedDrive(drive);
    RemoveTrackedDrive("F:");
    const DriveList* list = GetTrackedDriveList();
    EXPECT_STREQ("E:", (const char*)list->first->data);
    EXPECT_STREQ("G:", (const char*)list->last->data);
    EXPECT_EQ(list->last, list->first->next);
    EXPECT_EQ(list->first, list->last->prev);
    RemoveTrackedDrive("E:");
    EXPECT_EQ(list->first, list->last);
    EXPECT_EQ(nullptr, list->first->prev);
}

TEST_F(Drives, LettersNeverOverrunTheRoom)
{
    for (int i = 0; i < 40; i++)
        AddTrackedDrive("E:");
    char letters[TRACKED_LETTERS_SIZE + 8];
    memset(letters, 0x5A, sizeof(letters));
    EXPECT_EQ(1, GetTrackedLetters(letters, TRACKED_LETTERS_SIZE));
    EXPECT_EQ(std::string(31, 'E'), std::string(letters));
    for (int i = TRACKED_LETTERS_SIZE; i < (int)sizeof(letters); i++)
        EXPECT_EQ(0x5A, letters[i]) << "byte " << i << " was written";
}

TEST_F(Drives, AHeapFailureAddsNothingAndLeaksNothing)
{
    for (int nth = 1; nth <= 2; nth++) {
        machine::Reset();
        CreateTrackedDriveList();
        size_t before = M().heapBlocks.size();
        machine::FailCall(machine::Fault::HeapAlloc, M().callCounts[machine::Fault::HeapAlloc] + nth);
        EXPECT_EQ(0, AddTrackedDrive("E:"));
        EXPECT_EQ(before, M().heapBlocks.size());
        EXPECT_EQ("", TrackedList());
        EXPECT_EQ(1, AddTrackedDrive("E:"));
        EXPECT_EQ("E:", TrackedList());
    }
}

TEST_F(Drives, ScanWalksTheRootStringsInOrder)
{
    machine::AddUsbDrive('G', 1, DISK_ID("ACME", "A"), USB_ID("1", "1", "1"));
    machine::AddUsbDrive('D', 2, DISK_ID("ACME", "B"), USB_ID("2", "2", "2"));
    machine::AddVolume('Z', 9);
    ScanDrives();
    EXPECT_EQ("D:\\ G:\\", TrackedList());
    auto query = machine::CallsNamed("GetLogicalDriveStringsA");
    ASSERT_EQ(1u, query.size());
    EXPECT_EQ(1024, query[0].args[0]);
}
