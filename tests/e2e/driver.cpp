// Drives a running kestrabin.exe (x64 or x86) from a second process under Wine, one action a call:
//   wait                        until the program's main window exists
//   menu K                      open the tray menu; choose its K-th item by keyboard (0: leave it open)
//   cmd ID                      send WM_COMMAND ID; returns when the program has handled it
//   dev arrive|remove LETTERS   send WM_DEVICECHANGE about the volumes LETTERS (or "port": not a volume)
//   tick ROW IMAGE              set a settings row's state image (1 unticked, 2 ticked)
//   press ID                    click button ID of the program's open dialog
//   labels                      measure each label of the open dialog: "label WIDTH/ROOM TEXTLEN" in pixels
// Exit code 0 when the action was done, 1 with a line saying why otherwise.
#include <windows.h>
#include <commctrl.h>
#include <dbt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static HWND app;
static DWORD appProcess;

static int Fail(const char* why, long value = 0)
{
    printf("driver: %s (%ld)\n", why, value);
    return 1;
}

// A visible top-level window of the program with this class (a menu, a dialog), or NULL.
static HWND Visible(const char* className)
{
    HWND window = NULL;
    DWORD process = 0;
    while ((window = FindWindowExA(NULL, window, className, NULL)))
        if (GetWindowThreadProcessId(window, &process) && process == appProcess && IsWindowVisible(window))
            return window;
    return NULL;
}

static bool Await(const char* className, bool shown)
{
    for (int i = 0; i < 100 && (Visible(className) != NULL) != shown; i++)
        Sleep(50);
    return (Visible(className) != NULL) == shown;
}

static void PressKey(UINT key)
{
    LPARAM scan = MapVirtualKeyA(key, 0) << 16;
    PostMessageA(Visible("#32768"), WM_KEYDOWN, key, 1 | scan);
    Sleep(50);
    PostMessageA(Visible("#32768"), WM_KEYUP, key, 1 | scan | 0xC0000000);
    Sleep(50);
}

static int Menu(int item)
{
    if (!Visible("#32768"))
        PostMessageA(app, WM_USER + 1, 128, WM_RBUTTONUP);
    if (!Await("#32768", true))
        return Fail("no tray menu");
    // Wine opens the menu with nothing selected; the keys skip separators.
    for (int i = 0; i < item; i++)
        PressKey(VK_DOWN);
    if (item)
        PressKey(VK_RETURN);
    return !item || Await("#32768", false) ? 0 : Fail("the tray menu stays open");
}

static int DeviceChange(const char* event, const char* letters)
{
    DEV_BROADCAST_VOLUME volume = {sizeof(volume), DBT_DEVTYP_VOLUME, 0, 0, 0};
    DEV_BROADCAST_PORT_A port = {sizeof(port), DBT_DEVTYP_PORT, 0, {0}};
    for (const char* letter = letters; *letter >= 'A' && *letter <= 'Z'; letter++)
        volume.dbcv_unitmask |= 1u << (*letter - 'A');
    LPARAM data = strcmp(letters, "port") ? (LPARAM)&volume : (LPARAM)&port;
    WPARAM code = strcmp(event, "arrive") ? DBT_DEVICEREMOVECOMPLETE : DBT_DEVICEARRIVAL;
    DWORD_PTR answer = 1;
    if (!SendMessageTimeoutA(app, WM_DEVICECHANGE, code, data, SMTO_ABORTIFHUNG, 10000, &answer) || answer)
        return Fail("WM_DEVICECHANGE not answered with 0", (long)answer);
    return 0;
}

// The row's state goes through a record in the program's memory. The first five fields of
// LVITEMA (mask ... stateMask) lie at the same offsets in the 32- and 64-bit layouts.
static int Tick(int row, int image)
{
    HWND list = GetDlgItem(Visible("#32770"), 40001);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, appProcess);
    void* remote = process ? VirtualAllocEx(process, NULL, 64, MEM_COMMIT, PAGE_READWRITE) : NULL;
    UINT item[16] = {LVIF_STATE, (UINT)row, 0, (UINT)INDEXTOSTATEIMAGEMASK(image), LVIS_STATEIMAGEMASK};
    if (!list || !remote || !WriteProcessMemory(process, remote, item, sizeof(item), NULL))
        return Fail("no settings list to tick", (long)GetLastError());
    SendMessageA(list, LVM_SETITEMSTATE, row, (LPARAM)remote);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    LRESULT state = SendMessageA(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK) >> 12;
    return state == image ? 0 : Fail("state image after the tick", (long)state);
}

// Each label (static control) of the program's open dialog: its text measured in the dialog's font
// against the control's client width, in pixels; fails when a text is wider than its room. A font
// handle is good only in the process that made it (WM_GETFONT from here gets nothing under Wine),
// so the font is made again from the exe's template of that dialog, as the dialog manager makes
// it: the size in points to pixels, the face, the weight, the character set left to the face.
static int Labels()
{
    // The driver is linked without GDI32: its calls are looked up.
    HMODULE gdi = LoadLibraryA("gdi32.dll");
    auto deviceCaps = (int(WINAPI*)(HDC, int))(void*)GetProcAddress(gdi, "GetDeviceCaps");
    auto createFont = (HFONT(WINAPI*)(int, int, int, int, int, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
        LPCWSTR))(void*)GetProcAddress(gdi, "CreateFontW");
    auto stockObject = (HGDIOBJ(WINAPI*)(int))(void*)GetProcAddress(gdi, "GetStockObject");
    auto selectObject = (HGDIOBJ(WINAPI*)(HDC, HGDIOBJ))(void*)GetProcAddress(gdi, "SelectObject");
    auto deleteObject = (BOOL(WINAPI*)(HGDIOBJ))(void*)GetProcAddress(gdi, "DeleteObject");
    auto textExtent = (BOOL(WINAPI*)(HDC, LPCSTR, int, LPSIZE))(void*)GetProcAddress(gdi, "GetTextExtentPoint32A");
    if (!deviceCaps || !createFont || !stockObject || !selectObject || !deleteObject || !textExtent)
        return Fail("no GDI32");
    HWND dialog = Visible("#32770");
    if (!dialog)
        return Fail("no open dialog");

    // The exe's dialog template whose caption is the open dialog's.
    char path[MAX_PATH] = {};
    DWORD pathSize = MAX_PATH;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, appProcess);
    BOOL named = process && QueryFullProcessImageNameA(process, 0, path, &pathSize);
    if (process)
        CloseHandle(process);
    HMODULE exe = named ? LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE) : NULL;
    struct Search {
        WCHAR caption[256];
        const WORD* font; // the template's words from the point size on, or NULL without DS_SETFONT
        bool found, extended;
    } search = {{}, NULL, false, false};
    GetWindowTextW(dialog, search.caption, 256);
    auto match = [](HMODULE module, LPCSTR, LPSTR name, LONG_PTR data) -> BOOL {
        Search* search = (Search*)data;
        HRSRC resource = FindResourceA(module, name, (LPCSTR)RT_DIALOG);
        const WORD* word = resource ? (const WORD*)LockResource(LoadResource(module, resource)) : NULL;
        if (!word)
            return TRUE;
        bool extended = word[0] == 1 && word[1] == 0xFFFF;
        DWORD style = extended ? word[6] | (DWORD)word[7] << 16 : word[0] | (DWORD)word[1] << 16;
        word += extended ? 13 : 9;
        for (int field = 0; field < 2; field++) // menu, class
            word = *word == 0xFFFF ? word + 2 : word + lstrlenW((LPCWSTR)word) + 1;
        if (lstrcmpW((LPCWSTR)word, search->caption))
            return TRUE;
        search->found = true;
        search->extended = extended;
        search->font = style & DS_SETFONT ? word + lstrlenW((LPCWSTR)word) + 1 : NULL;
        return FALSE;
    };
    if (exe)
        EnumResourceNamesA(exe, (LPCSTR)RT_DIALOG, match, (LONG_PTR)&search);
    if (!search.found)
        return Fail("no template of the open dialog in the exe", (long)GetLastError());
    if (search.font && *search.font == 0x7FFF)
        return Fail("a dialog in the message font is not measured");

    HFONT font = NULL;
    HDC screen = GetDC(NULL);
    if (search.font) {
        const WORD* word = search.font;
        int pixels = MulDiv(*word++, deviceCaps(screen, LOGPIXELSY), 72);
        int weight = search.extended ? *word++ : FW_DONTCARE;
        DWORD italic = search.extended ? LOBYTE(*word++) : FALSE;
        font = createFont(-pixels, 0, 0, 0, weight, italic, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, PROOF_QUALITY,
            FF_DONTCARE, (LPCWSTR)word);
    }
    ReleaseDC(NULL, screen);
    if (search.font && !font)
        return Fail("cannot make the dialog's font");

    int labels = 0;
    int cut = 0;
    for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        char className[32] = {};
        GetClassNameA(control, className, sizeof(className));
        if (lstrcmpiA(className, "Static"))
            continue;
        char text[512] = {};
        int length = GetWindowTextA(control, text, sizeof(text));
        RECT room = {};
        GetClientRect(control, &room);
        HDC dc = GetDC(NULL);
        HGDIOBJ previous = selectObject(dc, font ? (HGDIOBJ)font : stockObject(SYSTEM_FONT));
        SIZE extent = {};
        BOOL measured = textExtent(dc, text, length, &extent);
        selectObject(dc, previous);
        ReleaseDC(NULL, dc);
        if (!measured)
            return Fail("cannot measure a label", (long)GetLastError());
        printf("label %ld/%ld %d\n", extent.cx, room.right - room.left, length);
        labels++;
        if (extent.cx > room.right - room.left)
            cut++;
    }
    if (font)
        deleteObject(font);
    FreeLibrary(exe);
    if (!labels)
        return Fail("no label in the open dialog");
    return cut ? Fail("labels wider than their room", cut) : 0;
}

int main(int argc, char** argv)
{
    const char* action = argc > 1 ? argv[1] : "";
    long value = argc > 2 ? strtol(argv[2], NULL, 0) : 0;
    DWORD_PTR answer;
    for (int i = 0; i < 300 && !(app = FindWindowA("MORVANTO", "Morvanto")); i++)
        Sleep(50);
    if (!app)
        return Fail("no main window of class MORVANTO");
    GetWindowThreadProcessId(app, &appProcess);
    if (!strcmp(action, "wait"))
        return 0;
    if (!strcmp(action, "menu") && argc == 3)
        return Menu((int)value);
    if (!strcmp(action, "cmd") && argc == 3)
        return SendMessageTimeoutA(app, WM_COMMAND, value, 0, SMTO_ABORTIFHUNG, 10000, &answer) ? 0 : Fail("no answer");
    if (!strcmp(action, "dev") && argc == 4)
        return DeviceChange(argv[2], argv[3]);
    if (!strcmp(action, "tick") && argc == 4)
        return Tick((int)value, atoi(argv[3]));
    if (!strcmp(action, "labels") && argc == 2)
        return Labels();
    HWND button = GetDlgItem(Visible("#32770"), (int)value);
    if (!strcmp(action, "press") && argc == 3)
        return button && SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 10000, &answer)
            ? 0
            : Fail("no button", value);
    return Fail(
        "usage: driver wait | menu K | cmd ID | dev arrive|remove LETTERS|port | tick ROW IMAGE | press ID | labels");
}
