// The compiled resources, read as the loader reads them from the exe.
#include <algorithm>

#include "support.h"

class Resources : public MachineTest { };

static std::string Data(const char* type, const std::string& name)
{
    const machine::Resource* resource = machine::FindResource(type, name);
    return resource ? resource->data : "";
}

static std::string W(unsigned value)
{
    return std::string{(char)(value & 0xFF), (char)(value >> 8)};
}

// UTF-16 with its terminator, as resources store text (ASCII and three-byte UTF-8 here).
static std::string U(const char* utf8)
{
    std::string text;
    for (const unsigned char* p = (const unsigned char*)utf8;; p += *p >= 0xE0 ? 3 : 1) {
        text += W(*p >= 0xE0 ? (*p & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F) : *p);
        if (!*p)
            return text;
    }
}

TEST_F(Resources, AsTheProgramAndItsUserSeeThem)
{
    char text[2][100];
    LoadStringA(machine::Instance(), 109, text[0], 100), LoadStringA(machine::Instance(), 40000, text[1], 100);
    EXPECT_EQ("MORVANTO Morvanto", std::string(text[0]) + " " + text[1]);
    EXPECT_EQ(W(0) + W(0) + W(0x10) + U("ファイル(&F)") + W(0) + W(105) + U("アプリケーションの終了(&X)") + W(0x80) +
            W(106) + U("設定") + W(0x90) + U("ヘルプ(&H)") + W(0x80) + W(104) + U("バージョン情報(&A)..."),
        Data("#4", "#109"));
    // Alt with "?" and with "/" as characters (no FVIRTKEY), both for About; 0x80 ends the table.
    EXPECT_EQ(W(0x10) + W('?') + W(104) + W(0) + W(0x90) + W('/') + W(104) + W(0), Data("#9", "#109"));
    S found;
    for (const machine::Resource& r : machine::Resources())
        if (r.type != "#3")
            found.push_back(r.type + "/" + r.name + "/" + std::to_string(r.language));
    std::sort(found.begin(), found.end());
    EXPECT_EQ((S{"#14/#107/0", "#14/#108/0", "#16/#1/0", "#24/#1/1033", "#4/#109/0", "#5/#111/0", "#6/#2501/0",
                  "#6/#7/0", "#9/#109/0"}),
        found);
    // Each icon group's images: width, height, bits per pixel.
    for (auto& group : std::vector<std::pair<const char*, std::string>>{{"#107", "16x16@8 32x32@8 48x48@8 "},
             {"#108", "32x32@4 16x16@4 48x48@8 32x32@8 16x16@8 48x48@32 32x32@32 16x16@32 "}}) {
        std::string directory = Data("#14", group.first), images;
        for (size_t at = 6; at + 14 <= directory.size(); at += 14) {
            const unsigned char* entry = (const unsigned char*)&directory[at];
            images += std::to_string(entry[0]) + "x" + std::to_string(entry[1]) + "@" + std::to_string(entry[6]) +
                (Data("#3", "#" + std::to_string(entry[12])).empty() ? "(no image) " : " ");
        }
        EXPECT_EQ(group.second, images) << group.first;
    }
    std::string manifest = Data("#24", "#1");
    EXPECT_NE(std::string::npos, manifest.find("level=\"asInvoker\"")) << manifest;
    EXPECT_NE(std::string::npos, manifest.find("uiAccess=\"false\"")) << manifest;
    EXPECT_EQ(std::string::npos, manifest.find("<dependency")) << manifest;
    // Version 1.3.0.0 in the fixed part (file, product; Windows NT; an application) and as strings.
    std::string version = Data("#16", "#1");
    uint32_t fixed[10] = {};
    memcpy(fixed, version.data() + std::min(version.find("\xBD\x04\xEF\xFE"), version.size() - sizeof(fixed)), 40);
    EXPECT_EQ((V{0xFEEF04BD, 0x10003, 0, 0x10003, 0, 0x40000, 1}),
        (V{fixed[0], fixed[2], fixed[3], fixed[4], fixed[5], fixed[8], fixed[9]}));
    auto valueOf = [&](const char* key) { // what follows a key, past its padding to 4 bytes
        size_t at = version.find(U(key));
        return at == std::string::npos ? "" : version.substr((at + U(key).size() + 3) & ~(size_t)3, 20);
    };
    EXPECT_EQ(U("1.3.0.0"), valueOf("FileVersion").substr(0, 16));
    EXPECT_EQ(U("1.3.0.0"), valueOf("ProductVersion").substr(0, 16));
    EXPECT_EQ(U("Kestrabin"), valueOf("ProductName"));
    EXPECT_EQ(W(0x0411) + W(0x04B0), valueOf("Translation").substr(0, 4));
    EXPECT_NE(std::string::npos, version.find(U("041104B0")));
}

TEST_F(Resources, TheSettingsDialogTemplate)
{
    HWND dialog = CreateDialogParamA(
        machine::Instance(), MAKEINTRESOURCEA(IDD_SETTINGS), nullptr,
        [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    std::vector<HWND> windows = {dialog};
    for (HWND child : machine::FindWindowByHandle(dialog)->children)
        windows.push_back(child);
    S got;
    for (HWND handle : windows) {
        const machine::Window& w = *machine::FindWindowByHandle(handle);
        char line[300];
        snprintf(line, sizeof(line), "%d %s \"%s\" %08x %x %d,%d %dx%d %d %d %s", w.id,
            machine::Upper(w.className).c_str(), w.title.c_str(), (unsigned)w.style, (unsigned)w.exStyle, w.x, w.y,
            w.cx, w.cy, w.menu != nullptr, w.fontSize, w.fontFace.c_str());
        got.push_back(line);
    }
    // Styles: the dialog WS_POPUP WS_VISIBLE WS_CAPTION WS_SYSMENU DS_MODALFRAME DS_CENTER DS_3DLOOK DS_SETFONT
    // DS_FIXEDSYS; every control WS_CHILD WS_VISIBLE, and then WS_TABSTOP BS_DEFPUSHBUTTON, WS_TABSTOP
    // BS_PUSHBUTTON, nothing, WS_BORDER WS_TABSTOP LVS_REPORT LVS_ALIGNLEFT, WS_GROUP SS_LEFT twice.
    EXPECT_EQ(
        (S{Sjis("0 #32770 \"Kestrabin 設定\" 90c808cc 0 0,0 223x169 0 8 Ms Shell Dlg 2"),
            "1 BUTTON \"OK\" 50010001 0 112,151 50x14 0 0 ",
            Sjis("2 BUTTON \"キャンセル\" 50010000 0 165,151 50x14 0 0 "),
            "1001 SYSTABCONTROL32 \"\" 50000000 0 3,3 213x146 0 0 ",
            "40001 SYSLISTVIEW32 \"\" 50810801 0 9,47 200x94 0 0 ",
            Sjis("65535 STATIC \"取外し除外リスト\" 50020000 0 8,22 55x8 0 0 "),
            Sjis("65535 STATIC \"※チェックしたUSBは取外しメニューに表示されません\" 50020000 0 11,34 160x8 0 0 ")}),
        got);
}
