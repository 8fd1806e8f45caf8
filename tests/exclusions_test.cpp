// The exclusion list in the registry, and the settings dialog that edits it.
#include "support.h"

class Exclusions : public MachineTest {
protected:
    static HWND OpenSettings(HWND main) { return SendMessageA(main, WM_COMMAND, CMD_SETTINGS, 0), Dialog(); }
    static HWND Dialog() { return machine::WindowsOfClass("#32770").back(); }
    static machine::Window& List(HWND dialog) { return *machine::FindWindowByHandle(GetDlgItem(dialog, 40001)); }
    static void Tick(HWND dialog, int row, int image)
    {
        LVITEMA item = {};
        item.state = INDEXTOSTATEIMAGEMASK(image), item.stateMask = LVIS_STATEIMAGEMASK;
        SendMessageA(List(dialog).handle, LVM_SETITEMSTATE, row, (LPARAM)&item);
    }
    // Each row: its two texts, its state image and its item data.
    static std::string Rows(HWND dialog)
    {
        std::string text;
        for (const machine::ListRow& row : List(dialog).rows)
            text += row.texts.at(0) + "|" + row.texts.at(1) + "|" + std::to_string(row.state >> 12) + "|" +
                std::to_string(row.param) + " ";
        return text;
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
        EXPECT_EQ(0u, M().heapBlocks.size() + M().openKeys.size()) << "the list or a key was not released";
        return entries;
    }
};

TEST_F(Exclusions, LoadingReadsKeysInOrderUpToTheFirstMissingNumberAndMatchesExactly)
{
    Exclude(1, "1", "1", "1");
    EXPECT_EQ(S{}, Load());
    Exclude(0, "S");
    const std::string k = "SOFTWARE\\Kestrabin\\", v(32, 'v'), p(40, 'p'), s(256, 's');
    machine::SetRegValue(k + "1", "VID", REG_DWORD, std::string("12\0\0", 4));
    machine::SetRegValue(k + "2", "VID", REG_SZ, std::string("AB\0", 3));
    machine::SetRegString(k + "2", "PID", p.substr(9));
    Exclude(3, s.substr(1), v, p.c_str());
    machine::SetRegString(k + "4", "SEL", s);
    machine::SetRegValue(k + "5", "SEL", REG_BINARY, std::string(65536, 's'));
    Exclude(7, "7");
    M().calls.clear();
    EXPECT_EQ((S{"1234/5678/S", "12/1/1", "AB/" + p.substr(9) + "/",
                  v.substr(1) + "/" + p.substr(9) + "/" + s.substr(1), "//" + s.substr(1), "//" + s.substr(1)}),
        Load());
    EXPECT_EQ(7u, machine::CallsNamed("RegOpenKeyExA").size()) << "key 7 lies behind a gap";
    ExclusionList list = {}, empty = {};
    LoadExclusionList(&list);
    const std::pair<UsbIdentity, int> cases[] = {{{"1234", "5678", "S"}, 1}, {{"1234", "5678", "s"}, 0},
        {{"1234", "5678", "SS"}, 0}, {{"1234", "5678", ""}, 0}, {{"1234", "5679", "S"}, 0}, {{"1235", "5678", "S"}, 0},
        {{"12", "1", "1"}, 1}, {{"12", "1", ""}, 0}, {{"", "", ""}, 0}};
    for (auto& c : cases)
        EXPECT_EQ(c.second, IsExcluded(&list, &c.first) + IsExcluded(&empty, &c.first))
            << c.first.vid << "/" << c.first.pid << "/" << c.first.serial;
    FreeExclusionList(&list);
}

TEST_F(Exclusions, SavingRewritesTheKeysFromZeroAndDeletesTheRunBehindThem)
{
    Stick('E'), Stick('F');
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
    Exclude(0, "SH"), Exclude(1, "SF");
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
        M().calls.clear();
        EXPECT_EQ((S{"0 4102 ACME STICKG(G:)", "0 4100  STICK(E:)", "0 4105 ACME STICKJ(J:)", "0 4096 ACME (A:)",
                      "0 4121 ACME STICKZ(Z:)", "0 4100  STICK(E:)", "and the fixed items"}),
            Menu(main));
        for (const machine::Call& read : machine::CallsNamed("CM_Get_Device_IDA"))
            EXPECT_NE(excluded, read.args[0]) << "the excluded drive's disk was read";
        EXPECT_EQ(1u + 2 * 8, M().heapBlocks.size()) << "the exclusion list was not released";
        HWND dialog = OpenSettings(main);
        EXPECT_EQ("G:|ACME STICKG|1|0 E:| STICK|1|0 F:|ACME STICKF|2|0 J:|ACME STICKJ|1|0 A:|ACME |1|0 Z:|ACME "
                  "STICKZ|1|0 E:| STICK|1|0 ",
            Rows(dialog));
        const machine::Window& list = List(dialog);
        EXPECT_EQ((V{LVS_EX_CHECKBOXES, 2, 12 + 6 * 2, 12 + 6 * 11, ICC_LISTVIEW_CLASSES, 1 + 2 * 8}),
            (V{list.listExStyle, (long long)list.columns.size(), list.columns.at(0).width, list.columns.at(1).width,
                M().commonControls, (long long)M().heapBlocks.size()}))
            << "check boxes, two columns sized to their contents, the list-view classes, no exclusion list left";
        EXPECT_EQ(GetDlgItem(dialog, IDOK), M().focus) << "no initial focus";
        // OK as it opened: H had no row and loses its exclusion.
        machine::ClickButton(dialog, IDOK);
        EXPECT_EQ("0: VID=1:1234 PID=1:5678 SEL=1:SF; ", Registry());
        // Tick E and untick F: the next menu shows F and neither E.
        Tick(dialog = OpenSettings(main), 1, 2), Tick(dialog, 2, 1);
        machine::ClickButton(dialog, IDOK);
        EXPECT_EQ("0: VID=1:1234 PID=1:5678 SEL=1:SE; ", Registry());
        EXPECT_EQ((S{"0 4102 ACME STICKG(G:)", "0 4101 ACME STICKF(F:)", "0 4105 ACME STICKJ(J:)", "0 4096 ACME (A:)",
                      "0 4121 ACME STICKZ(Z:)", "and the fixed items"}),
            Menu(main));
        // A command that is not a click, Cancel and the close button store nothing.
        Tick(dialog = OpenSettings(main), 2, 2);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 1), 0);
        EXPECT_EQ(dialog, Dialog());
        machine::ClickButton(dialog, IDCANCEL);
        Tick(dialog = OpenSettings(main), 2, 2);
        SendMessageA(dialog, WM_CLOSE, 0, 0);
        machine::PumpMessages();
        EXPECT_EQ(0u, machine::WindowsOfClass("#32770").size());
        EXPECT_EQ("0: VID=1:1234 PID=1:5678 SEL=1:SE; ", Registry());
        EXPECT_EQ(4u, machine::CallsNamed("EndDialog").size());
        // Room for 31 letters; texts cut to 127 characters; no placeholder when nothing is shown.
        while (GetTrackedDriveList()->first)
            RemoveTrackedDrive((const char*)GetTrackedDriveList()->first->data);
        EXPECT_EQ(S{"and the fixed items"}, (AddTrackedDrive("H:"), Menu(main)));
        RemoveTrackedDrive("H:");
        std::string cut = std::string(100, 'V') + " " + std::string(26, 'P');
        M().nodes[Stick('K').disk].instanceId =
            "USBSTOR\\DISK&VEN_" + cut.substr(0, 100) + "&PROD_" + std::string(30, 'P') + "&REV_1\\0";
        for (int i = 0; i < 33; i++)
            AddTrackedDrive("K:");
        EXPECT_EQ((V{31 + 1, 31}), (V{(long long)Menu(main).size(), (long long)List(OpenSettings(main)).rows.size()}));
        EXPECT_EQ("0 4106 " + cut + "|" + cut, Menu(main).at(30) + "|" + List(Dialog()).rows.at(30).texts.at(1));
    }});
}

TEST_F(Exclusions, OkTakesEveryRowButAnEmptyBoxAsTicked)
{
    Stick('E'), Stick('F'), Stick('G'), Stick('H');
    RunProgram({[](HWND main) {
        HWND dialog = OpenSettings(main);
        for (int row = 0; row < 4; row++)
            Tick(dialog, row, row);
        machine::ClickButton(dialog, IDOK);
        EXPECT_EQ("0: VID=1:1234 PID=1:5678 SEL=1:SE; 1: VID=1:1234 PID=1:5678 SEL=1:SG; 2: VID=1:1234 PID=1:5678 "
                  "SEL=1:SH; ",
            Registry());
    }});
}
