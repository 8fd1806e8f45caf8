// Start-up, the hidden main window, its dispatch, and the way out.
#include "support.h"

using machine::M;

class Shell : public MachineTest {
protected:
    static HWND MainWindow()
    {
        auto found = machine::WindowsOfClass("MORVANTO");
        return found.empty() ? nullptr : found[0];
    }

    // Runs the program; each step runs when its message queue is empty.
    static int Run(std::vector<std::function<void()>> steps)
    {
        for (auto& step : steps)
            M().idleSteps.push_back(step);
        return WinMain(machine::Instance(), nullptr, (LPSTR) "", SW_SHOW);
    }

    static void Post(UINT message, WPARAM wParam, LPARAM lParam = 0)
    {
        PostMessageA(MainWindow(), message, wParam, lParam);
    }

    static size_t IndexOfCall(const std::string& name)
    {
        for (size_t i = 0; i < M().calls.size(); i++)
            if (M().calls[i].name == name)
                return i;
        return SIZE_MAX;
    }
};

TEST_F(Shell, StartsHiddenWithItsTrayIconAndExitsWithZero)
{
    machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
    HWND window = nullptr;
    int code = Run({[&] {
        window = MainWindow();
        ASSERT_NE(nullptr, window);
        machine::Window* main = machine::FindWindowByHandle(window);
        EXPECT_EQ("Morvanto", main->title);
        EXPECT_EQ((DWORD)WS_OVERLAPPEDWINDOW, main->style);
        EXPECT_FALSE(main->visible);
        EXPECT_EQ((HMENU)MAKEINTRESOURCEA(IDM_MAIN_MENU), main->menu);
        EXPECT_EQ("E:\\", TrackedList());
        ASSERT_EQ(1u, M().tray.size());
        Post(WM_COMMAND, CMD_EXIT);
    }});
    EXPECT_EQ(0, code);
    EXPECT_FALSE(M().starved);
    EXPECT_TRUE(M().tray.empty());
    EXPECT_EQ(nullptr, machine::FindWindowByHandle(window));
    EXPECT_TRUE(M().loadedImages.empty()) << "the tray icon's image was not destroyed";
}

TEST_F(Shell, TheScanRunsInsideWindowCreationBeforeTheTrayIcon)
{
    Run({[] { Post(WM_COMMAND, CMD_EXIT); }});
    size_t created = IndexOfCall("CreateWindowExA");
    size_t scanned = IndexOfCall("GetLogicalDriveStringsA");
    size_t shown = IndexOfCall("ShowWindow");
    size_t added = IndexOfCall("Shell_NotifyIconA");
    EXPECT_LT(created, scanned);
    EXPECT_LT(scanned, added);
    EXPECT_LT(added, shown);
    EXPECT_EQ(SW_HIDE, M().calls[shown].args[1]);
    EXPECT_LT(added, IndexOfCall("LoadAcceleratorsA"));
}

TEST_F(Shell, TheTrayRecordIsFilledAsWindowsExpects)
{
    Run({[] {
        ASSERT_EQ(1u, M().tray.size());
        const machine::TrayIcon& icon = M().tray.begin()->second;
        const NOTIFYICONDATAA& record = icon.record;
        EXPECT_EQ(sizeof(NOTIFYICONDATAA), record.cbSize);
        EXPECT_EQ(MainWindow(), record.hWnd);
        EXPECT_EQ((UINT)TRAY_ICON_ID, record.uID);
        EXPECT_EQ(0x17u, record.uFlags);
        EXPECT_EQ(1025u, record.uCallbackMessage);
        EXPECT_EQ(IDI_KESTRABIN, icon.iconResource);
        EXPECT_EQ(Sjis("USBストレージの取り外し"), record.szTip);
        EXPECT_EQ(23u, strlen(record.szTip));
        EXPECT_EQ(10000u, record.uTimeout);
        EXPECT_EQ('\0', record.szInfo[0]);
        EXPECT_EQ('\0', record.szInfoTitle[0]);
        EXPECT_EQ(0u, record.dwInfoFlags);
        EXPECT_EQ(0u, record.dwState | record.dwStateMask);
        EXPECT_EQ(nullptr, record.hBalloonIcon);
        Post(WM_COMMAND, CMD_EXIT);
    }});
}

TEST_F(Shell, AFailedWindowCreationEndsAtOnce)
{
    machine::FailCall(machine::Fault::CreateWindow, 1);
    EXPECT_EQ(0, Run({}));
    EXPECT_TRUE(M().tray.empty());
    EXPECT_TRUE(machine::CallsNamed("LoadAcceleratorsA").empty());
    EXPECT_FALSE(M().starved) << "no message loop may run";
}

TEST_F(Shell, WithoutMemoryForTheListTheWindowIsNotCreated)
{
    machine::FailCall(machine::Fault::HeapAlloc, 1);
    EXPECT_EQ(0, Run({}));
    EXPECT_TRUE(M().tray.empty());
}

TEST_F(Shell, AFailedIconLoadStillAddsTheIcon)
{
    machine::FailCall(machine::Fault::LoadImage, 1);
    Run({[] {
        ASSERT_EQ(1u, M().tray.size());
        EXPECT_EQ(nullptr, M().tray.begin()->second.record.hIcon);
        EXPECT_TRUE(machine::CallsNamed("DestroyIcon").empty());
        Post(WM_COMMAND, CMD_EXIT);
    }});
}

TEST_F(Shell, WmCloseEndsWithZeroAndLeavesTheIcon)
{
    EXPECT_EQ(0, Run({[] { Post(WM_CLOSE, 0); }}));
    EXPECT_FALSE(M().starved);
    EXPECT_EQ(1u, M().tray.size());
}

TEST_F(Shell, CommandsActOnTheirLowWordOnly)
{
    Run({[] {
             Post(WM_COMMAND, MAKEWPARAM(CMD_ABOUT, 1));
             Post(WM_COMMAND, CMD_ABOUT);
         },
        [] {
            ASSERT_EQ(2u, M().messageBoxes.size());
            for (const machine::MessageBoxRecord& box : M().messageBoxes) {
                EXPECT_EQ(nullptr, box.owner);
                EXPECT_EQ("Kestrabin", box.caption);
                EXPECT_EQ(0u, box.type);
                EXPECT_EQ(0u, box.text.rfind("Kestrabin\n        Ver. 1.30\n\n\n        ", 0)) << box.text;
                EXPECT_EQ(std::string::npos, box.text.find('\r'));
            }
            Post(WM_COMMAND, MAKEWPARAM(CMD_EXIT, 1));
        }});
    EXPECT_TRUE(M().tray.empty());
}

TEST_F(Shell, UnknownCommandsGoToTheDefaultProcedure)
{
    Run({[] {
        M().calls.clear();
        for (WPARAM command : {(WPARAM)0, (WPARAM)5, (WPARAM)0x0FFF, (WPARAM)MAKEWPARAM(107, 3)}) {
            SendMessageA(MainWindow(), WM_COMMAND, command, 77);
            auto defaults = machine::CallsNamed("DefWindowProcA");
            ASSERT_FALSE(defaults.empty()) << command;
            EXPECT_EQ((long long)command, defaults.back().args[2]);
            EXPECT_EQ(77, defaults.back().args[3]);
        }
        EXPECT_EQ(4u, machine::CallsNamed("DefWindowProcA").size());
        EXPECT_TRUE(M().messageBoxes.empty());
        Post(WM_COMMAND, CMD_EXIT);
    }});
}

TEST_F(Shell, EjectCommandsUseTheLowFiveBitsForTheLetter)
{
    struct Case {
        WPARAM command;
        const char* volumePath;
    };
    const Case cases[] = {
        {0x1004, "\\\\.\\E:"},
        {0x1000 + 32, "\\\\.\\A:"},
        {MAKEWPARAM(0x1000 + 25, 1), "\\\\.\\Z:"},
        {0x1000 + 26, "\\\\.\\[:"},
        {0x1000 + 31, "\\\\.\\`:"},
        {0xF004, "\\\\.\\E:"},
    };
    Run({[&] {
        for (const Case& c : cases) {
            M().calls.clear();
            EXPECT_EQ(0, SendMessageA(MainWindow(), WM_COMMAND, c.command, 0));
            auto opens = machine::CallsNamed("CreateFileA");
            ASSERT_EQ(1u, opens.size()) << std::hex << c.command;
            EXPECT_EQ(c.volumePath, opens[0].text) << std::hex << c.command;
            EXPECT_TRUE(machine::CallsNamed("DefWindowProcA").empty());
        }
        EXPECT_TRUE(M().messageBoxes.empty());
        Post(WM_COMMAND, CMD_EXIT);
    }});
}

TEST_F(Shell, TrayCallbackOpensTheMenuOnlyOnRightButtonRelease)
{
    Run({[] {
        HWND window = MainWindow();
        M().calls.clear();
        EXPECT_EQ(0, SendMessageA(window, WM_TRAYNOTIFY, 127, WM_RBUTTONUP));
        EXPECT_EQ(0, SendMessageA(window, WM_TRAYNOTIFY, 129, WM_LBUTTONUP));
        EXPECT_TRUE(machine::CallsNamed("DefWindowProcA").empty());
        for (LPARAM mouse : {WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_MOUSEMOVE})
            SendMessageA(window, WM_TRAYNOTIFY, TRAY_ICON_ID, mouse);
        EXPECT_EQ(5u, machine::CallsNamed("DefWindowProcA").size());
        EXPECT_TRUE(M().shownMenus.empty());
        EXPECT_EQ(0, SendMessageA(window, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_RBUTTONUP));
        EXPECT_EQ(1u, M().shownMenus.size());
        Post(WM_COMMAND, CMD_EXIT);
    }});
}

TEST_F(Shell, AltQuestionMarkAndAltSlashOpenTheAboutBox)
{
    const LPARAM alt = 1 << 29;
    Run({[=] {
             Post(WM_SYSCHAR, '?', alt);
             Post(WM_SYSCHAR, '/', alt);
             Post(WM_CHAR, '?', 0);
             Post(WM_SYSCHAR, 'x', alt);
         },
        [] {
            EXPECT_EQ(2u, M().messageBoxes.size());
            Post(WM_COMMAND, CMD_EXIT);
        }});
}

TEST_F(Shell, AcceleratorsInADialogGoToTheControl)
{
    Run({[] { Post(WM_COMMAND, CMD_SETTINGS); },
        [] {
            auto dialogs = machine::WindowsOfClass("#32770");
            ASSERT_EQ(1u, dialogs.size());
            HWND list = machine::ChildById(dialogs[0], IDC_EXCLUSION_LIST);
            PostMessageA(list, WM_SYSCHAR, '?', 1 << 29);
        },
        [] {
            EXPECT_TRUE(M().messageBoxes.empty());
            Post(WM_COMMAND, CMD_EXIT);
        }});
}

TEST_F(Shell, EachSettingsCommandOpensOneMoreDialog)
{
    Run({[] {
             Post(WM_COMMAND, CMD_SETTINGS);
             Post(WM_COMMAND, MAKEWPARAM(CMD_SETTINGS, 1));
         },
        [] {
            auto dialogs = machine::WindowsOfClass("#32770");
            ASSERT_EQ(2u, dialogs.size());
            for (HWND dialog : dialogs) {
                machine::Window* window = machine::FindWindowByHandle(dialog);
                EXPECT_TRUE(window->visible);
                EXPECT_EQ(MainWindow(), window->parent);
            }
            Post(WM_COMMAND, CMD_EXIT);
        }});
    // Owned by the main window, they go with it.
    EXPECT_TRUE(machine::WindowsOfClass("#32770").empty());
}

TEST_F(Shell, AFailedDialogCreationShowsNothing)
{
    machine::FailCall(machine::Fault::CreateDialog, 1);
    Run({[] {
        M().calls.clear();
        EXPECT_EQ(0, SendMessageA(MainWindow(), WM_COMMAND, CMD_SETTINGS, 0));
        EXPECT_TRUE(machine::CallsNamed("ShowWindow").empty());
        Post(WM_COMMAND, CMD_EXIT);
    }});
}

TEST_F(Shell, TheIconComesBackWhenTheNotificationAreaIsRecreated)
{
    Run({[] { machine::RestartShell(); },
        [] {
            ASSERT_EQ(1u, M().tray.size());
            EXPECT_EQ(Sjis("USBストレージの取り外し"), M().tray.begin()->second.record.szTip);
            EXPECT_EQ(IDI_KESTRABIN, M().tray.begin()->second.iconResource);
            Post(WM_COMMAND, CMD_EXIT);
        }});
    EXPECT_TRUE(M().tray.empty());
    EXPECT_TRUE(M().loadedImages.empty());
}

TEST_F(Shell, TheAboutBoxLetsTheWindowWorkMeanwhile)
{
    M().onMessageBox = [](const machine::MessageBoxRecord&) {
        if (M().messageBoxes.size() == 1)
            SendMessageA(MainWindow(), WM_COMMAND, CMD_ABOUT, 0);
        SendMessageA(MainWindow(), WM_TRAYNOTIFY, TRAY_ICON_ID, WM_RBUTTONUP);
    };
    Run({[] { Post(WM_COMMAND, CMD_ABOUT); }, [] { Post(WM_COMMAND, CMD_EXIT); }});
    EXPECT_EQ(2u, M().messageBoxes.size());
    EXPECT_EQ(2u, M().shownMenus.size());
}
