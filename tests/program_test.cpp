// The whole program once: what start-up makes, the arguments it passes to the
// platform, and the same run with every failing platform call in turn.
#include <algorithm>
#include <climits>

#include "support.h"

class Program : public MachineTest {
protected:
    static int Session(std::function<void(HWND)> check = [](HWND) {});
};

// Drives E (refused once when ejected), F (excluded) and G tracked, H not; a
// tray menu, the settings dialog with G ticked and OK, ejects of E and H,
// About, Exit. The check runs first, once the loop has started.
int Program::Session(std::function<void(HWND)> check)
{
    M().nodes[Stick('E').usb].removalAnswers = {CR_REMOVE_VETOED};
    Stick('F'), Stick('G'), Stick('H', DN_DISABLEABLE);
    Exclude(0, "SF"), Exclude(1, "SX");
    return RunProgram({check, [](HWND main) {
                           SendMessageA(main, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_RBUTTONUP);
                           SendMessageA(main, WM_COMMAND, CMD_SETTINGS, 0);
                           for (HWND dialog : machine::WindowsOfClass("#32770")) {
                               machine::SetRowTicked(machine::ChildById(dialog, IDC_EXCLUSION_LIST), 2, true);
                               machine::ClickButton(dialog, IDOK);
                           }
                           SendMessageA(main, WM_COMMAND, CMD_EJECT_BASE + 4, 0);
                           SendMessageA(main, WM_COMMAND, CMD_EJECT_BASE + 7, 0);
                           SendMessageA(main, WM_COMMAND, CMD_ABOUT, 0);
                           PostMessageA(main, WM_COMMAND, CMD_EXIT, 0);
                       }});
}

TEST_F(Program, StartsHiddenWithItsTrayIconAndEndsByExitWithZero)
{
    HWND window = nullptr;
    EXPECT_EQ(0, Session([&](HWND main) {
        window = main;
        EXPECT_EQ("0 MORVANTO \"Morvanto\" 00cf0000 0 -2147483648,0 -2147483648x0 1 0 ", machine::Describe(main));
        EXPECT_FALSE(machine::FindWindowByHandle(main)->visible);
        EXPECT_EQ("E:\\ F:\\ G:\\ ", Tracked());
        EXPECT_TRUE(M().loadedImages.empty()) << "the icon's image was not destroyed";
    }));
    EXPECT_FALSE(M().starved);
    EXPECT_TRUE(M().tray.empty());
    EXPECT_EQ(nullptr, machine::FindWindowByHandle(window));
    EXPECT_EQ("0: VID=1:1234 PID=1:5678 SEL=1:SF; 1: VID=1:1234 PID=1:5678 SEL=1:SG; ", Registry());
    EXPECT_EQ(Sjis("USBストレージの取り外し"), machine::CallsNamed("Shell_NotifyIconA").at(0).text);
    const machine::MessageBoxRecord& box = M().messageBoxes.at(0);
    EXPECT_EQ(
        "0 Kestrabin 0", std::to_string((uintptr_t)box.owner) + " " + box.caption + " " + std::to_string(box.type));
    EXPECT_EQ(0u, box.text.rfind("Kestrabin\n        Ver. 1.30\n\n\n        ", 0)) << box.text;
    EXPECT_EQ(std::string::npos, box.text.find_first_of("\r\n", 38)) << "more than one credit line";

    // Every call's arguments, as lists in the order they first appear (any: whatever value). The calls up to
    // LoadAcceleratorsA come in this order: the scan runs inside the window's creation, the icon is added before
    // the window is hidden.
    const long long any = LLONG_MIN;
    const std::pair<const char*, V> table[] = {{"LoadStringA", {40000, 100, 109, 100}}, {"LoadIconA", {107, 108}},
        {"LoadCursorA", {0, 32512}},
        {"RegisterClassExA",
            {CS_HREDRAW | CS_VREDRAW, 0, 0, 1, 107, 108, (long long)LoadCursorA(nullptr, IDC_ARROW), COLOR_WINDOW + 1,
                109}},
        {"CreateWindowExA", {0, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, 0}},
        {"GetLogicalDriveStringsA", {1024}}, {"LoadImageA", {107, IMAGE_ICON, 0, 0, LR_DEFAULTSIZE}},
        {"Shell_NotifyIconA",
            {NIM_ADD, any, 128, 0x17, 1025, 107, 10000, 0, NIM_DELETE, any, 128, 0x17, 1025, 0, 10000, 0}},
        {"ShowWindow", {any, SW_HIDE, any, SW_SHOW}}, {"UpdateWindow", {any}}, {"LoadAcceleratorsA", {109}},
        {"CreateFileA", {0, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0, 0, 0}},
        {"DeviceIoControl", {IOCTL_STORAGE_GET_DEVICE_NUMBER, 0, 0, 12, 0}},
        {"SetupDiGetClassDevsA", {DIGCF_PRESENT | DIGCF_DEVICEINTERFACE, 0, 0}},
        {"SetupDiEnumDeviceInterfaces", {any, 0}}, {"CM_Get_Parent", {any, 0}}, {"CM_Get_DevNode_Status", {any, 0}},
        {"CM_Get_Device_IDA", {any, 1024, 0}}, {"CM_Request_Device_EjectA", {any, 0, 0, 0, 1}},
        {"CM_Query_And_Remove_SubTreeA", {any, 0, 0, 0, 1}}, {"Sleep", {200}}, {"RegOpenKeyExA", {0, KEY_READ}},
        {"RegCreateKeyExA", {0, KEY_READ | KEY_WRITE, 0, 0, 0}}, {"RegSetValueExA", {REG_SZ, any, 0}},
        {"TrackPopupMenu", {TPM_RIGHTBUTTON, 100, 200, any}}, {"CreateDialogParamA", {111, any, 0}},
        {"InitCommonControlsEx", {8, ICC_LISTVIEW_CLASSES}},
        {"LVM_SETEXTENDEDLISTVIEWSTYLE", {LVS_EX_CHECKBOXES, LVS_EX_CHECKBOXES}},
        {"LVM_INSERTCOLUMNA", {0, LVCF_FMT, LVCFMT_LEFT, 1, LVCF_FMT, LVCFMT_LEFT}},
        {"LVM_INSERTITEMA", {0, 5, 0, 0, 0, 0, 5, 1, 0, 0, 0, 5, 2, 0, 0}}, {"LVM_SETITEMTEXTA", {0, 1, 1, 1, 2, 1}},
        {"LVM_SETITEMSTATE", {1, 0x2000, LVIS_STATEIMAGEMASK}}, {"LVM_SETCOLUMNWIDTH", {0, 0xFFFF, 1, 0xFFFF}},
        {"LVM_GETITEMSTATE", {0, 0xF000, 1, 0xF000, 2, 0xF000}}, {"LVM_GETITEMTEXTA", {1, 0, 256, 2, 0, 256}},
        {"EndDialog", {any, 1}}, {"MessageBoxA", {0, MB_OK}}, {"PostQuitMessage", {0}}};
    long long previous = 0;
    for (auto& expected : table) {
        long long first = std::find_if(M().calls.begin(), M().calls.end(), [&](auto& call) {
            return call.name == expected.first;
        }) - M().calls.begin();
        EXPECT_TRUE(&expected - table > 10 || previous <= first) << expected.first << " came before the call above";
        previous = std::max(previous, first);
        V got;
        std::vector<V> seen;
        for (machine::Call call : machine::CallsNamed(expected.first)) {
            for (size_t i = 0; i < call.args.size() && i < expected.second.size(); i++)
                call.args[i] = expected.second[i] == any ? any : call.args[i];
            if (std::find(seen.begin(), seen.end(), call.args) == seen.end())
                seen.push_back(call.args), got.insert(got.end(), call.args.begin(), call.args.end());
        }
        EXPECT_EQ(expected.second, got) << expected.first;
    }
}

TEST_F(Program, EveryFailingCallIsSurvivedAndEverythingReleased)
{
    std::vector<std::pair<machine::Fault, int>> walk = {{machine::Fault::Count, 0}};
    for (size_t i = 0; i < walk.size(); i++) {
        machine::Reset();
        // Until start-up makes the program's list head, the old one must point into this machine.
        CreateTrackedDriveList();
        const DriveList* harness = GetTrackedDriveList();
        M().callCounts.clear();
        if (i)
            machine::FailCall(walk[i].first, walk[i].second);
        Session();
        for (auto& kind : i ? std::map<machine::Fault, int>() : M().callCounts)
            for (int nth = 1; nth <= kind.second; nth++)
                walk.push_back({kind.first, nth});
        std::string where =
            "fault " + std::to_string((int)walk[i].first) + " at call " + std::to_string(walk[i].second);
        const DriveList* list = GetTrackedDriveList();
        size_t blocks = 1 + (list && list != harness);
        for (const DriveNode* node = list && list != harness ? list->first : nullptr; node; node = node->next)
            blocks += 2;
        for (const std::string& error : M().errors)
            ADD_FAILURE() << where << ": platform misuse: " << error;
        EXPECT_EQ(blocks, M().heapBlocks.size()) << where << ": heap blocks";
        EXPECT_EQ(0u,
            M().openFiles.size() + M().openSets.size() + M().openKeys.size() + M().loadedImages.size() +
                std::count_if(M().menus.begin(), M().menus.end(), [](auto& menu) { return !menu.second.destroyed; }))
            << where << ": handles, keys, icons or menus left open";
    }
    EXPECT_GT(walk.size(), 300u) << "the walk covered too few calls";
    M().errors.clear();
}
