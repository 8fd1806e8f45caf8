// Resource and command identifiers, shared by kestrabin.rc and the code.
#pragma once

// Strings, menu bar, accelerators and icons
#define IDS_CLASS_NAME 109
#define IDM_MAIN_MENU 109
#define IDA_MAIN_ACCEL 109
#define IDI_KESTRABIN 107
#define IDI_SMALL 108
#define IDS_WINDOW_TITLE 40000

// Commands of the menu bar, the accelerators and the tray menu
#define CMD_ABOUT 104
#define CMD_EXIT 105
#define CMD_SETTINGS 106

// Settings dialog
#define IDD_SETTINGS 111
#define IDC_SETTINGS_TAB 1001
#define IDC_EXCLUSION_LIST 40001
