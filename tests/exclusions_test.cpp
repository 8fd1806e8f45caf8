// The exclusion list in the registry: loaded in key order up to a gap, matched exactly, and
// saved so that only the devices shown in the dialog change and nothing stored is lost.
#include "support.h"

#include <sstream>

using S = std::vector<std::string>;

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

    // The registry that keys such as "0: X 1: E" stand for: X and Y are 9/9/X and 9/9/Y, any
    // other serial s 1234/5678/Ss.
    static std::string Keys(const std::string& keys)
    {
        std::istringstream words(keys);
        std::string text;
        for (std::string number, s; words >> number >> s;)
            text += number + (s == "X" || s == "Y" ? " VID=9 PID=9 SEL=" : " VID=1234 PID=5678 SEL=S") + s + "; ";
        return text;
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
        EXPECT_EQ(c.second, IsExcluded(&list, &c.first)) << c.first.vid << "/" << c.first.pid << "/" << c.first.serial;
        EXPECT_EQ(0, IsExcluded(&empty, &c.first));
    }
    FreeExclusionList(&list);
}

// Devices by serial: 1234/5678 and the serial, or 9/9/X and 9/9/Y for X and Y.
static ExclusionList Devices(const std::string& serials)
{
    ExclusionList list = {};
    for (char serial : serials) {
        UsbIdentity usb = {"1234", "5678", {'S', serial}};
        if (serial == 'X' || serial == 'Y')
            usb = {"9", "9", {serial}};
        AddExclusion(&list, &usb);
    }
    return list;
}

struct SaveRow {
    const char* name;
    const char* ticked; // the devices of the ticked rows, by serial
    const char* unticked;
    const char* stored; // the keys afterwards
};

class Saves : public Exclusions, public ::testing::WithParamInterface<SaveRow> { };

// Stored: X, a device not plugged in; E; Y behind a gap.
INSTANTIATE_TEST_SUITE_P(Exclusions, Saves,
    ::testing::Values(SaveRow{"NothingShownChangesNothing", "", "", "0: X 1: E 3: Y"},
        SaveRow{"ATickAddsAndAnUntickRemoves", "F", "E", "0: X 1: F 3: Y"},
        SaveRow{"ATickedDeviceThatLeftIsStored", "G", "", "0: X 1: E 2: G"},
        SaveRow{"AStoredTickIsWrittenOnce", "EE", "F", "0: X 1: E 3: Y"},
        SaveRow{"TwoSlotsOfOneReaderTickedAndNotKeepIt", "E", "E", "0: X 1: E 3: Y"},
        SaveRow{"UntickingAllShown", "", "EF", "0: X 3: Y"}),
    ROW_NAMES);

TEST_P(Saves, ChangeOnlyTheDevicesShown)
{
    Exclude(0, "X", "9", "9");
    Exclude(1, "SE");
    Exclude(3, "Y", "9", "9");
    ExclusionList ticked = Devices(GetParam().ticked), unticked = Devices(GetParam().unticked);
    SaveExclusionList(&ticked, &unticked);
    FreeExclusionList(&ticked);
    FreeExclusionList(&unticked);
    EXPECT_EQ(Keys(GetParam().stored), Registry());
}

TEST_F(Exclusions, ASaveLosesNothingStored)
{
    // Stored E, then B and C, which are not plugged in; E unticked. Key 1 cannot be written: the
    // save ends there, and C, whose key 2 would have been deleted, keeps it.
    ExclusionList none = {}, e = {};
    for (const char* call : {"RegCreateKeyExA 2", "RegSetValueExA 4"}) {
        Describe(std::string("fail ") + call);
        Exclude(0, "SE");
        Exclude(1, "SB");
        Exclude(2, "SC");
        e = Devices("E");
        SaveExclusionList(&none, &e);
        FreeExclusionList(&e);
        EXPECT_EQ(Keys("0: B 1: B 2: C"), Registry()) << call;
    }
    // A stored list that cannot be read whole is not rewritten, and the read says so: the dialog
    // then removes nothing at its OK.
    for (const char* call : {"RegOpenKeyExA", "RegQueryValueExA", "HeapAlloc"}) {
        ExclusionList list = {};
        SimDescribe(("fail " + std::string(call) + " " + std::to_string(SimCount(call) + 2)).c_str());
        EXPECT_EQ(0, LoadExclusionList(&list)) << call;
        FreeExclusionList(&list);
        SimDescribe(("fail " + std::string(call) + " " + std::to_string(SimCount(call) + 2)).c_str());
        e = Devices("E");
        SaveExclusionList(&none, &e);
        FreeExclusionList(&e);
        EXPECT_EQ(Keys("0: B 1: B 2: C"), Registry()) << call;
    }
}
