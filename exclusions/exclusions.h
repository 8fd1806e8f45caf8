// The per-user list of USB devices hidden from the tray menu, and the
// settings dialog that edits it.
#pragma once

#include "../platform/win32.h"
#include "../drives/drives.h"
#include "../device/device.h"

// A temporary list of heap-allocated UsbIdentity records, in key order.
typedef DriveList ExclusionList;

// 1, or 0 when an entry could not be read whole or the list ended early.
int LoadExclusionList(ExclusionList* list);
int IsExcluded(const ExclusionList* list, const UsbIdentity* identity);
// Appends a copy of the identity; 0 when there was no memory for it.
int AddExclusion(ExclusionList* list, const UsbIdentity* identity);
// The devices of the dialog's ticked and unticked rows.
void SaveExclusionList(const ExclusionList* ticked, const ExclusionList* unticked);
void FreeExclusionList(ExclusionList* list);

INT_PTR CALLBACK SettingsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
