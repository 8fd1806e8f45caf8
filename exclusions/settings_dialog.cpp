// The settings dialog: the tracked drives with a check box each; OK stores
// the ticked devices as the exclusion list. Each row keeps the USB identity it showed, so that
// OK stores the devices the user saw, whatever holds their letters by then.
#include "../platform/win32.h"
#include "exclusions.h"
#include "../res/resource.h"

#define ROW_TEXT_SIZE 128
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
    HANDLE heap = GetProcessHeap();
    for (const char* drive = letters; *drive; drive++) {
        DiskIdentity disk = {};
        if (IsRemovableUsbDrive(drive) != 1 || !GetDiskIdentity(&disk, drive))
            continue;
        // The row's device; none when its identity cannot be read.
        UsbIdentity* usb = (UsbIdentity*)HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(UsbIdentity));
        if (usb && !GetUsbIdentity(usb, drive)) {
            HeapFree(heap, 0, usb);
            usb = NULL;
        }

        LVITEMA item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = row;
        item.pszText = rowText;
        item.lParam = (LPARAM)usb;
        wsprintfA(rowText, "%c:", *drive);
        if (SendMessageA(list, LVM_INSERTITEMA, 0, (LPARAM)&item) == -1) {
            if (usb)
                HeapFree(heap, 0, usb);
            continue;
        }

        // wsprintfA writes at most 1024 bytes; the text is cut to its buffer.
        char formatted[FORMAT_BUFFER_SIZE];
        wsprintfA(formatted, "%s %s", disk.vendor, disk.product);
        lstrcpynA(rowText, formatted, ROW_TEXT_SIZE);
        LVITEMA text = {};
        text.iSubItem = 1;
        text.pszText = rowText;
        SendMessageA(list, LVM_SETITEMTEXTA, row, (LPARAM)&text);

        // A device whose identity cannot be read starts unticked.
        if (usb && IsExcluded(exclusions, usb)) {
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

// The device a row showed, or NULL.
static const UsbIdentity* RowDevice(HWND list, int row)
{
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    SendMessageA(list, LVM_GETITEMA, 0, (LPARAM)&item);
    return (const UsbIdentity*)item.lParam;
}

static void StoreTicks(HWND dialog, HWND list)
{
    ExclusionList ticked = {};
    ExclusionList unticked = {};
    // A stored device the dialog's read missed started unticked: nothing is removed then.
    int removes = !GetWindowLongPtrA(dialog, DWLP_USER);
    int rows = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    for (int row = 0; row < rows; row++) {
        // A row whose device could not be read changes nothing.
        const UsbIdentity* device = RowDevice(list, row);
        // Every row but the empty box counts as ticked.
        UINT state = (UINT)SendMessageA(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK);
        if (device && (state & LVIS_STATEIMAGEMASK) >> 12 != STATE_IMAGE_UNTICKED)
            AddExclusion(&ticked, device);
        else if (device && removes)
            AddExclusion(&unticked, device);
    }
    SaveExclusionList(&ticked, &unticked);
    FreeExclusionList(&ticked);
    FreeExclusionList(&unticked);
}

static void FreeRows(HWND list)
{
    int rows = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    for (int row = 0; row < rows; row++) {
        const UsbIdentity* device = RowDevice(list, row);
        if (device)
            HeapFree(GetProcessHeap(), 0, (void*)device);
    }
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
        // Every way the dialog closes passes here, while its list still holds the rows.
        FreeRows(list);
        EndDialog(dialog, 1);
        return TRUE;
    }
    return FALSE;
}
