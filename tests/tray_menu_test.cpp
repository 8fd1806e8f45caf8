// The tray icon's popup menu.
#include "support.h"

using machine::M;

class TrayMenu : public MachineTest {
protected:
    HWND window = nullptr;

    void SetUp() override
    {
        MachineTest::SetUp();
        window = CreateProgramWindow();
        ASSERT_NE(nullptr, window);
    }

    // Opens the menu; returns what it showed, one line per item.
    std::vector<std::string> Open()
    {
        size_t before = M().shownMenus.size();
        SendMessageA(window, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_RBUTTONUP);
        EXPECT_EQ(before + 1, M().shownMenus.size());
        std::vector<std::string> items;
        if (M().shownMenus.size() == before)
            return items;
        for (const machine::MenuItem& item : M().shownMenus.back().items) {
            char line[64];
            snprintf(line, sizeof(line), "%#x %#x ", item.flags, (unsigned)item.id);
            items.push_back(line + (item.hasText ? item.text : std::string("-")));
        }
        return items;
    }

    static std::string Item(unsigned id, const char* text)
    {
        char line[64];
        snprintf(line, sizeof(line), "0 %#x ", id);
        return line + Sjis(text);
    }

    static std::vector<std::string> Fixed()
    {
        return {"0x800 0 -", Item(106, "設定"), "0x800 0 -", Item(104, "Kestrabinについて"), "0x800 0 -",
            Item(105, "終了")};
    }

    static std::vector<std::string> With(std::vector<std::string> entries)
    {
        for (const std::string& item : Fixed())
            entries.push_back(item);
        return entries;
    }
};

TEST_F(TrayMenu, WithoutDrivesThePlaceholderComesFirst)
{
    EXPECT_EQ(With({Item(0, "接続されていません")}), Open());
    EXPECT_TRUE(machine::CallsNamed("RegOpenKeyExA").empty()) << "exclusions loaded without drives";
    const machine::ShownMenu& shown = M().shownMenus.back();
    EXPECT_EQ((UINT)TPM_RIGHTBUTTON, shown.flags);
    EXPECT_EQ(100, shown.x);
    EXPECT_EQ(200, shown.y);
    EXPECT_EQ(window, shown.owner);
    EXPECT_EQ(window, M().foreground);
    ASSERT_EQ(1u, M().queue.size()) << "WM_NULL after the menu";
    EXPECT_EQ((UINT)WM_NULL, M().queue.front().message);
    EXPECT_EQ(window, M().queue.front().hwnd);
    EXPECT_TRUE(M().menus.at(shown.handle).destroyed);
}

TEST_F(TrayMenu, TheCursorIsReadBeforeTheMenuIsBuilt)
{
    M().calls.clear();
    Open();
    EXPECT_EQ("GetCursorPos", M().calls[0].name);
    EXPECT_EQ("CreatePopupMenu", M().calls[1].name);
}

TEST_F(TrayMenu, DrivesGetEntriesInListOrder)
{
    machine::AddUsbDrive('G', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
    machine::AddUsbDrive('E', 2, DISK_ID("Vendor", "Card"), USB_ID("1234", "9999", "S2"));
    AddTrackedDrive("G:\\");
    AddTrackedDrive("E:");
    EXPECT_EQ(With({"0 0x1006 ACME STICK(G:)", "0 0x1004 Vendor Card(E:)"}), Open());
}

TEST_F(TrayMenu, LettersAAndZAndRepeats)
{
    machine::AddUsbDrive('A', 1, DISK_ID("V", "P"), USB_ID("1", "2", "S1"));
    machine::AddUsbDrive('Z', 2, DISK_ID("V", "Q"), USB_ID("1", "3", "S2"));
    for (const char* drive : {"A:", "Z:", "A:\\"})
        AddTrackedDrive(drive);
    EXPECT_EQ(With({"0 0x1000 V P(A:)", "0 0x1019 V Q(Z:)", "0 0x1000 V P(A:)"}), Open());
}

TEST_F(TrayMenu, EmptyVendorOrProduct)
{
    machine::AddUsbDrive('E', 1, "USBSTOR\\DISK&VEN_&PROD_STICK&REV_1\\0", USB_ID("1", "2", "S1"));
    machine::AddUsbDrive('F', 2, "USBSTOR\\DISK&VEN_ACME&PROD_&REV_1\\0", USB_ID("1", "3", "S2"));
    AddTrackedDrive("E:");
    AddTrackedDrive("F:");
    EXPECT_EQ(With({"0 0x1004  STICK(E:)", "0 0x1005 ACME (F:)"}), Open());
}

TEST_F(TrayMenu, ExcludedAndUnreadableDrivesGetNoEntryAndNoPlaceholder)
{
    machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
    machine::AddUsbDrive('F', 2, "USBSTOR\\DISK&VEN_ACME&PROD_BROKEN", USB_ID("1234", "5678", "S2"));
    machine::AddVolume('G', 7);
    machine::SetRegString("SOFTWARE\\Kestrabin\\0", "VID", "1234");
    machine::SetRegString("SOFTWARE\\Kestrabin\\0", "PID", "5678");
    machine::SetRegString("SOFTWARE\\Kestrabin\\0", "SEL", "S1");
    for (const char* drive : {"E:", "F:", "G:"})
        AddTrackedDrive(drive);
    EXPECT_EQ(Fixed(), Open());
    // The excluded drive's disk is never asked for.
    for (const machine::Call& call : machine::CallsNamed("CM_Get_Device_IDA"))
        EXPECT_NE((long long)M().nodes.begin()->first + 1, call.args[0]);
    EXPECT_TRUE(M().heapBlocks.size() == 1 + 3 * 2) << "the exclusion list was not released";
    EXPECT_TRUE(M().openKeys.empty());
}

// A drive without a readable USB identity is tested with empty fields, so
// the drive before it can never decide whether it is shown.
TEST_F(TrayMenu, AnUnreadableUsbIdentityNeverBorrowsTheLastDrives)
{
    machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
    machine::UsbDrive orphan = machine::AddUsbDrive('F', 2, DISK_ID("ACME", "ORPHAN"), "");
    machine::SetRegString("SOFTWARE\\Kestrabin\\0", "VID", "1234");
    machine::SetRegString("SOFTWARE\\Kestrabin\\0", "PID", "5678");
    machine::SetRegString("SOFTWARE\\Kestrabin\\0", "SEL", "S1");
    AddTrackedDrive("E:");
    AddTrackedDrive("F:");
    EXPECT_EQ(With({"0 0x1005 ACME ORPHAN(F:)"}), Open());
    M().nodes[orphan.disk].parentFails = true;
    EXPECT_EQ(With({"0 0x1005 ACME ORPHAN(F:)"}), Open());
}

TEST_F(TrayMenu, LongEntriesAreCutToTheirBuffer)
{
    std::string vendor(127, 'V'), product(127, 'P');
    std::string id = "USBSTOR\\DISK&VEN_" + vendor + "&PROD_" + product + "&REV_1\\0";
    machine::AddUsbDrive('E', 1, id.c_str(), USB_ID("1", "2", "S"));
    AddTrackedDrive("E:");
    std::vector<std::string> items = Open();
    ASSERT_EQ(7u, items.size());
    EXPECT_EQ("0 0x1004 " + vendor, items[0]);
}

TEST_F(TrayMenu, TheRegistryIsReadAgainForEveryMenu)
{
    machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
    AddTrackedDrive("E:");
    EXPECT_EQ(With({"0 0x1004 ACME STICK(E:)"}), Open());
    machine::SetRegString("SOFTWARE\\Kestrabin\\0", "VID", "1234");
    machine::SetRegString("SOFTWARE\\Kestrabin\\0", "PID", "5678");
    machine::SetRegString("SOFTWARE\\Kestrabin\\0", "SEL", "S1");
    EXPECT_EQ(Fixed(), Open());
    RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Kestrabin\\0");
    EXPECT_EQ(With({"0 0x1004 ACME STICK(E:)"}), Open());
}

TEST_F(TrayMenu, ABroadcastWhileTheMenuIsOpenChangesTheListNotTheMenu)
{
    machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
    AddTrackedDrive("E:");
    M().onMenu = [&](const machine::ShownMenu&) {
        DEV_BROADCAST_VOLUME volume = {sizeof(volume), DBT_DEVTYP_VOLUME, 0, 1 << 4, 0};
        SendMessageA(window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, (LPARAM)&volume);
        M().volumes.erase('E');
        return 0; // the stale entry
    };
    EXPECT_EQ(With({"0 0x1004 ACME STICK(E:)"}), Open());
    EXPECT_EQ("", TrackedList());
    M().calls.clear();
    machine::PumpMessages();
    auto opens = machine::CallsNamed("CreateFileA");
    ASSERT_EQ(1u, opens.size()) << "the eject command should still try drive E";
    EXPECT_EQ("\\\\.\\E:", opens[0].text);
    EXPECT_TRUE(M().messageBoxes.empty());
}

TEST_F(TrayMenu, ChoosingAFixedItemSendsItsCommand)
{
    M().onMenu = [](const machine::ShownMenu&) { return 4; };
    Open();
    machine::PumpMessages();
    EXPECT_EQ(1u, M().messageBoxes.size());
    M().onMenu = [](const machine::ShownMenu&) { return 0; };
    Open();
    M().calls.clear();
    machine::PumpMessages();
    auto defaults = machine::CallsNamed("DefWindowProcA");
    ASSERT_EQ(2u, defaults.size()) << "the placeholder's command 0, then WM_NULL";
    EXPECT_EQ(WM_COMMAND, defaults[0].args[1]);
    EXPECT_EQ(0, defaults[0].args[2]);
}
