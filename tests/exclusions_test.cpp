// The exclusion list in the registry: loaded in key order up to a gap, matched exactly, and
// saved so that only the devices shown in the dialog change and nothing stored is lost.
#include "support.h"

#include <sstream>

// Stores key NUMBER's values; an empty one is left out.
static void Store(const std::string& number, const std::string& vid, const std::string& pid, const std::string& serial)
{
    for (const auto& [name, value] : {std::pair<const char*, std::string>{"VID", vid}, {"PID", pid}, {"SEL", serial}})
        if (!value.empty())
            HostSetValue("SOFTWARE\\Kestrabin\\" + number, name, REG_SZ, value);
}

// The registry that keys such as "0: E 1: F" stand for, serial s for the device 1234/5678/Ss, as
// HostRegistry writes it; stored when store is set.
static std::string Keys(const std::string& keys, bool store = false)
{
    std::istringstream words(keys);
    std::string text;
    for (std::string number, s; words >> number >> s;) {
        text += number + " PID=5678 SEL=S" + s + " VID=1234; ";
        if (store)
            Store(number.substr(0, number.size() - 1), "1234", "5678", "S" + s);
    }
    return text;
}

// The devices of these serials, as Keys has them.
static ExclusionList Devices(const std::string& serials)
{
    ExclusionList list = {};
    for (char s : serials) {
        UsbIdentity usb = {"1234", "5678", {'S', s}};
        AddExclusion(&list, &usb);
    }
    return list;
}

class Exclusions : public HostTest { };

// Key 0 refuses to be opened for writing, as under a policy.
TEST_F(Exclusions, KeysReadAskingOnlyToRead)
{
    Store("0", "", "", "S");
    Store("1", std::string(32, 'v'), std::string(40, 'p'), std::string(256, 's'));
    HostReadOnly("SOFTWARE\\Kestrabin\\0");
    ExclusionList list = {};
    EXPECT_TRUE(LoadExclusionList(&list)) << "the list read whole";
    std::vector<std::string> entries;
    for (DriveNode* node = list.first; node; node = node->next) {
        const UsbIdentity* id = (const UsbIdentity*)node->data;
        entries.push_back(std::string(id->vid) + "/" + id->pid + "/" + id->serial);
    }
    FreeExclusionList(&list);
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ("//S", entries[0]) << "a missing value is empty";
    EXPECT_EQ(std::string(31, 'v') + "/" + std::string(31, 'p') + "/" + std::string(255, 's'), entries[1])
        << "values cut to their fields";
}

TEST_F(Exclusions, MatchTheStoredDevicesExactly)
{
    ExclusionList stored = Devices("E");
    auto excluded = [&](UsbIdentity device) { return IsExcluded(&stored, &device) == 1; };
    EXPECT_TRUE(excluded({"1234", "5678", "SE"}));
    EXPECT_FALSE(excluded({"1235", "5678", "SE"})) << "another vendor's";
    EXPECT_FALSE(excluded({"1234", "5678", "SEE"})) << "a longer serial";
    EXPECT_FALSE(excluded({"1234", "5678", "S"})) << "a shorter serial";
    FreeExclusionList(&stored);
}

struct SaveRow {
    const char* name;
    const char* ticked; // the devices of the ticked rows, by serial
    const char* unticked;
    const char* fault; // while the list is saved (and read)
    const char* stored; // the keys afterwards
};

class Saves : public HostTest, public ::testing::WithParamInterface<SaveRow> { };

// Stored: X, a device not plugged in; E; F; Y behind a gap. Unticking X would write E to key 0.
const char* const SAME = "0: X 1: E 2: F 4: Y";

INSTANTIATE_TEST_SUITE_P(Exclusions, Saves,
    ::testing::Values(SaveRow{"ATickAddsAndAnUntickRemoves", "G", "E", "", "0: X 1: F 2: G 4: Y"},
        SaveRow{"TwoSlotsOfOneReaderTickedAndNotKeepIt", "E", "E", "", SAME},
        SaveRow{"AKeyThatCannotBeMadeEndsTheSave", "", "X", "fail RegCreateKeyExA SOFTWARE\\Kestrabin\\0", SAME},
        SaveRow{
            "AValueThatCannotBeWrittenEndsTheSave", "", "X", "fail RegSetValueExA SOFTWARE\\Kestrabin\\0\\VID", SAME},
        // A list not read whole is not rewritten.
        SaveRow{"AKeyThatCannotBeOpened", "", "X", "fail RegOpenKeyExA SOFTWARE\\Kestrabin\\1", SAME},
        SaveRow{"AValueThatCannotBeRead", "", "X", "fail RegQueryValueExA SOFTWARE\\Kestrabin\\1\\SEL", SAME},
        SaveRow{"NoMemoryForAnEntry", "", "X", "fail HeapAlloc 320 bytes", SAME}),
    ROW_NAMES);

TEST_P(Saves, ChangeOnlyTheDevicesShown)
{
    Keys(SAME, true);
    ExclusionList ticked = Devices(GetParam().ticked), unticked = Devices(GetParam().unticked);
    SimDescribe(GetParam().fault);
    SaveExclusionList(&ticked, &unticked);
    FreeExclusionList(&ticked);
    FreeExclusionList(&unticked);
    EXPECT_EQ(Keys(GetParam().stored), HostRegistry("SOFTWARE\\Kestrabin"));
}
