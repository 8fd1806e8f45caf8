// The exclusion list in the registry: loaded in key order up to a gap, matched exactly, and
// saved so that only the devices shown in the dialog change and nothing stored is lost.
#include "support.h"

class Exclusions : public HostTest {
protected:
    // The entries a load gives.
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

TEST_F(Exclusions, TheStoreLoadsKeysInOrderUpToAGapAndMatchesExactly)
{
    Exclude(1, "1", "1", "1");
    Exclude(0, "S");
    const std::string k = "SOFTWARE\\Kestrabin\\", v(32, 'v'), p(40, 'p'), s(256, 's');
    HostSetValue(k + "1", "VID", REG_DWORD, std::string("12\0\0", 4));
    HostSetValue(k + "2", "VID", REG_SZ, std::string("AB\0", 3));
    HostSetValue(k + "2", "PID", REG_SZ, p.substr(9));
    Exclude(3, s.substr(1), v, p.c_str());
    HostSetValue(k + "4", "SEL", REG_SZ, s);
    HostSetValue(k + "5", "SEL", REG_BINARY, std::string(65536, 's'));
    Exclude(7, "7"); // behind the gap
    const S stored = {"1234/5678/S", "12/1/1", "AB/" + p.substr(9) + "/",
        v.substr(1) + "/" + p.substr(9) + "/" + s.substr(1), "//" + s.substr(1), "//" + s.substr(1)};
    EXPECT_EQ(stored, Load());
    // Reading asks only to read: keys that refuse writing (a policy) still load.
    for (int n = 0; n < 8; n++)
        HostReadOnly(k + std::to_string(n));
    EXPECT_EQ(stored, Load());
    ExclusionList list = {}, empty = {};
    LoadExclusionList(&list);
    const std::pair<UsbIdentity, int> cases[] = {{{"1234", "5678", "S"}, 1}, {{"1234", "5678", "s"}, 0},
        {{"1234", "5678", "SS"}, 0}, {{"1234", "5678", ""}, 0}, {{"1234", "5679", "S"}, 0}, {{"1235", "5678", "S"}, 0},
        {{"12", "1", "1"}, 1}, {{"12", "1", ""}, 0}, {{"", "", ""}, 0}};
    for (auto& c : cases) {
        EXPECT_EQ((V{c.second, 0}), (V{IsExcluded(&list, &c.first), IsExcluded(&empty, &c.first)}))
            << c.first.vid << "/" << c.first.pid << "/" << c.first.serial;
    }
    FreeExclusionList(&list);
    EXPECT_EQ((V{1, 0}), (V{(long long)HostHeapBlocks(), (long long)HostOpenKeys()})) << "more than the list's head";
}

TEST_F(Exclusions, ASaveChangesOnlyTheDevicesShownAndLosesNothingStored)
{
    // X a device that is not plugged in; E stored; Y behind a gap.
    // R is a second slot of E's reader: the same USB device.
    const std::string machine = Stick('E') + Stick('F') + "volume R disk 4\n";
    Describe(machine);
    Exclude(0, "X", "9", "9");
    Exclude(1, "SE");
    Exclude(3, "Y", "9", "9");
    const std::string x = "0: VID=9 PID=9 SEL=X; ", e = "VID=1234 PID=5678 SEL=SE; ", f = "VID=1234 PID=5678 SEL=SF; ",
                      y = "3: VID=9 PID=9 SEL=Y; ";
    // Ticked and unticked rows (G's device has gone since the dialog opened), and the keys after OK.
    const S saves[] = {{"F", "E", x + "1: " + f + y}, {"F", "E", x + "1: " + f + y}, {"", "", x + "1: " + f + y},
        {"GE", "", x + "1: " + f + "2: " + e}, {"EE", "F", x + "1: " + e}, {"EF", "G", x + "1: " + e + "2: " + f},
        {"R", "E", x + "1: " + e + "2: " + f}, {"", "EF", x}};
    for (const S& save : saves) {
        SaveExclusionList(save[0].c_str(), save[1].c_str());
        EXPECT_EQ(save[2], Registry()) << save[0] << " ticked, " << save[1] << " not";
    }
    // Stored E, then B and C, which are not plugged in; E unticked. Key 1 cannot be written: the
    // save ends there, and C, whose key 2 would have been deleted, keeps it.
    const std::string b = "VID=1234 PID=5678 SEL=SB; ", c = "2: VID=1234 PID=5678 SEL=SC; ";
    for (const char* call : {"RegCreateKeyExA 2", "RegSetValueExA 4"}) {
        Describe(machine + "fail " + call);
        Exclude(0, "SE");
        Exclude(1, "SB");
        Exclude(2, "SC");
        SaveExclusionList("", "E");
        EXPECT_EQ("0: " + b + "1: " + b + c, Registry()) << call;
    }
    // A stored list that cannot be read whole is not rewritten, and the read says so: the dialog
    // then removes nothing at its OK.
    for (const char* call : {"RegOpenKeyExA", "RegQueryValueExA", "HeapAlloc"}) {
        ExclusionList list = {};
        SimDescribe((machine + "fail " + call + " " + std::to_string(SimCount(call) + 2)).c_str());
        EXPECT_EQ(0, LoadExclusionList(&list)) << call;
        FreeExclusionList(&list);
        SimDescribe((machine + "fail " + call + " " + std::to_string(SimCount(call) + 2)).c_str());
        SaveExclusionList("F", "E");
        EXPECT_EQ("0: " + b + "1: " + b + c, Registry()) << call;
    }
    EXPECT_EQ((V{1, 0}), (V{(long long)HostHeapBlocks(), (long long)HostOpenKeys()})) << "more than the list's head";
}
