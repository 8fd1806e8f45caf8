// The whole program once: what start-up makes, what each message answers,
// the arguments it passes to the platform, and the same run with every
// failing platform call in turn.
#include <algorithm>
#include <climits>
#include <sstream>

#include "support.h"

class Program : public MachineTest {
protected:
    static int Session(std::function<void(HWND)> check = [](HWND) {});
};

// Drives E (refused once when ejected), F (excluded) and G tracked, Q not removable. A tray menu, two settings
// dialogs, accelerator keys for the main window and for a dialog's list; then G ticked and OK, ejects of E and,
// by a command with more bits set, Q; About, Exit. The check runs first, once the loop has started.
int Program::Session(std::function<void(HWND)> check)
{
    M().nodes[Stick('E').usb].removalAnswers = {CR_REMOVE_VETOED};
    Stick('F');
    Stick('G');
    Stick('Q', DN_DISABLEABLE);
    Exclude(0, "SF");
    Exclude(1, "SX");
    return RunProgram({check,
        [](HWND main) {
            SendMessageA(main, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_RBUTTONUP);
            SendMessageA(main, WM_COMMAND, CMD_SETTINGS, 0);
            SendMessageA(main, WM_COMMAND, MAKEWPARAM(CMD_SETTINGS, 1), 0);
            for (UINT key : {'?', '/', 'x'})
                PostMessageA(main, WM_SYSCHAR, key, 1 << 29);
            PostMessageA(main, WM_CHAR, '?', 0);
            for (HWND dialog : machine::WindowsOfClass("#32770"))
                PostMessageA(GetDlgItem(dialog, IDC_EXCLUSION_LIST), WM_SYSCHAR, '?', 1 << 29);
        },
        [](HWND main) {
            HWND first = machine::WindowsOfClass("#32770").at(0);
            machine::SetRowTicked(GetDlgItem(first, IDC_EXCLUSION_LIST), 2, true);
            machine::ClickButton(first, IDOK);
            SendMessageA(main, WM_COMMAND, 0x1004, 0);
            SendMessageA(main, WM_COMMAND, MAKEWPARAM(0x1030, 1), 0);
            SendMessageA(main, WM_COMMAND, CMD_ABOUT, 0);
            PostMessageA(main, WM_COMMAND, CMD_EXIT, 0);
        }});
}

TEST_F(Program, StartsHiddenWithItsTrayIconAnswersEachMessageAndEndsByExitWithZero)
{
    DEV_BROADCAST_VOLUME port = {sizeof(port), DBT_DEVTYP_PORT, 0, 1 << 4, 0};
    const long long no = 0, yes = 0x5A5A, broadcast = (LPARAM)&port; // answers: no default processing, or its own
    const V cases[] = {{WM_PAINT, 0, 0, no}, {WM_COMMAND, 0, 7, yes}, {WM_COMMAND, 0x0FFF, 7, yes},
        {WM_COMMAND, MAKEWPARAM(107, 3), 7, yes}, {WM_COMMAND, 0x1019, 7, no},
        {WM_DEVICECHANGE, DBT_DEVICEARRIVAL, broadcast, no}, {WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, broadcast, no},
        {WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 9, yes}, {WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVE, broadcast, yes},
        {WM_TRAYNOTIFY, 127, WM_RBUTTONUP, no}, {WM_TRAYNOTIFY, 129, WM_LBUTTONUP, no},
        {WM_TRAYNOTIFY, 128, WM_LBUTTONUP, yes}, {WM_TRAYNOTIFY, 128, WM_LBUTTONDBLCLK, yes},
        {WM_TRAYNOTIFY, 128, WM_RBUTTONDOWN, yes}, {WM_TRAYNOTIFY, 128, WM_RBUTTONUP, no}, {WM_SETTEXT, 3, 4, yes},
        {WM_USER + 2, 5, 6, yes}};
    M().defaultAnswer = yes;
    M().cursor = {321, 654};
    long long queued = 9;
    M().onMenu = [&](const machine::ShownMenu&) { return (int)(queued = M().queue.size()) - 1; };
    EXPECT_EQ(0, Session([&](HWND main) {
        EXPECT_EQ("0 MORVANTO \"Morvanto\" 00cf0000 0 -2147483648,0 -2147483648x0 1 0 ", machine::Describe(main));
        EXPECT_EQ("0 E:\\ F:\\ G:\\ ", std::to_string(machine::FindWindowByHandle(main)->visible) + " " + Tracked());
        // Explorer restarted: its tray is empty and "TaskbarCreated" asks for the icon again.
        M().tray.clear();
        PostMessageA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
        machine::PumpMessages();
        EXPECT_EQ(1u, M().tray.count({main, TRAY_ICON_ID})) << "the icon was not added again";
        M().foreground = nullptr;
        for (const V& c : cases) {
            size_t before = M().calls.size();
            EXPECT_EQ(c[3], SendMessageA(main, c[0], c[1], c[2])) << c[0] << " " << c[1];
            V defaults;
            for (size_t i = before; i < M().calls.size(); i++)
                if (M().calls[i].name == "DefWindowProcA")
                    defaults.insert(defaults.end(), M().calls[i].args.begin(), M().calls[i].args.end());
            EXPECT_EQ(c[3] ? V({(long long)main, c[0], c[1], c[2]}) : V(), defaults) << c[0] << " " << c[1];
        }
        // Only the right-button release opened the menu.
        ASSERT_EQ(1u, M().shownMenus.size());
        const machine::ShownMenu& shown = M().shownMenus[0];
        EXPECT_EQ((V{TPM_RIGHTBUTTON, 321, 654, (long long)main, (long long)main, 0, WM_NULL, (long long)main}),
            (V{shown.flags, shown.x, shown.y, (long long)shown.owner, (long long)shown.foreground, queued,
                M().queue.front().message, (long long)M().queue.front().hwnd}))
            << "flags, position, owner, the foreground window when it opened, then WM_NULL posted after it";
    }));
    EXPECT_EQ(
        (V{0, 0, 0}), (V{M().starved, (long long)M().tray.size(), (long long)machine::WindowsOfClass("#32770").size()}))
        << "the loop ran dry, or the icon or a dialog was left";
    EXPECT_EQ("0: VID=1:1234 PID=1:5678 SEL=1:SF; 1: VID=1:1234 PID=1:5678 SEL=1:SG; ", Registry());
    EXPECT_EQ(Sjis("USBストレージの取り外し"), machine::CallsNamed("Shell_NotifyIconA").at(0).text);
    // Two accelerators for the main window and the About command.
    ASSERT_EQ(3u, M().messageBoxes.size());
    const machine::MessageBoxRecord& box = M().messageBoxes[2];
    EXPECT_EQ(
        "0 Kestrabin 0", std::to_string((uintptr_t)box.owner) + " " + box.caption + " " + std::to_string(box.type));
    EXPECT_EQ(0u, box.text.rfind("Kestrabin\n        Ver. 1.30\n\n\n        ", 0)) << box.text;
    EXPECT_EQ(std::string::npos, box.text.find_first_of("\r\n", 38)) << "more than one credit line";

    // Each call's distinct argument lists in the order they first appear (* for any value); the first nine
    // calls, up to LoadAcceleratorsA, are made in this order: the scan runs inside the window's creation, the icon is
    // added before the window is hidden.
    std::string table = "LoadStringA 40000 100 109 100; "
                        "RegisterClassExA 3 0 0 1 107 108 1 6 109; CreateWindowExA 0 0xCF0000 -0x80000000 0 "
                        "-0x80000000 0 0; GetLogicalDriveStringsA 1024; LoadImageA 107 1 0 0 0x40; "
                        "Shell_NotifyIconA 0 * 128 0x17 1025 107 10000 0 2 * 128 0x17 1025 0 10000 0; "
                        "ShowWindow * 0 * 5; UpdateWindow *; LoadAcceleratorsA 109; "
                        // Storage, devices and the registry.
                        "CreateFileA 0 3 3 0 0 0; DeviceIoControl 0x2D1080 0 0 12 0; SetupDiGetClassDevsA 0x12 0 0; "
                        "SetupDiEnumDeviceInterfaces * 0; CM_Get_Parent * 0; CM_Get_DevNode_Status * 0; "
                        "CM_Get_Device_IDA * 1024 0; CM_Request_Device_EjectA * 0 0 0 1; "
                        "CM_Query_And_Remove_SubTreeA * 0 0 0 1; Sleep 200; RegOpenKeyExA 0 0x20019; "
                        "RegCreateKeyExA 0 0x2001F 0 0 0; RegSetValueExA 1 * 0; "
                        // The tray menu, the dialog (LVS_EX_CHECKBOXES, LVCF_FMT, LVIF_TEXT | LVIF_PARAM, rows,
                        // state image 2 in LVIS_STATEIMAGEMASK, LVSCW_AUTOSIZE), the About box, the end.
                        "CreateDialogParamA 111 * 0; "
                        "LVM_SETEXTENDEDLISTVIEWSTYLE 4 4; LVM_INSERTCOLUMNA 0 1 0 1 1 0; "
                        "LVM_INSERTITEMA 0 5 0 0 0 0 5 1 0 0 0 5 2 0 0; LVM_SETITEMTEXTA 0 1 1 1 2 1; "
                        "LVM_SETITEMSTATE 1 0x2000 0xF000; LVM_SETCOLUMNWIDTH 0 0xFFFF 1 0xFFFF; "
                        "LVM_GETITEMSTATE 0 0xF000 1 0xF000 2 0xF000; LVM_GETITEMTEXTA 1 0 256 2 0 256; "
                        "EndDialog * 1";
    std::istringstream rows(table);
    long long previous = 0, row = 0;
    for (std::string line, name, field; std::getline(rows, line, ';'); row++) {
        std::istringstream fields(line);
        V expected, got;
        for (fields >> name; fields >> field;)
            expected.push_back(field == "*" ? LLONG_MIN : strtoll(field.c_str(), nullptr, 0));
        std::vector<V> seen;
        for (machine::Call call : machine::CallsNamed(name)) {
            for (size_t i = 0; i < call.args.size() && i < expected.size(); i++)
                call.args[i] = expected[i] == LLONG_MIN ? LLONG_MIN : call.args[i];
            if (std::find(seen.begin(), seen.end(), call.args) == seen.end()) {
                seen.push_back(call.args);
                got.insert(got.end(), call.args.begin(), call.args.end());
            }
        }
        EXPECT_EQ(expected, got) << name;
        long long first = std::find_if(M().calls.begin(), M().calls.end(), [&](auto& c) { return c.name == name; }) -
            M().calls.begin();
        EXPECT_TRUE(row > 8 || previous <= first) << name << " came before the call above it";
        previous = std::max(previous, first);
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
        memset(M().callCounts, 0, sizeof(M().callCounts));
        if (i)
            machine::FailCall(walk[i].first, walk[i].second);
        Session();
        for (int kind = 0; i == 0 && kind < (int)machine::Fault::Count; kind++)
            for (int nth = 1; nth <= M().callCounts[kind]; nth++)
                walk.push_back({(machine::Fault)kind, nth});
        std::string where =
            "fault " + std::to_string((int)walk[i].first) + " at call " + std::to_string(walk[i].second);
        const DriveList* list = GetTrackedDriveList();
        size_t blocks = 1 + (list && list != harness);
        for (const DriveNode* node = list && list != harness ? list->first : nullptr; node; node = node->next)
            blocks += 2;
        for (const std::string& error : M().errors)
            ADD_FAILURE() << where << ": platform misuse: " << error;
        EXPECT_EQ(blocks, M().heapBlocks.size()) << where << ": heap blocks";
        EXPECT_EQ(0u, machine::OpenHandles()) << where << ": handles, keys, icons or menus left open";
    }
    EXPECT_GT(walk.size(), 300u) << "the walk covered too few calls";
    M().errors.clear();
}
