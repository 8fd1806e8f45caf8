// The exclusion list in the registry.
#include "support.h"

using machine::M;

static const char* const KEY0 = "SOFTWARE\\Kestrabin\\0";

class Store : public MachineTest {
protected:
    static void Entry(int number, const char* vid, const char* pid, const char* serial)
    {
        std::string path = "SOFTWARE\\Kestrabin\\" + std::to_string(number);
        if (vid)
            machine::SetRegString(path, "VID", vid);
        if (pid)
            machine::SetRegString(path, "PID", pid);
        if (serial)
            machine::SetRegString(path, "SEL", serial);
        if (!vid && !pid && !serial)
            machine::SetRegValue(path, "Other", REG_DWORD, std::string(4, '\0'));
    }

    static UsbIdentity Id(const char* vid, const char* pid, const char* serial)
    {
        UsbIdentity identity = {};
        strcpy(identity.vid, vid);
        strcpy(identity.pid, pid);
        strcpy(identity.serial, serial);
        return identity;
    }

    static std::vector<std::string> Load()
    {
        ExclusionList list = {};
        LoadExclusionList(&list);
        std::vector<std::string> entries;
        for (DriveNode* node = list.first; node; node = node->next) {
            const UsbIdentity* id = (const UsbIdentity*)node->data;
            entries.push_back(std::string(id->vid) + "/" + id->pid + "/" + id->serial);
            EXPECT_EQ(node == list.first ? nullptr : node->prev->next, node == list.first ? nullptr : node);
        }
        FreeExclusionList(&list);
        EXPECT_TRUE(M().heapBlocks.empty());
        EXPECT_TRUE(M().openKeys.empty());
        return entries;
    }

    static std::vector<std::string> Keys()
    {
        std::vector<std::string> keys;
        for (auto& key : M().registry)
            keys.push_back(key.second.name);
        return keys;
    }
};

TEST_F(Store, LoadingStopsAtTheFirstMissingNumber)
{
    EXPECT_EQ(std::vector<std::string>{}, Load());
    Entry(1, "1", "1", "1");
    EXPECT_EQ(std::vector<std::string>{}, Load());
    Entry(0, "0", "0", "0");
    Entry(3, "3", "3", "3");
    M().calls.clear();
    EXPECT_EQ((std::vector<std::string>{"0/0/0", "1/1/1"}), Load());
    EXPECT_EQ(3u, machine::CallsNamed("RegOpenKeyExA").size()) << "key 3 must never be opened";
    for (const machine::Call& open : machine::CallsNamed("RegOpenKeyExA"))
        EXPECT_EQ(KEY_READ, open.args[1]);
}

TEST_F(Store, MissingAndOddValues)
{
    Entry(0, "1234", "5678", nullptr);
    machine::SetRegValue("SOFTWARE\\Kestrabin\\1", "VID", REG_DWORD, std::string("\x31\x32\x00\x00", 4));
    machine::SetRegString("SOFTWARE\\Kestrabin\\1", "PID", "5678");
    Entry(2, nullptr, nullptr, nullptr);
    // Stored with a terminating zero: reads the same.
    machine::SetRegValue("SOFTWARE\\Kestrabin\\3", "VID", REG_SZ, std::string("AB\0", 3));
    EXPECT_EQ((std::vector<std::string>{"1234/5678/", "12/5678/", "//", "AB//"}), Load());
}

TEST_F(Store, OversizedValuesAreCutToTheirFields)
{
    machine::SetRegString(KEY0, "VID", std::string(40, 'v'));
    machine::SetRegString(KEY0, "PID", std::string(32, 'p'));
    machine::SetRegValue(KEY0, "SEL", REG_BINARY, std::string(65536, 's'));
    std::vector<std::string> loaded = Load();
    ASSERT_EQ(1u, loaded.size());
    EXPECT_EQ(std::string(31, 'v') + "/" + std::string(31, 'p') + "/" + std::string(255, 's'), loaded[0]);
    machine::SetRegString(KEY0, "VID", std::string(31, 'v'));
    EXPECT_EQ(std::string(31, 'v'), Load()[0].substr(0, 32 - 1));
}

TEST_F(Store, MatchingIsExactInAllThreeFields)
{
    Entry(0, "1234", "5678", "ABC");
    Entry(1, "1234", "5678", nullptr);
    ExclusionList list = {};
    LoadExclusionList(&list);
    struct Case {
        UsbIdentity id;
        int excluded;
    };
    const Case cases[] = {
        {Id("1234", "5678", "ABC"), 1},
        {Id("1234", "5678", "abc"), 0},
        {Id("1234", "5678", "ABCD"), 0},
        {Id("1234", "5679", "ABC"), 0},
        {Id("1235", "5678", "ABC"), 0},
        {Id("1234", "5678", ""), 1},
        {Id("", "", ""), 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.excluded, IsExcluded(&list, &c.id)) << c.id.vid << "/" << c.id.pid << "/" << c.id.serial;
    FreeExclusionList(&list);
    ExclusionList empty = {};
    UsbIdentity any = Id("1234", "5678", "ABC");
    EXPECT_EQ(0, IsExcluded(&empty, &any));
}

class Save : public Store {
protected:
    void SetUp() override
    {
        Store::SetUp();
        machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
        machine::AddUsbDrive('F', 2, DISK_ID("ACME", "CARD"), USB_ID("ABCD", "EF01", "S2"));
    }
};

TEST_F(Save, WritesTheTickedDrivesInOrderWithoutTerminators)
{
    SaveExclusionList("FE");
    EXPECT_EQ((std::vector<std::string>{"ABCD/EF01/S2", "1234/5678/S1"}), Load());
    const machine::RegValue* vid = machine::FindRegValue(KEY0, "VID");
    ASSERT_NE(nullptr, vid);
    EXPECT_EQ((DWORD)REG_SZ, vid->type);
    EXPECT_EQ(std::string("ABCD"), vid->data) << "stored with " << vid->data.size() << " bytes";
    for (const machine::Call& create : machine::CallsNamed("RegCreateKeyExA")) {
        EXPECT_EQ(0, create.args[0]);
        EXPECT_EQ(KEY_READ | KEY_WRITE, create.args[1]);
    }
    auto sets = machine::CallsNamed("RegSetValueExA");
    ASSERT_EQ(6u, sets.size());
    EXPECT_EQ("VID", sets[0].text);
    EXPECT_EQ("PID", sets[1].text);
    EXPECT_EQ("SEL", sets[2].text);
}

TEST_F(Save, DeletesTheRunBehindTheNewListUpToTheGap)
{
    for (int n : {0, 1, 2, 3, 5})
        Entry(n, "9", "9", "9");
    SaveExclusionList("E");
    EXPECT_EQ((std::vector<std::string>{"1234/5678/S1"}), Load());
    EXPECT_FALSE(machine::HasRegKey("SOFTWARE\\Kestrabin\\3"));
    EXPECT_TRUE(machine::HasRegKey("SOFTWARE\\Kestrabin\\5"));
    SaveExclusionList("");
    EXPECT_FALSE(machine::HasRegKey(KEY0));
    EXPECT_TRUE(machine::HasRegKey("SOFTWARE\\Kestrabin"));
}

TEST_F(Save, KeysBehindAGapSurviveAShortSave)
{
    Entry(0, "0", "0", "0");
    Entry(1, "1", "1", "1");
    Entry(3, "3", "3", "3");
    SaveExclusionList("EF");
    EXPECT_TRUE(machine::HasRegKey("SOFTWARE\\Kestrabin\\3"));
    EXPECT_EQ((std::vector<std::string>{"1234/5678/S1", "ABCD/EF01/S2"}), Load());
}

TEST_F(Save, TwoLettersOfOneDeviceGiveTwoEqualKeys)
{
    SaveExclusionList("EE");
    EXPECT_EQ((std::vector<std::string>{"1234/5678/S1", "1234/5678/S1"}), Load());
}

TEST_F(Save, SavingTheSameTicksTwiceChangesNothing)
{
    Entry(4, "4", "4", "4");
    SaveExclusionList("EF");
    auto before = M().registry;
    SaveExclusionList("EF");
    ASSERT_EQ(before.size(), M().registry.size());
    for (auto& key : before)
        for (auto& value : key.second.values) {
            const machine::RegValue* now = machine::FindRegValue(key.first, value.second.name);
            ASSERT_NE(nullptr, now) << key.first << " " << value.first;
            EXPECT_EQ(value.second.data, now->data);
            EXPECT_EQ(value.second.type, now->type);
        }
}

TEST_F(Save, ADriveGoneSinceTheDialogOpenedUsesNoNumber)
{
    Entry(2, "2", "2", "2");
    SaveExclusionList("EGF");
    EXPECT_EQ((std::vector<std::string>{"1234/5678/S1", "ABCD/EF01/S2"}), Load());
    EXPECT_FALSE(machine::HasRegKey("SOFTWARE\\Kestrabin\\2"));
}

TEST_F(Save, AKeyThatCannotBeCreatedIsSkippedButNumbered)
{
    Entry(0, "0", "0", "0");
    machine::FailCall(machine::Fault::RegCreate, 1);
    SaveExclusionList("EF");
    EXPECT_EQ((std::vector<std::string>{"0/0/0", "ABCD/EF01/S2"}), Load());
    EXPECT_TRUE(M().openKeys.empty());
}
