// The exclusion list in the registry, and the tray menu and the settings dialog that use it.
#include "support.h"

class Exclusions : public MachineTest {
protected:
    static HWND Dialog() { return machine::WindowsOfClass("#32770").back(); }
    static HWND OpenSettings(HWND main)
    {
        SendMessageA(main, WM_COMMAND, CMD_SETTINGS, 0);
        return Dialog();
    }
    static machine::Window& List(HWND dialog) { return *machine::FindWindowByHandle(GetDlgItem(dialog, 40001)); }
    static void Tick(HWND dialog, int row, int image)
    {
        LVITEMA item = {};
        item.state = INDEXTOSTATEIMAGEMASK(image);
        item.stateMask = LVIS_STATEIMAGEMASK;
        SendMessageA(List(dialog).handle, LVM_SETITEMSTATE, row, (LPARAM)&item);
    }
    static S Load()
    {
        ExclusionList list = {};
        LoadExclusionList(&list);
        S entries;
        for (DriveNode* node = list.first; node; node = node->next) {
            const UsbIdentity* id = (const UsbIdentity*)node->data;
            entries.push_back(std::string(id->vid) + "/" + id->pid + "/" + id->serial);
        }
        FreeExclusionList(&list);
        return entries;
    }
};

TEST_F(Exclusions, TheStoreLoadsKeysInOrderUpToAGapMatchesExactlyAndRewritesItsKeys)
{
    Exclude(1, "1", "1", "1");
    Exclude(0, "S");
    const std::string k = "SOFTWARE\\Kestrabin\\", v(32, 'v'), p(40, 'p'), s(256, 's');
    machine::SetRegValue(k + "1", "VID", REG_DWORD, std::string("12\0\0", 4));
    machine::SetRegValue(k + "2", "VID", REG_SZ, std::string("AB\0", 3));
    machine::SetRegString(k + "2", "PID", p.substr(9));
    Exclude(3, s.substr(1), v, p.c_str());
    machine::SetRegString(k + "4", "SEL", s);
    machine::SetRegValue(k + "5", "SEL", REG_BINARY, std::string(65536, 's'));
    Exclude(7, "7"); // behind the gap
    EXPECT_EQ((S{"1234/5678/S", "12/1/1", "AB/" + p.substr(9) + "/",
                  v.substr(1) + "/" + p.substr(9) + "/" + s.substr(1), "//" + s.substr(1), "//" + s.substr(1)}),
        Load());
    ExclusionList list = {}, empty = {};
    LoadExclusionList(&list);
    const std::pair<UsbIdentity, int> cases[] = {{{"1234", "5678", "S"}, 1}, {{"1234", "5678", "s"}, 0},
        {{"1234", "5678", "SS"}, 0}, {{"1234", "5678", ""}, 0}, {{"1234", "5679", "S"}, 0}, {{"1235", "5678", "S"}, 0},
        {{"12", "1", "1"}, 1}, {{"12", "1", ""}, 0}, {{"", "", ""}, 0}};
    for (auto& c : cases)
        EXPECT_EQ(c.second, IsExcluded(&list, &c.first) + IsExcluded(&empty, &c.first))
            << c.first.vid << "/" << c.first.pid << "/" << c.first.serial;
    FreeExclusionList(&list);
    machine::Reset();
    Stick('E');
    Stick('F');
    for (int number : {0, 1, 2, 3, 5})
        Exclude(number, "9", "9", "9");
    const std::string e = "VID=1:1234 PID=1:5678 SEL=1:SE; ", f = "VID=1:1234 PID=1:5678 SEL=1:SF; ",
                      nine = "5: VID=1:9 PID=1:9 SEL=1:9; ";
    // Twice the same; a drive gone since the dialog opened uses no number; none.
    for (auto& save : std::vector<std::pair<const char*, std::string>>{{"FE", "0: " + f + "1: " + e + nine},
             {"FE", "0: " + f + "1: " + e + nine}, {"GEGE", "0: " + e + "1: " + e + nine}, {"", nine}}) {
        SaveExclusionList(save.first);
        EXPECT_EQ(save.second, Registry()) << save.first;
    }
    // A key that cannot be created is skipped, but its number is used up.
    Exclude(0, "0", "0", "0");
    machine::FailCall(machine::Fault::RegCreate, machine::CallCount(machine::Fault::RegCreate) + 1);
    SaveExclusionList("EF");
    EXPECT_EQ("0: VID=1:0 PID=1:0 SEL=1:0; 1: " + f + nine, Registry());
}

TEST_F(Exclusions, TheMenuAndTheDialogShowTheDrivesAndOkStoresTheTicksForTheNextMenu)
{
    Exclude(0, "SH");
    Exclude(1, "SF");
    RunProgram({[](HWND main) {
        Stick('G');
        M().nodes[Stick('E').disk].instanceId = "USBSTOR\\DISK&VEN_&PROD_STICK&REV_1\\0";
        DEVINST excluded = Stick('F').disk;
        M().nodes[Stick('J').usb].instanceId = ""; // no USB identity: never excluded by another drive's
        M().nodes[Stick('H').disk].instanceId = "USBSTOR\\DISK&VEN_ACME&PROD_BROKEN&REV_1"; // no disk identity
        M().nodes[Stick('A').disk].instanceId = "USBSTOR\\DISK&VEN_ACME&PROD_&REV_1\\0";
        Stick('Z');
        for (const char* drive : {"G:\\", "E:", "F:", "J:", "H:", "A:", "Z:", "E:"})
            AddTrackedDrive(drive);
        EXPECT_EQ((S{"0 4102 ACME STICKG(G:)", "0 4100  STICK(E:)", "0 4105 ACME STICKJ(J:)", "0 4096 ACME (A:)",
                      "0 4121 ACME STICKZ(Z:)", "0 4100  STICK(E:)", "and the fixed items"}),
            Menu(main));
        for (const machine::Call& read : machine::CallsNamed("CM_Get_Device_IDA"))
            EXPECT_NE(excluded, read.args[0]) << "the excluded drive's disk was read";
        HWND dialog = OpenSettings(main);
        EXPECT_EQ((S{"G:|ACME STICKG|1|0", "E:| STICK|1|0", "F:|ACME STICKF|2|0", "J:|ACME STICKJ|1|0", "A:|ACME |1|0",
                      "Z:|ACME STICKZ|1|0", "E:| STICK|1|0"}),
            machine::ListLines(List(dialog).handle));
        const machine::Window& list = List(dialog);
        EXPECT_EQ((V{LVS_EX_CHECKBOXES, 2, 12 + 6 * 2, 12 + 6 * 11, ICC_LISTVIEW_CLASSES}),
            (V{list.listExStyle, (long long)list.columns.size(), list.columns.at(0).width, list.columns.at(1).width,
                M().commonControls}))
            << "check boxes, two columns sized to their contents, the list-view classes";
        EXPECT_EQ(GetDlgItem(dialog, IDOK), M().focus) << "no initial focus";
        S controls = {machine::Describe(dialog)};
        for (HWND child : machine::FindWindowByHandle(dialog)->children)
            controls.push_back(machine::Describe(child));
        // The template. Styles: the dialog WS_POPUP WS_VISIBLE WS_CAPTION WS_SYSMENU DS_MODALFRAME DS_CENTER
        // DS_3DLOOK DS_SETFONT DS_FIXEDSYS; every control WS_CHILD WS_VISIBLE, and then WS_TABSTOP
        // BS_DEFPUSHBUTTON, WS_TABSTOP BS_PUSHBUTTON, nothing, WS_BORDER WS_TABSTOP LVS_REPORT LVS_ALIGNLEFT,
        // WS_GROUP SS_LEFT twice.
        EXPECT_EQ(
            (S{Sjis("0 #32770 \"Kestrabin 設定\" 90c808cc 0 0,0 223x169 0 8 Ms Shell Dlg 2"),
                "1 BUTTON \"OK\" 50010001 0 112,151 50x14 0 0 ",
                Sjis("2 BUTTON \"キャンセル\" 50010000 0 165,151 50x14 0 0 "),
                "1001 SYSTABCONTROL32 \"\" 50000000 0 3,3 213x146 0 0 ",
                "40001 SYSLISTVIEW32 \"\" 50810801 0 9,47 200x94 0 0 ",
                Sjis("65535 STATIC \"取外し除外リスト\" 50020000 0 8,22 55x8 0 0 "),
                Sjis("65535 STATIC \"※チェックしたUSBは取外しメニューに表示されません\" 50020000 0 11,34 160x8 0 0 ")}),
            controls);
        // OK as it opened: H had no row and loses its exclusion.
        machine::ClickButton(dialog, IDOK);
        EXPECT_EQ("0: VID=1:1234 PID=1:5678 SEL=1:SF; ", Registry());
        // Untick F, tick E, and give G and A images 0 and 3: every row but the empty box counts as ticked.
        dialog = OpenSettings(main);
        Tick(dialog, 2, 1);
        Tick(dialog, 1, 2);
        Tick(dialog, 0, 0);
        Tick(dialog, 4, 3);
        machine::ClickButton(dialog, IDOK);
        EXPECT_EQ("0: VID=1:1234 PID=1:5678 SEL=1:SG; 1: VID=1:1234 PID=1:5678 SEL=1:SE; 2: VID=1:1234 PID=1:5678 "
                  "SEL=1:SA; ",
            Registry());
        EXPECT_EQ(
            (S{"0 4101 ACME STICKF(F:)", "0 4105 ACME STICKJ(J:)", "0 4121 ACME STICKZ(Z:)", "and the fixed items"}),
            Menu(main));
        const std::string stored = Registry();
        // A command that is not a click, Cancel and the close button store nothing.
        dialog = OpenSettings(main);
        Tick(dialog, 2, 2);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 1), 0);
        machine::ClickButton(dialog, IDCANCEL);
        dialog = OpenSettings(main);
        Tick(dialog, 2, 2);
        SendMessageA(dialog, WM_CLOSE, 0, 0);
        machine::PumpMessages();
        EXPECT_EQ(0u, machine::WindowsOfClass("#32770").size());
        EXPECT_EQ(stored, Registry());
        // The placeholder without drives, and without the registry; nothing when no drive can be shown.
        while (GetTrackedDriveList()->first)
            RemoveTrackedDrive((const char*)GetTrackedDriveList()->first->data);
        M().calls.clear();
        EXPECT_EQ((S{Sjis("0 0 接続されていません"), "and the fixed items"}), Menu(main));
        EXPECT_EQ(0u, machine::CallsNamed("RegOpenKeyExA").size());
        AddTrackedDrive("H:");
        EXPECT_EQ(S{"and the fixed items"}, Menu(main));
        // Room for 31 letters, H's and thirty of K's; texts cut to 127 characters.
        std::string cut = std::string(100, 'V') + " " + std::string(26, 'P');
        M().nodes[Stick('K').disk].instanceId =
            "USBSTOR\\DISK&VEN_" + cut.substr(0, 100) + "&PROD_" + std::string(30, 'P') + "&REV_1\\0";
        for (int i = 0; i < 33; i++)
            AddTrackedDrive("K:");
        EXPECT_EQ((V{30 + 1, 30}), (V{(long long)Menu(main).size(), (long long)List(OpenSettings(main)).rows.size()}));
        EXPECT_EQ("0 4106 " + cut + "|" + cut, Menu(main).at(29) + "|" + List(Dialog()).rows.at(29).texts.at(1));
        PostMessageA(main, WM_CLOSE, 0, 0);
    }});
    EXPECT_FALSE(M().starved) << "WM_CLOSE did not end the program";
    EXPECT_EQ((V{1, 0}), (V{(long long)M().tray.size(), (long long)machine::WindowsOfClass("#32770").size()}))
        << "only Exit removes the icon; the open dialog goes with its owner";
}
