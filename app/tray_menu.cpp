// The popup menu of the tray icon: one eject entry per shown drive, then the
// fixed items. Built afresh on every right-button release.
#include "../platform/win32.h"
#include "app.h"
#include "texts.h"
#include "../drives/drives.h"
#include "../device/device.h"
#include "../exclusions/exclusions.h"

#define ENTRY_TEXT_SIZE 128
#define FORMAT_BUFFER_SIZE 1024

static void AppendDriveEntries(HMENU menu)
{
    ExclusionList exclusions = {};
    LoadExclusionList(&exclusions);
    char letters[TRACKED_LETTERS_SIZE] = {};
    GetTrackedLetters(letters, TRACKED_LETTERS_SIZE);
    char entryText[ENTRY_TEXT_SIZE] = {};

    for (const char* drive = letters; *drive; drive++) {
        // A letter outlives its broadcasts: offer it only while a removable USB drive holds it.
        if (IsRemovableUsbDrive(drive) != 1)
            continue;
        // As in the settings dialog, which cannot tick it, a drive whose USB
        // identity cannot be read is never hidden.
        UsbIdentity usb = {};
        if (GetUsbIdentity(&usb, drive) && IsExcluded(&exclusions, &usb))
            continue;
        DiskIdentity disk = {};
        if (!GetDiskIdentity(&disk, drive))
            continue;
        // wsprintfA writes at most 1024 bytes; the entry is cut to its buffer.
        char formatted[FORMAT_BUFFER_SIZE];
        wsprintfA(formatted, TEXT_DRIVE_ENTRY, disk.vendor, disk.product, *drive);
        lstrcpynA(entryText, formatted, ENTRY_TEXT_SIZE);
        AppendMenuA(menu, MF_STRING, CMD_EJECT_BASE + (*drive - 'A'), entryText);
    }
    FreeExclusionList(&exclusions);
}

void ShowTrayMenu(HWND mainWindow)
{
    POINT cursor = {};
    GetCursorPos(&cursor);
    HMENU menu = CreatePopupMenu();
    const DriveList* tracked = GetTrackedDriveList();
    if (!tracked || !tracked->first)
        AppendMenuA(menu, MF_STRING, 0, TEXT_NO_DRIVES);
    else
        AppendDriveEntries(menu);

    AppendMenuA(menu, MF_SEPARATOR, 0, NULL);
    AppendMenuA(menu, MF_STRING, CMD_SETTINGS, TEXT_SETTINGS);
    AppendMenuA(menu, MF_SEPARATOR, 0, NULL);
    AppendMenuA(menu, MF_STRING, CMD_ABOUT, TEXT_ABOUT_ITEM);
    AppendMenuA(menu, MF_SEPARATOR, 0, NULL);
    AppendMenuA(menu, MF_STRING, CMD_EXIT, TEXT_EXIT);

    // The window must be foreground, or the menu does not close when the
    // user clicks elsewhere.
    SetForegroundWindow(mainWindow);
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, mainWindow, NULL);
    // Forces a task switch so that a second click opens the menu again.
    PostMessageA(mainWindow, WM_NULL, 0, 0);
    DestroyMenu(menu);
}
