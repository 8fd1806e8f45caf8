// The compiled resources, as the loader reads them.
#include "support.h"

using machine::FindResource;
using machine::Resource;

static WORD Word(const std::string& data, size_t at)
{
    return (WORD)((unsigned char)data[at] | (unsigned char)data[at + 1] << 8);
}

static DWORD Dword(const std::string& data, size_t at)
{
    return Word(data, at) | (DWORD)Word(data, at + 2) << 16;
}

static std::string Utf16(const std::string& utf8)
{
    std::string out;
    std::u16string wide;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = utf8[i];
        char32_t code;
        int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        code = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra; k++)
            code = code << 6 | (utf8[i + k] & 0x3F);
        i += extra + 1;
        out += (char)(code & 0xFF);
        out += (char)(code >> 8);
    }
    return out;
}

TEST(Resources, AllButTheManifestAreLanguageNeutral)
{
    for (const char* type : {"#6", "#4", "#9", "#14", "#5", "#16"}) {
        bool found = false;
        for (const char* name : {"#7", "#2501", "#109", "#107", "#108", "#111", "#1"}) {
            const Resource* resource = FindResource(type, name);
            if (resource) {
                found = true;
                EXPECT_EQ(0, resource->language) << type << " " << name;
            }
        }
        EXPECT_TRUE(found) << type;
    }
    const Resource* manifest = FindResource("#24", "#1");
    ASSERT_NE(nullptr, manifest);
    EXPECT_EQ(1033, manifest->language);
    EXPECT_NE(std::string::npos, manifest->data.find("level=\"asInvoker\""));
    EXPECT_NE(std::string::npos, manifest->data.find("uiAccess=\"false\""));
    EXPECT_EQ(std::string::npos, manifest->data.find("<dependency"));
}

TEST(Resources, WindowStrings)
{
    machine::Reset();
    char text[100];
    EXPECT_EQ(8, LoadStringA(machine::Instance(), IDS_CLASS_NAME, text, sizeof(text)));
    EXPECT_STREQ("MORVANTO", text);
    EXPECT_EQ(8, LoadStringA(machine::Instance(), IDS_WINDOW_TITLE, text, sizeof(text)));
    EXPECT_STREQ("Morvanto", text);
}

TEST(Resources, MenuBar)
{
    const Resource* menu = FindResource("#4", "#109");
    ASSERT_NE(nullptr, menu);
    const std::string& data = menu->data;
    EXPECT_EQ(0, Dword(data, 0)) << "a standard menu template";
    std::vector<std::string> items;
    size_t at = 4;
    while (at < data.size()) {
        WORD flags = Word(data, at);
        at += 2;
        std::string line = (flags & 0x10) ? "popup" : std::to_string(Word(data, at));
        if (!(flags & 0x10))
            at += 2;
        size_t end = at;
        while (Word(data, end))
            end += 2;
        line += " " + data.substr(at, end - at);
        at = end + 2;
        items.push_back(line);
    }
    std::vector<std::string> expected = {
        "popup " + Utf16("ファイル(&F)"),
        "105 " + Utf16("アプリケーションの終了(&X)"),
        "106 " + Utf16("設定"),
        "popup " + Utf16("ヘルプ(&H)"),
        "104 " + Utf16("バージョン情報(&A)..."),
    };
    EXPECT_EQ(expected, items);
}

TEST(Resources, AcceleratorsAreAltCharacters)
{
    const Resource* table = FindResource("#9", "#109");
    ASSERT_NE(nullptr, table);
    ASSERT_EQ(16u, table->data.size());
    const WORD keys[] = {'?', '/'};
    for (int i = 0; i < 2; i++) {
        WORD flags = Word(table->data, i * 8);
        EXPECT_EQ(0x10, flags & 0x7F) << "FALT only, no FVIRTKEY";
        EXPECT_EQ(i == 1 ? 0x80 : 0, flags & 0x80);
        EXPECT_EQ(keys[i], Word(table->data, i * 8 + 2));
        EXPECT_EQ(CMD_ABOUT, Word(table->data, i * 8 + 4));
    }
}

TEST(Resources, IconGroupsHaveTheirSizesAndDepths)
{
    struct Case {
        const char* name;
        std::vector<std::pair<int, int>> images; // size, bits per pixel
    };
    const Case cases[] = {
        {"#107", {{16, 8}, {32, 8}, {48, 8}}},
        {"#108", {{32, 4}, {16, 4}, {48, 8}, {32, 8}, {16, 8}, {48, 32}, {32, 32}, {16, 32}}},
    };
    for (const Case& c : cases) {
        const Resource* group = FindResource("#14", c.name);
        ASSERT_NE(nullptr, group) << c.name;
        const std::string& data = group->data;
        ASSERT_EQ(1, Word(data, 2)) << "icons";
        std::vector<std::pair<int, int>> images;
        for (int i = 0; i < Word(data, 4); i++) {
            size_t at = 6 + i * 14;
            int width = (unsigned char)data[at], height = (unsigned char)data[at + 1];
            EXPECT_EQ(width, height);
            images.push_back({width, Word(data, at + 6)});
            EXPECT_NE(nullptr, FindResource("#3", "#" + std::to_string(Word(data, at + 12))));
        }
        EXPECT_EQ(c.images, images) << c.name;
    }
}

TEST(Resources, VersionBlock)
{
    const Resource* version = FindResource("#16", "#1");
    ASSERT_NE(nullptr, version);
    const std::string& data = version->data;
    size_t fixed = data.find(std::string("\xBD\x04\xEF\xFE", 4));
    ASSERT_NE(std::string::npos, fixed);
    EXPECT_EQ(0x00010003u, Dword(data, fixed + 8)) << "file version, high";
    EXPECT_EQ(0u, Dword(data, fixed + 12));
    EXPECT_EQ(0x00010003u, Dword(data, fixed + 16)) << "product version, high";
    EXPECT_EQ(0u, Dword(data, fixed + 20));
    EXPECT_EQ(0x00040000u, Dword(data, fixed + 32)) << "Windows NT";
    EXPECT_EQ(1u, Dword(data, fixed + 36)) << "application";
    for (const char* text : {"041104B0", "ProductName", "Kestrabin", "FileVersion", "1.3.0.0", "ProductVersion"})
        EXPECT_NE(std::string::npos, data.find(Utf16(text))) << text;
    size_t translation = data.find(Utf16("Translation"));
    ASSERT_NE(std::string::npos, translation);
    EXPECT_NE(std::string::npos, data.find(std::string("\x11\x04\xB0\x04", 4), translation));
}
