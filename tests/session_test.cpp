// A session without windows, once as it goes and once more with each call the program tests
// failing in turn.
#include "support.h"

class Session : public HostTest { };

TEST_F(Session, EveryFailingCallIsSurvivedWithNothingLeftOverAndNoEntryOfAnUnshownDeviceLost)
{
    const char* calls[] = {"CreateFileA", "DeviceIoControl", "SetupDiGetClassDevsA", "SetupDiEnumDeviceInterfaces",
        "SetupDiGetDeviceInterfaceDetailA", "CM_Get_Parent", "CM_Get_DevNode_Status", "CM_Request_Device_EjectA",
        "CM_Query_And_Remove_SubTreeA", "HeapAlloc", "RegOpenKeyExA", "RegQueryValueExA", "RegCreateKeyExA",
        "RegSetValueExA", "RegDeleteKeyA"};
    // E refuses its first removal; F is excluded and pulled out; G arrives; C is not removable.
    const std::string machine = Stick('E', "6000", "17") + Stick('F') + Stick('C', "2000") + "volume H fail 7\n";
    auto session = [&](const std::string& fault) {
        Describe(machine + fault);
        Exclude(0, "X", "9", "9");
        Exclude(1, "SF");
        ScanDrives();
        std::string pulled = machine;
        pulled.erase(pulled.find("volume F"), 16);
        SimDescribe((pulled + Stick('G') + fault).c_str());
        DWORD broadcast[5] = {sizeof(DEV_BROADCAST_VOLUME), DBT_DEVTYP_VOLUME, 0, 1 << 5, 0};
        HandleDeviceChange(NULL, DBT_DEVICEREMOVECOMPLETE, (LPARAM)broadcast);
        broadcast[3] = 1 << 6;
        HandleDeviceChange(NULL, DBT_DEVICEARRIVAL, (LPARAM)broadcast);
        SaveExclusionList("G", "E");
        EjectDrive("C");
        EjectDrive("E");
        for (DWORD mask : HostTakeBroadcasts()) {
            broadcast[3] = mask;
            HandleDeviceChange(NULL, DBT_DEVICEREMOVECOMPLETE, (LPARAM)broadcast);
        }
    };
    session("");
    ASSERT_EQ("G: ", Tracked());
    ASSERT_EQ((V{2, 1}), (V{SimCount("CM_Request_Device_EjectA"), SimCount("CM_Query_And_Remove_SubTreeA")}));
    std::vector<std::string> faults;
    for (const char* call : calls)
        for (int nth = 1; nth <= SimCount(call); nth++)
            faults.push_back(std::string("fail ") + call + " " + std::to_string(nth) + "\n");
    EXPECT_GT(faults.size(), 100u) << "the session makes too few calls";
    for (const std::string& fault : faults) {
        session(fault);
        // Without memory for the list's head there is no list.
        const DriveList* list = GetTrackedDriveList();
        size_t blocks = list != nullptr;
        for (const DriveNode* node = list ? list->first : nullptr; node; node = node->next)
            blocks += 2;
        EXPECT_EQ(blocks, HostHeapBlocks()) << fault;
        EXPECT_EQ(0u, SimOpen() + HostOpenKeys()) << fault;
        EXPECT_EQ(std::string::npos, HostLog().find("refuse")) << fault << HostLog();
        EXPECT_NE(std::string::npos, Registry().find("0: VID=9 PID=9 SEL=X; 1: VID=1234 PID=5678 SEL=SF; ")) << fault;
    }
}
