// The per-user list of USB devices hidden from the tray menu, and the
// settings dialog that edits it.
#pragma once

#include "../platform/win32.h"
#include "../drives/drives.h"
#include "../device/device.h"

// A temporary list of heap-allocated UsbIdentity records, in key order.
typedef DriveList ExclusionList;

void LoadExclusionList(ExclusionList* list);
int IsExcluded(const ExclusionList* list, const UsbIdentity* identity);
void SaveExclusionList(const char* tickedDrives);
void FreeExclusionList(ExclusionList* list);

INT_PTR CALLBACK SettingsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
