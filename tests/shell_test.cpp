// The main window's dispatch: what each message answers, and the commands.
#include "support.h"

class Shell : public MachineTest { };

TEST_F(Shell, EachMessageAnswersAsItsKindDemands)
{
    DEV_BROADCAST_VOLUME port = {sizeof(port), DBT_DEVTYP_PORT, 0, 1 << 4, 0};
    const long long no = 0, yes = 0x5A5A, broadcast = (LPARAM)&port; // answers: no default processing, or its own
    const V cases[] = {{WM_PAINT, 0, 0, no}, {WM_COMMAND, 0, 7, yes}, {WM_COMMAND, 0x0FFF, 7, yes},
        {WM_COMMAND, MAKEWPARAM(107, 3), 7, yes}, {WM_COMMAND, 0x1004, 7, no},
        {WM_DEVICECHANGE, DBT_DEVICEARRIVAL, broadcast, no}, {WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, broadcast, no},
        {WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 9, yes}, {WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVE, broadcast, yes},
        {WM_TRAYNOTIFY, 127, WM_RBUTTONUP, no}, {WM_TRAYNOTIFY, 129, WM_LBUTTONUP, no},
        {WM_TRAYNOTIFY, 128, WM_LBUTTONUP, yes}, {WM_TRAYNOTIFY, 128, WM_LBUTTONDOWN, yes},
        {WM_TRAYNOTIFY, 128, WM_LBUTTONDBLCLK, yes}, {WM_TRAYNOTIFY, 128, WM_RBUTTONDOWN, yes},
        {WM_TRAYNOTIFY, 128, WM_MOUSEMOVE, yes}, {WM_TRAYNOTIFY, 128, WM_RBUTTONUP, no}, {WM_SETTEXT, 3, 4, yes},
        {WM_USER + 2, 5, 6, yes}};
    M().defaultAnswer = yes;
    M().cursor = {321, 654};
    long long queued = 9;
    M().onMenu = [&](const machine::ShownMenu&) { return (int)(queued = M().queue.size()) - 1; };
    RunProgram({[&](HWND main) {
        M().foreground = nullptr;
        for (const V& c : cases) {
            M().calls.clear();
            EXPECT_EQ(c[3], SendMessageA(main, c[0], c[1], c[2])) << c[0] << " " << c[1];
            V defaults;
            for (const machine::Call& call : machine::CallsNamed("DefWindowProcA"))
                defaults.insert(defaults.end(), call.args.begin(), call.args.end());
            EXPECT_EQ(c[3] ? V({(long long)main, c[0], c[1], c[2]}) : V(), defaults) << c[0] << " " << c[1];
            EXPECT_EQ(0u, machine::CallsNamed("RegOpenKeyExA").size()) << "exclusions loaded without drives";
        }
        // Only the right-button release opens the menu; without drives it has the placeholder.
        ASSERT_EQ(1u, M().shownMenus.size());
        const machine::ShownMenu& shown = M().shownMenus[0];
        EXPECT_EQ((V{TPM_RIGHTBUTTON, 321, 654, (long long)main, (long long)main, 0, WM_NULL, (long long)main}),
            (V{shown.flags, shown.x, shown.y, (long long)shown.owner, (long long)shown.foreground, queued,
                M().queue.front().message, (long long)M().queue.front().hwnd}))
            << "flags, position, owner, the foreground window when it opened, then WM_NULL posted after it";
        EXPECT_EQ((S{Sjis("0 0 接続されていません"), "and the fixed items"}), Menu(main));
        EXPECT_EQ(0u, M().messageBoxes.size());
        PostMessageA(main, WM_CLOSE, 0, 0);
    }});
    EXPECT_FALSE(M().starved) << "WM_CLOSE did not end the program";
    EXPECT_EQ(1u, M().tray.size()) << "only Exit removes the icon";
}

TEST_F(Shell, CommandsActOnTheirLowWordAndEjectCommandsOnTheLowFiveBits)
{
    const LPARAM alt = 1 << 29;
    RunProgram({[&](HWND main) {
                    std::string volumes;
                    for (WPARAM command : {0x1004, 0x1000 + 32, 0x11019, 0x101A, 0x101F, 0xF004}) {
                        M().calls.clear();
                        SendMessageA(main, WM_COMMAND, command, 0);
                        for (const machine::Call& open : machine::CallsNamed("CreateFileA"))
                            volumes += open.text + " ";
                    }
                    EXPECT_EQ("\\\\.\\E: \\\\.\\A: \\\\.\\Z: \\\\.\\[: \\\\.\\`: \\\\.\\E: ", volumes);
                    SendMessageA(main, WM_COMMAND, MAKEWPARAM(CMD_SETTINGS, 1), 0);
                    SendMessageA(main, WM_COMMAND, CMD_SETTINGS, 0);
                    std::vector<HWND> dialogs = machine::WindowsOfClass("#32770");
                    ASSERT_EQ(2u, dialogs.size());
                    EXPECT_EQ(main, machine::FindWindowByHandle(dialogs[1])->parent);
                    // Accelerators: Alt with "?" or "/" as characters, for whichever window has the keystroke.
                    for (UINT key : {'?', '/', 'x'})
                        PostMessageA(main, WM_SYSCHAR, key, alt);
                    PostMessageA(main, WM_CHAR, '?', 0);
                    PostMessageA(machine::ChildById(dialogs[0], IDC_EXCLUSION_LIST), WM_SYSCHAR, '?', alt);
                    SendMessageA(main, WM_COMMAND, MAKEWPARAM(CMD_ABOUT, 1), 0);
                },
        [](HWND main) {
            EXPECT_EQ(3u, M().messageBoxes.size());
            SendMessageA(main, WM_COMMAND, MAKEWPARAM(CMD_EXIT, 1), 0);
        }});
    EXPECT_TRUE(M().tray.empty() && machine::WindowsOfClass("#32770").empty())
        << "owned dialogs go with the main window";
}
