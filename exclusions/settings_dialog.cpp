// The settings dialog: the tracked drives with a check box each; OK stores
// the ticked devices as the exclusion list.
#include "../platform/win32.h"
#include "exclusions.h"
#include "../res/resource.h"

#define ROW_TEXT_SIZE 128
#define DRIVE_TEXT_SIZE 256
#define FORMAT_BUFFER_SIZE 1024
#define STATE_IMAGE_UNTICKED 1
#define STATE_IMAGE_TICKED 2

static void InsertColumns(HWND list)
{
    for (int column = 0; column < 2; column++) {
        LVCOLUMNA format = {};
        format.mask = LVCF_FMT;
        format.fmt = LVCFMT_LEFT;
        SendMessageA(list, LVM_INSERTCOLUMNA, column, (LPARAM)&format);
    }
}

static void InsertRows(HWND list, const ExclusionList* exclusions)
{
    char letters[TRACKED_LETTERS_SIZE] = {};
    GetTrackedLetters(letters, TRACKED_LETTERS_SIZE);
    char rowText[ROW_TEXT_SIZE] = {};
    int row = 0;
    for (const char* drive = letters; *drive; drive++) {
        DiskIdentity disk = {};
        if (!GetDiskIdentity(&disk, drive))
            continue;

        LVITEMA item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = row;
        item.pszText = rowText;
        wsprintfA(rowText, "%c:", *drive);
        SendMessageA(list, LVM_INSERTITEMA, 0, (LPARAM)&item);

        // wsprintfA writes at most 1024 bytes; the text is cut to its buffer.
        char formatted[FORMAT_BUFFER_SIZE];
        wsprintfA(formatted, "%s %s", disk.vendor, disk.product);
        lstrcpynA(rowText, formatted, ROW_TEXT_SIZE);
        LVITEMA text = {};
        text.iSubItem = 1;
        text.pszText = rowText;
        SendMessageA(list, LVM_SETITEMTEXTA, row, (LPARAM)&text);

        // A device whose identity cannot be read starts unticked.
        UsbIdentity usb = {};
        if (GetUsbIdentity(&usb, drive) && IsExcluded(exclusions, &usb)) {
            LVITEMA tick = {};
            tick.state = INDEXTOSTATEIMAGEMASK(STATE_IMAGE_TICKED);
            tick.stateMask = LVIS_STATEIMAGEMASK;
            SendMessageA(list, LVM_SETITEMSTATE, row, (LPARAM)&tick);
        }
        row++;
    }
}

static void FillDialog(HWND dialog, HWND list)
{
    ExclusionList exclusions = {};
    // A stored device the read missed starts unticked though the user never unticked it: the
    // dialog remembers not to remove anything.
    SetWindowLongPtrA(dialog, DWLP_USER, !LoadExclusionList(&exclusions));
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_LISTVIEW_CLASSES;
    InitCommonControlsEx(&controls);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES, LVS_EX_CHECKBOXES);
    InsertColumns(list);
    const DriveList* tracked = GetTrackedDriveList();
    if (tracked && tracked->first)
        InsertRows(list, &exclusions);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, (LPARAM)(WORD)LVSCW_AUTOSIZE);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 1, (LPARAM)(WORD)LVSCW_AUTOSIZE);
    FreeExclusionList(&exclusions);
}

static void StoreTicks(HWND dialog, HWND list)
{
    char ticked[TRACKED_LETTERS_SIZE] = {};
    char unticked[TRACKED_LETTERS_SIZE] = {};
    int tickedCount = 0;
    int untickedCount = 0;
    int rows = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    for (int row = 0; row < rows && row < TRACKED_LETTERS_SIZE - 1; row++) {
        char driveText[DRIVE_TEXT_SIZE] = {};
        LVITEMA item = {};
        item.iSubItem = 0;
        item.pszText = driveText;
        item.cchTextMax = DRIVE_TEXT_SIZE;
        SendMessageA(list, LVM_GETITEMTEXTA, row, (LPARAM)&item);
        if (!driveText[0])
            continue;
        // Every row but the empty box counts as ticked.
        UINT state = (UINT)SendMessageA(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK);
        if ((state & LVIS_STATEIMAGEMASK) >> 12 == STATE_IMAGE_UNTICKED)
            unticked[untickedCount++] = driveText[0];
        else
            ticked[tickedCount++] = driveText[0];
    }
    SaveExclusionList(ticked, GetWindowLongPtrA(dialog, DWLP_USER) ? "" : unticked);
}

INT_PTR CALLBACK SettingsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    HWND list = GetDlgItem(dialog, IDC_EXCLUSION_LIST);
    switch (message) {
    case WM_INITDIALOG:
        FillDialog(dialog, list);
        return TRUE;
    case WM_COMMAND:
        // The whole wParam: only a click (notification code 0) acts.
        if (wParam == IDOK) {
            StoreTicks(dialog, list);
            DestroyWindow(dialog);
            return TRUE;
        }
        if (wParam == IDCANCEL) {
            DestroyWindow(dialog);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        EndDialog(dialog, 1);
        return TRUE;
    }
    return FALSE;
}
