// The settings dialog: its rows, ticks and what OK and Cancel store.
#include <strings.h>

#include "support.h"

using machine::M;

class Settings : public MachineTest {
protected:
    HWND main = nullptr;

    void SetUp() override
    {
        MachineTest::SetUp();
        main = CreateProgramWindow();
    }

    HWND Open()
    {
        HWND dialog = CreateDialogParamA(machine::Instance(), MAKEINTRESOURCEA(IDD_SETTINGS), main, SettingsDlgProc, 0);
        EXPECT_NE(nullptr, dialog);
        return dialog;
    }

    static machine::Window& List(HWND dialog)
    {
        return *machine::FindWindowByHandle(machine::ChildById(dialog, IDC_EXCLUSION_LIST));
    }

    // One line per row: column texts and the state image index.
    static std::vector<std::string> Rows(HWND dialog)
    {
        std::vector<std::string> rows;
        for (const machine::ListRow& row : List(dialog).rows) {
            std::string line;
            for (const std::string& text : row.texts)
                line += text + "|";
            rows.push_back(line + std::to_string(row.state >> 12));
        }
        return rows;
    }

    static void Exclude(int number, const char* vid, const char* pid, const char* serial)
    {
        std::string path = "SOFTWARE\\Kestrabin\\" + std::to_string(number);
        machine::SetRegString(path, "VID", vid);
        machine::SetRegString(path, "PID", pid);
        machine::SetRegString(path, "SEL", serial);
    }

    static bool Gone(HWND dialog) { return machine::FindWindowByHandle(dialog) == nullptr; }
};

TEST_F(Settings, WithoutDrivesTheListHasTwoColumnsAndNoRows)
{
    Exclude(0, "1", "2", "3");
    Exclude(1, "4", "5", "6");
    HWND dialog = Open();
    machine::Window& list = List(dialog);
    EXPECT_EQ((DWORD)LVS_EX_CHECKBOXES, list.listExStyle);
    ASSERT_EQ(2u, list.columns.size());
    EXPECT_EQ(LVCFMT_LEFT, list.columns[0].fmt);
    EXPECT_TRUE(list.rows.empty());
    EXPECT_EQ((DWORD)ICC_LISTVIEW_CLASSES, M().commonControls);
    EXPECT_TRUE(M().heapBlocks.size() == 1) << "the temporary exclusion list was not released";
    machine::ClickButton(dialog, IDOK);
    EXPECT_TRUE(Gone(dialog));
    EXPECT_FALSE(machine::HasRegKey("SOFTWARE\\Kestrabin\\0"));
    EXPECT_FALSE(machine::HasRegKey("SOFTWARE\\Kestrabin\\1"));
}

TEST_F(Settings, RowsForReadableDrivesInListOrderWithTheirOwnTicks)
{
    machine::AddUsbDrive('G', 3, DISK_ID("Gvend", "Gprod"), USB_ID("3333", "3333", "G"));
    machine::AddUsbDrive('E', 1, DISK_ID("Evend", "Eprod"), USB_ID("1111", "1111", "E"));
    machine::AddUsbDrive('F', 2, "USBSTOR\\DISK&VEN_F&PROD_F", USB_ID("2222", "2222", "F"));
    Exclude(0, "3333", "3333", "G");
    Exclude(1, "2222", "2222", "F");
    for (const char* drive : {"E:", "F:", "G:"})
        AddTrackedDrive(drive);
    HWND dialog = Open();
    EXPECT_EQ((std::vector<std::string>{"E:|Evend Eprod|1", "G:|Gvend Gprod|2"}), Rows(dialog));
    for (const machine::ListRow& row : List(dialog).rows)
        EXPECT_EQ(0, row.param);
    EXPECT_GT(List(dialog).columns[0].width, 0);
    EXPECT_GT(List(dialog).columns[1].width, 0);
    // F had no row, so OK drops its exclusion.
    machine::ClickButton(dialog, IDOK);
    EXPECT_TRUE(machine::HasRegKey("SOFTWARE\\Kestrabin\\0"));
    EXPECT_EQ("G", machine::FindRegValue("SOFTWARE\\Kestrabin\\0", "SEL")->data);
    EXPECT_FALSE(machine::HasRegKey("SOFTWARE\\Kestrabin\\1"));
}

TEST_F(Settings, TickingHidesTheDeviceFromTheNextMenuAndUntickingShowsIt)
{
    machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
    AddTrackedDrive("E:");
    auto menuEntries = [&] {
        SendMessageA(main, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_RBUTTONUP);
        return M().shownMenus.back().items.size() - 6;
    };
    EXPECT_EQ(1u, menuEntries());

    HWND dialog = Open();
    machine::SetRowTicked(machine::ChildById(dialog, IDC_EXCLUSION_LIST), 0, true);
    machine::ClickButton(dialog, IDOK);
    EXPECT_EQ(0u, menuEntries());

    dialog = Open();
    EXPECT_EQ((std::vector<std::string>{"E:|ACME STICK|2"}), Rows(dialog));
    machine::SetRowTicked(machine::ChildById(dialog, IDC_EXCLUSION_LIST), 0, false);
    machine::ClickButton(dialog, IDOK);
    EXPECT_EQ(1u, menuEntries());
    EXPECT_FALSE(machine::HasRegKey("SOFTWARE\\Kestrabin\\0"));
}

TEST_F(Settings, CancelAndTheCloseButtonLeaveTheRegistry)
{
    Exclude(0, "1", "2", "3");
    HWND dialog = Open();
    machine::ClickButton(dialog, IDCANCEL);
    EXPECT_TRUE(Gone(dialog));
    dialog = Open();
    SendMessageA(dialog, WM_CLOSE, 0, 0);
    machine::PumpMessages();
    EXPECT_TRUE(Gone(dialog));
    EXPECT_TRUE(machine::HasRegKey("SOFTWARE\\Kestrabin\\0"));
    EXPECT_TRUE(machine::CallsNamed("RegDeleteKeyA").empty());
    EXPECT_TRUE(machine::CallsNamed("RegCreateKeyExA").empty());
    auto ends = machine::CallsNamed("EndDialog");
    ASSERT_EQ(2u, ends.size());
    EXPECT_EQ(1, ends[0].args[1]);
}

TEST_F(Settings, OnlyAClickActsTheWholeWParamIsCompared)
{
    Exclude(0, "1", "2", "3");
    HWND dialog = Open();
    EXPECT_EQ(FALSE, SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 1), 0));
    EXPECT_EQ(FALSE, SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 5), 0));
    EXPECT_FALSE(Gone(dialog));
    EXPECT_TRUE(machine::HasRegKey("SOFTWARE\\Kestrabin\\0"));
    EXPECT_EQ(FALSE, SendMessageA(dialog, WM_NULL, 0, 0));
}

TEST_F(Settings, TwoSlotsOfOneReaderShareTheirTick)
{
    machine::UsbDrive reader = machine::AddUsbDrive('E', 1, DISK_ID("Generic", "SD"), USB_ID("05E3", "0723", "R1"));
    DEVINST second = machine::AddNode(DISK_ID("Generic", "MS"), reader.usb, 0);
    machine::AddInterface(GUID_DEVINTERFACE_DISK, second, 2);
    machine::AddVolume('F', 2);
    AddTrackedDrive("E:");
    AddTrackedDrive("F:");
    Exclude(0, "05E3", "0723", "R1");
    HWND dialog = Open();
    EXPECT_EQ((std::vector<std::string>{"E:|Generic SD|2", "F:|Generic MS|2"}), Rows(dialog));
    machine::SetRowTicked(machine::ChildById(dialog, IDC_EXCLUSION_LIST), 0, false);
    machine::ClickButton(dialog, IDOK);
    dialog = Open();
    EXPECT_EQ((std::vector<std::string>{"E:|Generic SD|2", "F:|Generic MS|2"}), Rows(dialog));
}

TEST_F(Settings, ARowWithoutAUsbIdentityStartsUnticked)
{
    machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
    machine::UsbDrive orphan = machine::AddUsbDrive('F', 2, DISK_ID("ACME", "ORPHAN"), "");
    Exclude(0, "1234", "5678", "S1");
    Exclude(1, "", "", "");
    AddTrackedDrive("E:");
    AddTrackedDrive("F:");
    HWND dialog = Open();
    EXPECT_EQ((std::vector<std::string>{"E:|ACME STICK|2", "F:|ACME ORPHAN|1"}), Rows(dialog));
    M().nodes[orphan.disk].parentFails = true;
    HWND again = Open();
    EXPECT_EQ((std::vector<std::string>{"E:|ACME STICK|2", "F:|ACME ORPHAN|1"}), Rows(again));
}

TEST_F(Settings, LongTextsAreCut)
{
    std::string vendor(127, 'V'), product(127, 'P');
    std::string id = "USBSTOR\\DISK&VEN_" + vendor + "&PROD_" + product + "&REV_1\\0";
    machine::AddUsbDrive('E', 1, id.c_str(), USB_ID("1", "2", "S"));
    AddTrackedDrive("E:");
    HWND dialog = Open();
    ASSERT_EQ(1u, List(dialog).rows.size());
    EXPECT_EQ(vendor, List(dialog).rows[0].texts[1]);
}

TEST_F(Settings, ARowWithoutAStateImageCountsAsTicked)
{
    machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
    AddTrackedDrive("E:");
    HWND dialog = Open();
    List(dialog).rows[0].state = 0;
    machine::ClickButton(dialog, IDOK);
    EXPECT_TRUE(machine::HasRegKey("SOFTWARE\\Kestrabin\\0"));
}

TEST_F(Settings, ADriveGoneWhileTheDialogIsOpenIsNotStored)
{
    machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
    machine::AddUsbDrive('F', 2, DISK_ID("ACME", "CARD"), USB_ID("ABCD", "EF01", "S2"));
    AddTrackedDrive("E:");
    AddTrackedDrive("F:");
    HWND dialog = Open();
    machine::SetRowTicked(machine::ChildById(dialog, IDC_EXCLUSION_LIST), 0, true);
    machine::SetRowTicked(machine::ChildById(dialog, IDC_EXCLUSION_LIST), 1, true);
    M().volumes.erase('E');
    machine::ClickButton(dialog, IDOK);
    EXPECT_EQ("S2", machine::FindRegValue("SOFTWARE\\Kestrabin\\0", "SEL")->data);
    EXPECT_FALSE(machine::HasRegKey("SOFTWARE\\Kestrabin\\1"));
}

TEST_F(Settings, TwoOpenDialogsTheLaterOkWins)
{
    machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
    AddTrackedDrive("E:");
    HWND first = Open();
    HWND second = Open();
    machine::SetRowTicked(machine::ChildById(second, IDC_EXCLUSION_LIST), 0, true);
    machine::ClickButton(second, IDOK);
    EXPECT_TRUE(machine::HasRegKey("SOFTWARE\\Kestrabin\\0"));
    machine::ClickButton(first, IDOK);
    EXPECT_FALSE(machine::HasRegKey("SOFTWARE\\Kestrabin\\0"));
    EXPECT_TRUE(M().openKeys.empty());
    EXPECT_EQ(1u + 2u, M().heapBlocks.size()) << "list head and one tracked drive only";
}

TEST_F(Settings, TheDialogIsBuiltFromTheCompiledTemplate)
{
    HWND dialog = Open();
    machine::Window* window = machine::FindWindowByHandle(dialog);
    EXPECT_EQ(Sjis("Kestrabin 設定"), window->title);
    EXPECT_TRUE(window->visible);
    struct Control {
        int id;
        const char* className;
        const char* text;
    };
    const Control controls[] = {
        {IDOK, "Button", "OK"},
        {IDCANCEL, "Button", "キャンセル"},
        {IDC_SETTINGS_TAB, "SysTabControl32", ""},
        {IDC_EXCLUSION_LIST, "SysListView32", ""},
        {0xFFFF, "Static", "取外し除外リスト"},
        {0xFFFF, "Static", "※チェックしたUSBは取外しメニューに表示されません"},
    };
    ASSERT_EQ(6u, window->children.size());
    for (size_t i = 0; i < 6; i++) {
        machine::Window* control = machine::FindWindowByHandle(window->children[i]);
        EXPECT_EQ(controls[i].id, control->id) << i;
        // windres writes class names in capitals; Windows compares them without case.
        EXPECT_EQ(0, strcasecmp(controls[i].className, control->className.c_str())) << control->className;
        EXPECT_EQ(Sjis(controls[i].text), control->title) << i;
    }
}
