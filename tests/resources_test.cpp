// The compiled resources, read as the loader reads them from the exe.
#include "support.h"

class Resources : public MachineTest { };

TEST_F(Resources, EachResourceWithItsLanguageAndContent)
{
    // All language neutral but the manifest, under English (United States); the dialog has its own test.
    using Table = std::vector<std::pair<std::string, std::string>>;
    const Table expected = {{"#4 #109 0",
                                "MENU POPUP \"ファイル(&F)\" { 105 \"アプリケーションの終了(&X)\" 106 \"設定\" } "
                                "POPUP \"ヘルプ(&H)\" { 104 \"バージョン情報(&A)...\" }"},
        {"#5 #111 0", ""}, {"#6 #7 0", "109 MORVANTO"}, {"#6 #2501 0", "40000 Morvanto"},
        {"#9 #109 0", "ALT ? 104, ALT / 104"}, {"#14 #107 0", "16x16@8 32x32@8 48x48@8"},
        {"#14 #108 0", "32x32@4 16x16@4 48x48@8 32x32@8 16x16@8 48x48@32 32x32@32 16x16@32"},
        {"#16 #1 0",
            "VS_VERSION_INFO FEEF04BD file 1.3.0.0 product 1.3.0.0 os 40000 type 1 { StringFileInfo { "
            "041104B0 { CompanyName=Kestrabin FileDescription=USBストレージの取り外し FileVersion=1.3.0.0 "
            "InternalName=kestrabin LegalCopyright=Copyright (C) 2026 Kestrabin OriginalFilename=kestrabin.exe "
            "ProductName=Kestrabin ProductVersion=1.3.0.0 } } VarFileInfo { Translation 411 4B0 } }"},
        {"#24 #1 1033", "requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\""}};
    Table found;
    for (const machine::Resource& r : machine::Resources())
        if (r.type != "#3")
            found.push_back({r.type + " " + r.name + " " + std::to_string(r.language),
                r.type == "#5" ? "" : machine::DescribeResource(r)});
    EXPECT_EQ(expected, found);
}
