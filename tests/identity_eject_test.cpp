// Reading identities through the configuration manager, and ejection.
#include "support.h"

using machine::M;

class Identity : public MachineTest { };

TEST_F(Identity, ReadsTheDiskNodeAndItsParent)
{
    machine::UsbDrive stick = machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
    for (const char* drive : {"E", "E:", "E:\\"}) {
        M().calls.clear();
        DiskIdentity disk;
        EXPECT_EQ(1, GetDiskIdentity(&disk, drive)) << drive;
        EXPECT_STREQ("ACME", disk.vendor);
        EXPECT_STREQ("STICK", disk.product);
        EXPECT_STREQ("1.00", disk.revision);
        auto reads = machine::CallsNamed("CM_Get_Device_IDA");
        ASSERT_EQ(1u, reads.size());
        EXPECT_EQ(stick.disk, (DEVINST)reads[0].args[0]);
        EXPECT_EQ(1024, reads[0].args[1]);

        M().calls.clear();
        UsbIdentity usb;
        EXPECT_EQ(1, GetUsbIdentity(&usb, drive)) << drive;
        EXPECT_STREQ("1234", usb.vid);
        EXPECT_STREQ("5678", usb.pid);
        EXPECT_STREQ("S1", usb.serial);
        reads = machine::CallsNamed("CM_Get_Device_IDA");
        ASSERT_EQ(1u, reads.size());
        EXPECT_EQ(stick.usb, (DEVINST)reads[0].args[0]);
    }
    EXPECT_TRUE(M().openFiles.empty());
}

TEST_F(Identity, TwoSlotsOfOneReaderShareTheUsbIdentity)
{
    machine::UsbDrive reader =
        machine::AddUsbDrive('E', 1, DISK_ID("Generic", "SD"), USB_ID("05E3", "0723", "000000001"));
    DEVINST second = machine::AddNode(DISK_ID("Generic", "MS"), reader.usb, 0);
    machine::AddInterface(GUID_DEVINTERFACE_DISK, second, 2);
    machine::AddVolume('F', 2);
    UsbIdentity e, f;
    ASSERT_EQ(1, GetUsbIdentity(&e, "E"));
    ASSERT_EQ(1, GetUsbIdentity(&f, "F"));
    EXPECT_EQ(0, memcmp(&e, &f, sizeof(e)));
    DiskIdentity disk;
    GetDiskIdentity(&disk, "F");
    EXPECT_STREQ("MS", disk.product);
}

TEST_F(Identity, FailedReadsLeaveTheRecordUntouched)
{
    struct Case {
        const char* what;
        std::function<void(machine::UsbDrive&)> arrange;
    };
    const Case cases[] = {
        {"no volume", [](machine::UsbDrive&) { M().volumes.erase('E'); }},
        {"empty instance IDs",
            [](machine::UsbDrive& d) { M().nodes[d.disk].instanceId = M().nodes[d.usb].instanceId = ""; }},
        {"ID read fails",
            [](machine::UsbDrive&) {
                machine::FailCall(machine::Fault::DeviceId, 1), machine::FailCall(machine::Fault::DeviceId, 2);
            }},
    };
    for (const Case& c : cases) {
        machine::Reset();
        machine::UsbDrive stick = machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
        c.arrange(stick);
        DiskIdentity disk;
        UsbIdentity usb;
        memset(&disk, 0x5A, sizeof(disk));
        memset(&usb, 0x5A, sizeof(usb));
        EXPECT_EQ(0, GetDiskIdentity(&disk, "E")) << c.what;
        EXPECT_EQ(0, GetUsbIdentity(&usb, "E")) << c.what;
        for (size_t i = 0; i < sizeof(disk); i++)
            ASSERT_EQ(0x5A, ((unsigned char*)&disk)[i]) << c.what << ": disk byte " << i;
        for (size_t i = 0; i < sizeof(usb); i++)
            ASSERT_EQ(0x5A, ((unsigned char*)&usb)[i]) << c.what << ": usb byte " << i;
    }
    EXPECT_EQ(0, GetDiskIdentity(nullptr, "E"));
    EXPECT_EQ(0, GetUsbIdentity(nullptr, "E"));
    DiskIdentity disk;
    EXPECT_EQ(0, GetDiskIdentity(&disk, nullptr));
}

TEST_F(Identity, AParentThatCannotBeFoundGivesNoUsbIdentity)
{
    machine::UsbDrive stick = machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
    M().nodes[stick.disk].parentFails = true;
    UsbIdentity usb;
    memset(&usb, 0x5A, sizeof(usb));
    EXPECT_EQ(0, GetUsbIdentity(&usb, "E"));
    EXPECT_EQ(0x5A, usb.vid[0]) << "the disk's own ID was parsed as the USB device's";
}

TEST_F(Identity, UnparsableIdsFailWithWhatWasFound)
{
    machine::AddUsbDrive('E', 1, "USBSTOR\\DISK&VEN_ACME&PROD_STICK&REV_1.00", "USB\\VID_1234&PID_5678\\");
    DiskIdentity disk;
    UsbIdentity usb;
    EXPECT_EQ(0, GetDiskIdentity(&disk, "E"));
    EXPECT_STREQ("STICK", disk.product);
    EXPECT_EQ(0, GetUsbIdentity(&usb, "E"));
    EXPECT_STREQ("5678", usb.pid);
}

TEST_F(Identity, AnIdLongerThanTheBufferIsCutSafely)
{
    std::string id = "USB\\VID_1&PID_2\\" + std::string(2000, 's');
    machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), id.c_str());
    UsbIdentity usb;
    GetUsbIdentity(&usb, "E");
    EXPECT_GT(sizeof(usb.serial), strlen(usb.serial));
}

class Eject : public MachineTest {
protected:
    machine::UsbDrive stick{};
    void SetUp() override
    {
        MachineTest::SetUp();
        stick = machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
    }
    std::vector<machine::Call> Requests()
    {
        std::vector<machine::Call> requests = machine::CallsNamed("CM_Request_Device_EjectA");
        for (const machine::Call& call : machine::CallsNamed("CM_Query_And_Remove_SubTreeA"))
            requests.push_back(call);
        return requests;
    }
};

TEST_F(Eject, RetriesUpToThreeTimesWithAPauseAfterEachFailure)
{
    struct Case {
        std::vector<CONFIGRET> answers;
        int result;
        size_t requests;
        DWORD paused;
    };
    const Case cases[] = {
        {{}, 1, 1, 0},
        {{CR_REMOVE_VETOED}, 1, 2, 200},
        {{CR_FAILURE, CR_REMOVE_VETOED}, 1, 3, 400},
        {{CR_REMOVE_VETOED, CR_REMOVE_VETOED, CR_FAILURE}, 0, 3, 600},
    };
    for (const Case& c : cases) {
        M().calls.clear();
        M().now = 0;
        M().nodes[stick.usb].removalAnswers.assign(c.answers.begin(), c.answers.end());
        EXPECT_EQ(c.result, EjectDrive("E")) << c.answers.size() << " refusals";
        EXPECT_EQ(c.requests, Requests().size());
        EXPECT_EQ(c.paused, M().now);
        for (const machine::Call& sleep : machine::CallsNamed("Sleep"))
            EXPECT_EQ(200, sleep.args[0]);
    }
}

TEST_F(Eject, TheRequestKindFollowsTheRemovableBitAndNamesTheParent)
{
    for (ULONG status : {(ULONG)(DN_REMOVABLE | DN_DISABLEABLE), (ULONG)DN_DISABLEABLE, (ULONG)0}) {
        M().calls.clear();
        M().nodes[stick.usb].status = status;
        M().nodes[stick.usb].removalAnswers = {CR_FAILURE, CR_FAILURE, CR_FAILURE};
        EXPECT_EQ(0, EjectDrive("E:\\"));
        const char* kind = (status & DN_REMOVABLE) ? "CM_Request_Device_EjectA" : "CM_Query_And_Remove_SubTreeA";
        auto requests = machine::CallsNamed(kind);
        ASSERT_EQ(3u, requests.size()) << kind;
        EXPECT_EQ(3u, Requests().size());
        for (const machine::Call& request : requests) {
            EXPECT_EQ(stick.usb, (DEVINST)request.args[0]);
            EXPECT_EQ(0, request.args[1]) << "veto name buffer";
            EXPECT_EQ(0, request.args[2]) << "veto name length";
            EXPECT_EQ(0, request.args[3]) << "flags";
            EXPECT_EQ(1, request.args[4]) << "veto type variable";
        }
    }
    // The status cannot be read: query-and-remove.
    M().calls.clear();
    M().nodes[stick.usb].statusFails = true;
    EXPECT_EQ(1, EjectDrive("E:"));
    EXPECT_EQ(1u, machine::CallsNamed("CM_Query_And_Remove_SubTreeA").size());
}

TEST_F(Eject, NothingIsRequestedWithoutADeviceToName)
{
    EXPECT_EQ(0, EjectDrive("F"));
    EXPECT_EQ(0, EjectDrive(nullptr));
    M().nodes[stick.disk].parentFails = true;
    EXPECT_EQ(0, EjectDrive("E"));
    EXPECT_TRUE(Requests().empty());
    EXPECT_EQ(0u, M().now);
}
