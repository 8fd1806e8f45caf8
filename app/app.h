// Application shell: entry, hidden main window, tray icon and tray menu.
#pragma once

#include "../platform/win32.h"
#include "../res/resource.h"

#define WM_TRAYNOTIFY (WM_USER + 1)
#define TRAY_ICON_ID 128
#define CMD_EJECT_BASE 0x1000

void RegisterMainWindowClass(HINSTANCE instance);
int CreateMainWindow(HINSTANCE instance);
int AddTrayIcon(void);
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void ShowTrayMenu(HWND mainWindow);
