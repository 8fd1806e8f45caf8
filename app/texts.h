// The texts compiled into the program. Written in UTF-8 here, compiled to
// Shift-JIS (code page 932) for the ANSI calls.
#pragma once

#define TEXT_TOOLTIP "USBストレージの取り外し"
#define TEXT_ABOUT_CAPTION "Kestrabin"
#define TEXT_ABOUT "Kestrabin\n        Ver. 1.30\n\n\n        Copyright (C) 2026 Kestrabin developers"
#define TEXT_NO_DRIVES "接続されていません"
#define TEXT_SETTINGS "設定"
#define TEXT_ABOUT_ITEM "Kestrabinについて"
#define TEXT_EXIT "終了"
#define TEXT_DRIVE_ENTRY "%s %s(%c:)"
