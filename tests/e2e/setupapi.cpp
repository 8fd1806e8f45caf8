// A setupapi.dll that Wine loads into the real kestrabin.exe in place of its own (next to the
// exe, WINEDLLOVERRIDES=setupapi=n,b). Its device calls are the simulated machine's; this file
// points the exe's volume calls there too, reads the machine from the file named by
// KESTRABIN_SIM_MACHINE (again at every WM_NULL a window passes on: a scenario's change), and
// logs in UTF-8, to the file named by KESTRABIN_SIM_LOG, what the program asked and showed.
// "fail CALL NTH" lines also make the exe's HeapAlloc and RegOpenKeyExA fail.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <iterator>

#include "../../platform/sim/machine.h"

// The exe's heap blocks and menus not yet freed, logged with each menu as "counts".
static LONG heapBlocks, menus;
// The window that holds the tray icon.
static HWND mainWindow;

static void Load()
{
    std::ifstream file(getenv("KESTRABIN_SIM_MACHINE"));
    SimDescribe(std::string(std::istreambuf_iterator<char>(file), {}).c_str());
}

// Lines come in the program's code page.
void SimWrite(const char* line)
{
    WCHAR wide[4096];
    char utf8[8192];
    int length = MultiByteToWideChar(CP_ACP, 0, line, -1, wide, 4096);
    length = WideCharToMultiByte(CP_UTF8, 0, wide, length, utf8, sizeof(utf8), NULL, NULL);
    FILE* file = fopen(getenv("KESTRABIN_SIM_LOG"), "ab");
    fprintf(file, "%s\n", length ? utf8 : line);
    fclose(file);
}

// Windows broadcasts from elsewhere: the program gets it when it next waits for messages (below).
void SimBroadcast(WPARAM event, DWORD unitMask, WORD flags)
{
    PostMessageA(mainWindow, WM_APP + 1, MAKEWPARAM(event, flags), unitMask);
}

// --- what the user would see, read inside the process ------------------------------------------
// The menu as the user sees it: its items' texts in order, "-" for a separator.
static BOOL WINAPI TrackPopupMenuHook(HMENU menu, UINT flags, int x, int y, int reserved, HWND owner, const RECT* rect)
{
    SimLog("counts heap=%ld menus=%ld open=%d", heapBlocks, menus, SimOpen());
    char line[4096] = "menu";
    for (int i = 0; i < GetMenuItemCount(menu) && strlen(line) < 3500; i++) {
        char text[256] = "";
        if (!GetMenuStringA(menu, i, text, sizeof(text), MF_BYPOSITION))
            strcpy(text, "-");
        strcat(strcat(line, i ? " | " : " "), text);
    }
    // Unless its owner is in the foreground, a menu does not close when the user clicks elsewhere.
    SimWrite(strcat(line, GetForegroundWindow() == owner ? "" : " (not in the foreground)"));
    return TrackPopupMenu(menu, flags, x, y, reserved, owner, rect);
}

static HMENU WINAPI CreatePopupMenuHook()
{
    menus++;
    return CreatePopupMenu();
}

static BOOL WINAPI DestroyMenuHook(HMENU menu)
{
    menus--;
    return DestroyMenu(menu);
}

// What the user sees of a settings dialog once it is filled: "rows owner=0|1 focus=ID [IMAGE DRIVE
// LABEL]..." (whether the main window owns it, the control with the focus, each row), and
// "clipped TEXT" for a label or a cell whose text, in the dialog's font, is wider than its room.
static HWND WINAPI CreateDialogHook(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc, LPARAM param)
{
    HWND dialog = CreateDialogParamA(instance, name, owner, proc, param);
    HWND list = GetDlgItem(dialog, 40001);
    char line[4096];
    int length =
        sprintf(line, "rows owner=%d focus=%d", GetWindow(dialog, GW_OWNER) == mainWindow, GetDlgCtrlID(GetFocus()));
    for (int row = 0; row < ListView_GetItemCount(list) && length < 3500; row++) {
        char text[2][128] = {};
        for (int column = 0; column < 2; column++) {
            ListView_GetItemText(list, row, column, text[column], sizeof(text[column]));
            if (ListView_GetStringWidth(list, text[column]) > ListView_GetColumnWidth(list, column))
                SimLog("clipped %s", text[column]);
        }
        int image = ListView_GetItemState(list, row, LVIS_STATEIMAGEMASK) >> 12;
        length += sprintf(line + length, " [%d %s %s]", image, text[0], text[1]);
    }
    for (HWND label = GetWindow(dialog, GW_CHILD); label; label = GetWindow(label, GW_HWNDNEXT)) {
        char text[256] = "";
        RECT room = {};
        GetWindowTextA(label, text, sizeof(text));
        GetClientRect(label, &room);
        if (GetDlgCtrlID(label) == 0xFFFF && ListView_GetStringWidth(list, text) > room.right)
            SimLog("clipped %s", text);
    }
    SimWrite(line);
    return dialog;
}

static BOOL WINAPI NotifyIconHook(DWORD message, PNOTIFYICONDATAA data)
{
    mainWindow = data->hWnd;
    SimLog("notify %lu %u %u %s icon=%d", message, data->uID, data->uCallbackMessage, data->szTip, data->hIcon != NULL);
    return Shell_NotifyIconA(message, data);
}

// A scenario's WM_NULL: the machine may have changed (a medium taken out). WM_APP + 1: one of its
// broadcasts, sent on as Windows sends it.
static LRESULT WINAPI DefWindowProcHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DEV_BROADCAST_VOLUME volume = {sizeof(volume), DBT_DEVTYP_VOLUME, 0, (DWORD)lParam, HIWORD(wParam)};
    if (message == WM_APP + 1)
        return SendMessageA(window, WM_DEVICECHANGE, LOWORD(wParam), (LPARAM)&volume);
    if (message == WM_NULL)
        Load();
    return DefWindowProcA(window, message, wParam, lParam);
}

static int WINAPI MessageBoxHook(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    SimLog("box %s: %s", caption, text);
    return MessageBoxA(owner, text, caption, type);
}

static LSTATUS WINAPI OpenKeyHook(HKEY root, LPCSTR path, DWORD options, REGSAM access, PHKEY key)
{
    return SimFails("RegOpenKeyExA") ? ERROR_ACCESS_DENIED : RegOpenKeyExA(root, path, options, access, key);
}

static LPVOID WINAPI HeapAllocHook(HANDLE heap, DWORD flags, SIZE_T size)
{
    LPVOID block = SimFails("HeapAlloc") ? NULL : HeapAlloc(heap, flags, size);
    heapBlocks += block != NULL;
    return block;
}

static BOOL WINAPI HeapFreeHook(HANDLE heap, DWORD flags, LPVOID block)
{
    heapBlocks -= block != NULL;
    return HeapFree(heap, flags, block);
}

// The exe's import entries are bound before this runs: the entries of these functions, found by
// name (a 32-bit build cannot take an imported function's address at compile time), are pointed
// at their hooks.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    const struct {
        const char* name;
        void* hook;
    } hooks[] = {{"GetLogicalDriveStringsA", (void*)SimGetLogicalDriveStringsA}, {"CreateFileA", (void*)SimCreateFileA},
        {"DeviceIoControl", (void*)SimDeviceIoControl}, {"CloseHandle", (void*)SimCloseHandle},
        {"QueryDosDeviceA", (void*)SimQueryDosDeviceA}, {"TrackPopupMenu", (void*)TrackPopupMenuHook},
        {"CreateDialogParamA", (void*)CreateDialogHook}, {"Shell_NotifyIconA", (void*)NotifyIconHook},
        {"DefWindowProcA", (void*)DefWindowProcHook}, {"MessageBoxA", (void*)MessageBoxHook},
        {"HeapAlloc", (void*)HeapAllocHook}, {"CreatePopupMenu", (void*)CreatePopupMenuHook},
        {"DestroyMenu", (void*)DestroyMenuHook}, {"HeapFree", (void*)HeapFreeHook},
        {"RegOpenKeyExA", (void*)OpenKeyHook}};
    BYTE* base = (BYTE*)GetModuleHandleA(NULL);
    IMAGE_NT_HEADERS* headers = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    DWORD imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto* dll = (IMAGE_IMPORT_DESCRIPTOR*)(base + imports); reason == DLL_PROCESS_ATTACH && dll->Name; dll++) {
        // The exe imports by name only.
        auto* names = (IMAGE_THUNK_DATA*)(base + dll->OriginalFirstThunk);
        for (void** slot = (void**)(base + dll->FirstThunk); *slot; slot++, names++) {
            const char* name = (const char*)((IMAGE_IMPORT_BY_NAME*)(base + names->u1.AddressOfData))->Name;
            for (const auto& hook : hooks) {
                DWORD protection;
                if (!strcmp(name, hook.name) && VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection)) {
                    *slot = hook.hook;
                    VirtualProtect(slot, sizeof(*slot), protection, &protection);
                }
            }
        }
    }
    if (reason == DLL_PROCESS_ATTACH)
        Load();
    return TRUE;
}
