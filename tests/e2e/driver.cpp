// Kestrabin end-to-end driver: a console program that drives a running kestrabin.exe from a
// second process (under Wine) and checks what it sees, one subcommand per check.
//
// Built by tests/e2e/run.sh with x86_64-w64-mingw32-g++ -static -finput-charset=UTF-8
// -fexec-charset=CP932. The same file built with -DKESTRABIN_E2E_HOOK -shared gives the small
// hook DLL that reads the open tray menu from inside the program's process (Wine keeps menu
// data in the owning process, so another process cannot read the items).
//
// Output: "ok: ..." and "info: ..." lines, one "FAIL: ..." line per failed check, UTF-8.
// Exit code 0 when every check passed, 1 otherwise, 2 on bad usage.
#include <windows.h>
#include <shellapi.h>
#include <commctrl.h>
#include <dbt.h>
#include <stdlib.h>
#include <string>
#include <vector>

#ifndef MN_GETHMENU
#define MN_GETHMENU 0x01E1
#endif

static const wchar_t kMapName[] = L"KestrabinE2EMenuText";
static const wchar_t kDoneName[] = L"KestrabinE2EMenuDone";
static const char kProbeMsg[] = "KestrabinE2EMenuProbe";
static const DWORD kMapSize = 65536;

#ifdef KESTRABIN_E2E_HOOK
// ---------------------------------------------------------------------------------------------
// Hook DLL: runs inside the program's process while its popup menu is tracked.
static void dumpMenu(HWND menuWnd)
{
    HANDLE map = OpenFileMappingW(FILE_MAP_WRITE, FALSE, kMapName);
    if (!map)
        return;
    wchar_t* out = (wchar_t*)MapViewOfFile(map, FILE_MAP_WRITE, 0, 0, kMapSize);
    if (out) {
        std::wstring s;
        HMENU menu = (HMENU)SendMessageW(menuWnd, MN_GETHMENU, 0, 0);
        wchar_t line[700];
        if (!menu) {
            s = L"nomenu\n";
        } else {
            int n = GetMenuItemCount(menu);
            wsprintfW(line, L"count=%d\n", n);
            s += line;
            for (int i = 0; i < n; i++) {
                wchar_t text[512] = L"";
                MENUITEMINFOW mi = {};
                mi.cbSize = sizeof mi;
                mi.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU;
                mi.dwTypeData = text;
                mi.cch = 511;
                if (!GetMenuItemInfoW(menu, i, TRUE, &mi)) {
                    s += L"error\n";
                    continue;
                }
                wsprintfW(line, L"%lx|%lx|%u|%d|", (unsigned long)mi.fType, (unsigned long)mi.fState, (unsigned)mi.wID,
                    mi.hSubMenu ? 1 : 0);
                s += line;
                s += text;
                s += L"\n";
            }
        }
        size_t max = kMapSize / sizeof(wchar_t) - 1;
        if (s.size() > max)
            s.resize(max);
        memcpy(out, s.c_str(), (s.size() + 1) * sizeof(wchar_t));
        UnmapViewOfFile(out);
    }
    CloseHandle(map);
    HANDLE done = OpenEventW(EVENT_MODIFY_STATE, FALSE, kDoneName);
    if (done) {
        SetEvent(done);
        CloseHandle(done);
    }
}

extern "C" __declspec(dllexport) LRESULT CALLBACK e2e_msg_hook(int code, WPARAM w, LPARAM l)
{
    if (code == HC_ACTION && l) {
        MSG* m = (MSG*)l;
        UINT probe = RegisterWindowMessageA(kProbeMsg);
        if (probe && m->message == probe) {
            if (w & PM_REMOVE)
                dumpMenu(m->hwnd);
            m->message = WM_NULL;
        }
    }
    return CallNextHookEx(NULL, code, w, l);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}

#else
// ---------------------------------------------------------------------------------------------
// Driver
static HANDLE gOut;
static int gFails;

static void outW(const std::wstring& s)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, s.c_str(), (int)s.size(), NULL, 0, NULL, NULL);
    std::string b(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.c_str(), (int)s.size(), &b[0], n, NULL, NULL);
    DWORD wr;
    WriteFile(gOut, b.data(), (DWORD)b.size(), &wr, NULL);
}

static std::wstring fmt(const wchar_t* f, va_list a)
{
    static wchar_t b[8192];
    int n = _vsnwprintf(b, 8191, f, a);
    b[n < 0 ? 8191 : n] = 0;
    return b;
}

static void info(const wchar_t* f, ...)
{
    va_list a;
    va_start(a, f);
    outW(L"info: " + fmt(f, a) + L"\n");
    va_end(a);
}

// check(cond, "what"): prints ok or FAIL; returns cond.
static bool check(bool ok, const wchar_t* f, ...)
{
    va_list a;
    va_start(a, f);
    std::wstring m = fmt(f, a);
    va_end(a);
    outW((ok ? L"ok: " : L"FAIL: ") + m + L"\n");
    if (!ok)
        gFails++;
    return ok;
}

static std::wstring wide(const char* s, UINT cp = 932)
{
    int n = MultiByteToWideChar(cp, 0, s, -1, NULL, 0);
    std::wstring w(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1)
        MultiByteToWideChar(cp, 0, s, -1, &w[0], n);
    return w;
}

// Shows control characters so that a reader sees exactly what came back.
static std::wstring esc(const std::wstring& s)
{
    std::wstring r = L"\"";
    for (wchar_t c : s) {
        if (c == L'\n')
            r += L"\\n";
        else if (c == L'\r')
            r += L"\\r";
        else if (c == L'\t')
            r += L"\\t";
        else if (c < 32) {
            wchar_t b[8];
            wsprintfW(b, L"\\x%02x", (unsigned)c);
            r += b;
        } else
            r += c;
    }
    return r + L"\"";
}

static DWORD now()
{
    return GetTickCount();
}

static std::wstring classOf(HWND h)
{
    wchar_t b[256] = L"";
    GetClassNameW(h, b, 256);
    return b;
}

// Text through WM_GETTEXT (marshalled across processes).
static std::wstring textOf(HWND h)
{
    static wchar_t b[8192];
    b[0] = 0;
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXT, 8191, (LPARAM)b, SMTO_ABORTIFHUNG, 5000, &r))
        return L"<no answer>";
    b[8191] = 0;
    return b;
}

static DWORD pidOf(HWND h)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    return pid;
}

struct EnumCtx {
    DWORD pid;
    std::vector<HWND>* out;
};
static BOOL CALLBACK enumTopProc(HWND h, LPARAM l)
{
    EnumCtx* c = (EnumCtx*)l;
    if (!c->pid || pidOf(h) == c->pid)
        c->out->push_back(h);
    return TRUE;
}
static std::vector<HWND> topWindows(DWORD pid)
{
    std::vector<HWND> v;
    EnumCtx c = {pid, &v};
    EnumWindows(enumTopProc, (LPARAM)&c);
    return v;
}
static BOOL CALLBACK enumChildProc(HWND h, LPARAM l)
{
    ((std::vector<HWND>*)l)->push_back(h);
    return TRUE;
}
static std::vector<HWND> children(HWND parent)
{
    std::vector<HWND> v;
    EnumChildWindows(parent, enumChildProc, (LPARAM)&v);
    return v;
}

// Visible top-level windows of a process with this class (and title, when given).
static std::vector<HWND> visibleOf(DWORD pid, const wchar_t* cls, const wchar_t* title)
{
    std::vector<HWND> r;
    for (HWND h : topWindows(pid)) {
        if (!IsWindowVisible(h))
            continue;
        if (cls && classOf(h) != cls)
            continue;
        if (title && textOf(h) != title)
            continue;
        r.push_back(h);
    }
    return r;
}

static std::wstring describe(HWND h)
{
    wchar_t b[200];
    RECT rc = {};
    GetWindowRect(h, &rc);
    wsprintfW(b, L"hwnd=%lx vis=%d rect=(%ld,%ld)-(%ld,%ld) class=", (unsigned long)(ULONG_PTR)h,
        IsWindowVisible(h) ? 1 : 0, rc.left, rc.top, rc.right, rc.bottom);
    return b + classOf(h) + L" title=" + esc(textOf(h));
}

static std::wstring describeVisible(DWORD pid)
{
    std::wstring s;
    for (HWND h : topWindows(pid))
        if (IsWindowVisible(h))
            s += L" [" + describe(h) + L"]";
    return s.empty() ? L" none" : s;
}

// --- the program ----------------------------------------------------------------------------
static HWND gApp;
static DWORD gAppPid, gAppTid;
static HANDLE gAppProc;

static bool findApp(DWORD ms = 15000)
{
    DWORD t0 = now();
    for (;;) {
        gApp = FindWindowA("MORVANTO", "Morvanto");
        if (gApp)
            break;
        if (now() - t0 > ms) {
            check(false, L"no window of class MORVANTO titled Morvanto within %lu ms", ms);
            return false;
        }
        Sleep(50);
    }
    gAppTid = GetWindowThreadProcessId(gApp, &gAppPid);
    gAppProc = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, gAppPid);
    info(L"program window %lx, process %lu, thread %lu", (unsigned long)(ULONG_PTR)gApp, gAppPid, gAppTid);
    return true;
}

static bool appAlive()
{
    if (!IsWindow(gApp))
        return false;
    return !gAppProc || WaitForSingleObject(gAppProc, 0) == WAIT_TIMEOUT;
}

static bool iconPresent(HWND h, UINT id)
{
    NOTIFYICONDATAA n = {};
    n.cbSize = sizeof n;
    n.hWnd = h;
    n.uID = id;
    n.uFlags = 0;
    return Shell_NotifyIconA(NIM_MODIFY, &n) != FALSE;
}

static bool waitIcon(bool present, DWORD ms)
{
    DWORD t0 = now();
    while (iconPresent(gApp, 128) != present) {
        if (now() - t0 > ms)
            return false;
        Sleep(100);
    }
    return true;
}

// Waits for the program to end; checks exit code 0 and that its icon is gone.
static void expectExit(DWORD ms)
{
    if (!check(gAppProc != NULL, L"process handle of the program"))
        return;
    DWORD w = WaitForSingleObject(gAppProc, ms);
    if (!check(w == WAIT_OBJECT_0, L"program exits within %lu ms", ms))
        return;
    DWORD code = 12345;
    GetExitCodeProcess(gAppProc, &code);
    check(code == 0, L"exit code 0 (got %lu)", code);
    check(!IsWindow(gApp), L"main window destroyed");
    check(waitIcon(false, 3000), L"tray icon (window, 128) no longer present");
}

// Checks that the program is alive with no visible top-level window other than those in before.
static void expectQuiet(const std::vector<HWND>& before, DWORD settleMs)
{
    Sleep(settleMs);
    check(appAlive(), L"program alive");
    std::wstring extra;
    for (HWND h : topWindows(gAppPid)) {
        if (!IsWindowVisible(h))
            continue;
        bool old = false;
        for (HWND b : before)
            old = old || b == h;
        if (!old)
            extra += L" [" + describe(h) + L"]";
    }
    check(extra.empty(), L"no new visible window%s", extra.empty() ? L"" : (L": " + extra).c_str());
    check(!IsWindowVisible(gApp), L"main window still hidden");
}

static std::vector<HWND> visibleNow()
{
    std::vector<HWND> r;
    for (HWND h : topWindows(gAppPid))
        if (IsWindowVisible(h))
            r.push_back(h);
    return r;
}

// --- tray menu --------------------------------------------------------------------------------
static HWND menuWindow()
{
    std::vector<HWND> v = visibleOf(gAppPid, L"#32768", NULL);
    return v.empty() ? NULL : v[0];
}

static HWND openMenu()
{
    HWND m = menuWindow();
    if (m)
        return m;
    PostMessageA(gApp, WM_USER + 1, 128, WM_RBUTTONUP);
    DWORD t0 = now();
    while (!(m = menuWindow())) {
        if (now() - t0 > 5000) {
            check(false, L"popup menu (#32768 of the program) opens after (1025, 128, WM_RBUTTONUP); visible:%s",
                describeVisible(gAppPid).c_str());
            return NULL;
        }
        Sleep(50);
    }
    check(true, L"popup menu opened: %s", describe(m).c_str());
    return m;
}

static void postKey(HWND w, UINT vk)
{
    UINT scan = MapVirtualKeyA(vk, 0);
    PostMessageA(w, WM_KEYDOWN, vk, 1 | (scan << 16));
    Sleep(60);
    PostMessageA(w, WM_KEYUP, vk, 1 | (scan << 16) | 0xC0000000);
    Sleep(60);
}

static bool waitMenuClosed(DWORD ms)
{
    DWORD t0 = now();
    while (menuWindow()) {
        if (now() - t0 > ms)
            return false;
        Sleep(50);
    }
    return true;
}

// Reads the open menu's items from inside the program's process through the hook DLL.
static bool readMenu(const char* dllPath, std::wstring& text)
{
    HWND m = menuWindow();
    if (!m)
        return false;
    HMODULE dll = LoadLibraryA(dllPath);
    if (!dll)
        return check(false, L"load hook DLL %hs (error %lu)", dllPath, GetLastError());
    HOOKPROC proc = (HOOKPROC)(void*)GetProcAddress(dll, "e2e_msg_hook");
    HANDLE map = CreateFileMappingW(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, kMapSize, kMapName);
    HANDLE done = CreateEventW(NULL, TRUE, FALSE, kDoneName);
    wchar_t* view = map ? (wchar_t*)MapViewOfFile(map, FILE_MAP_READ, 0, 0, kMapSize) : NULL;
    HHOOK hook = proc ? SetWindowsHookExA(WH_GETMESSAGE, proc, dll, gAppTid) : NULL;
    bool ok = false;
    DWORD err = GetLastError();
    if (check(hook && view && done, L"menu hook installed in the program's thread%s",
            hook && view && done ? L"" : (L" (error " + std::to_wstring(err) + L")").c_str())) {
        PostMessageA(m, RegisterWindowMessageA(kProbeMsg), 0, 0);
        ok = WaitForSingleObject(done, 5000) == WAIT_OBJECT_0;
        if (check(ok, L"hook answered with the menu items"))
            text = view;
    }
    if (hook)
        UnhookWindowsHookEx(hook);
    if (view)
        UnmapViewOfFile(view);
    if (map)
        CloseHandle(map);
    if (done)
        CloseHandle(done);
    return ok;
}

// The items the tray menu has while no drive is tracked.
static void checkMenuItems(const std::wstring& got)
{
    std::wstring want = L"count=7\n"
                        L"0|0|0|0|接続されていません\n"
                        L"800|0|0|0|\n"
                        L"0|0|106|0|設定\n"
                        L"800|0|0|0|\n"
                        L"0|0|104|0|Kestrabinについて\n"
                        L"800|0|0|0|\n"
                        L"0|0|105|0|終了\n";
    // Separators may come back with an ID or state that means nothing; compare them loosely.
    std::vector<std::wstring> g, w;
    auto split = [](const std::wstring& s, std::vector<std::wstring>& v) {
        size_t a = 0, b;
        while ((b = s.find(L'\n', a)) != std::wstring::npos) {
            v.push_back(s.substr(a, b - a));
            a = b + 1;
        }
    };
    split(got, g);
    split(want, w);
    bool same = g.size() == w.size();
    for (size_t i = 0; same && i < g.size(); i++) {
        if (g[i] == w[i])
            continue;
        bool sep = w[i].compare(0, 4, L"800|") == 0 && g[i].compare(0, 4, L"800|") == 0;
        if (!sep)
            same = false;
    }
    std::wstring shown = got;
    for (auto& c : shown)
        if (c == L'\n')
            c = L';';
    check(same, L"tray menu items (fType|fState|id|submenu|text): %s", shown.c_str());
}

// --- dialogs --------------------------------------------------------------------------------
static std::vector<HWND> waitDialogs(const wchar_t* title, size_t n, DWORD ms)
{
    DWORD t0 = now();
    std::vector<HWND> v;
    for (;;) {
        v = visibleOf(gAppPid, L"#32770", title);
        if (v.size() >= n || now() - t0 > ms)
            return v;
        Sleep(50);
    }
}

static bool waitGone(HWND h, DWORD ms)
{
    DWORD t0 = now();
    while (IsWindow(h) && IsWindowVisible(h)) {
        if (now() - t0 > ms)
            return false;
        Sleep(50);
    }
    return true;
}

static const wchar_t kAboutPrefix[] = L"Kestrabin\n        Ver. 1.30\n\n\n";
static const wchar_t kSettingsTitle[] = L"Kestrabin 設定";

// Finds the About box, checks it, closes it with its OK button.
static void checkAboutBox()
{
    std::vector<HWND> v = waitDialogs(L"Kestrabin", 1, 5000);
    if (!check(v.size() == 1, L"one About box (#32770 titled \"Kestrabin\") appears; visible:%s",
            describeVisible(gAppPid).c_str()))
        return;
    HWND box = v[0];
    check(GetWindow(box, GW_OWNER) == NULL, L"About box has no owner (got %lx)",
        (unsigned long)(ULONG_PTR)GetWindow(box, GW_OWNER));
    std::wstring text, buttons;
    int nButtons = 0;
    for (HWND c : children(box)) {
        std::wstring cls = classOf(c), t = textOf(c);
        if (lstrcmpiW(cls.c_str(), L"Static") == 0 && t.compare(0, 9, L"Kestrabin") == 0)
            text = t;
        if (lstrcmpiW(cls.c_str(), L"Button") == 0 && IsWindowVisible(c)) {
            nButtons++;
            buttons += esc(t) + L" ";
        }
    }
    check(text.compare(0, lstrlenW(kAboutPrefix), kAboutPrefix) == 0, L"About text begins with %s (got %s)",
        esc(kAboutPrefix).c_str(), esc(text).c_str());
    check(nButtons == 1 && GetDlgItem(box, IDOK) && textOf(GetDlgItem(box, IDOK)) == L"OK",
        L"About box has only an OK button (MB_OK); buttons: %s", buttons.c_str());
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    check(waitGone(box, 5000), L"About box closes with OK");
}

// Checks one settings dialog as created from its template, with no drive tracked.
static void checkSettings(HWND d)
{
    check(GetWindow(d, GW_OWNER) == gApp, L"settings dialog %lx owned by the main window (owner %lx)",
        (unsigned long)(ULONG_PTR)d, (unsigned long)(ULONG_PTR)GetWindow(d, GW_OWNER));
    struct Want {
        int id;
        const wchar_t* cls;
        const wchar_t* text;
    } want[] = {{IDOK, L"Button", L"OK"}, {IDCANCEL, L"Button", L"キャンセル"}, {1001, L"SysTabControl32", L""},
        {40001, L"SysListView32", L""}};
    for (auto& w : want) {
        HWND c = GetDlgItem(d, w.id);
        if (!check(c != NULL, L"control %d present", w.id))
            continue;
        std::wstring cls = classOf(c), t = textOf(c);
        check(lstrcmpiW(cls.c_str(), w.cls) == 0 && t == w.text, L"control %d is %s %s (got %s %s)", w.id, w.cls,
            esc(w.text).c_str(), cls.c_str(), esc(t).c_str());
    }
    HWND tab = GetDlgItem(d, 1001);
    if (tab) {
        LRESULT n = SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0);
        check(n == 0, L"tab control has no tabs (got %ld)", (long)n);
    }
    HWND lv = GetDlgItem(d, 40001);
    if (lv) {
        LONG st = GetWindowLongW(lv, GWL_STYLE);
        check((st & LVS_TYPEMASK) == LVS_REPORT, L"list view is LVS_REPORT (style %lx)", (unsigned long)st);
        LRESULT ex = SendMessageW(lv, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
        check(
            (ex & LVS_EX_CHECKBOXES) != 0, L"list view has LVS_EX_CHECKBOXES (extended style %lx)", (unsigned long)ex);
        HWND hdr = (HWND)SendMessageW(lv, LVM_GETHEADER, 0, 0);
        LRESULT cols = hdr ? SendMessageW(hdr, HDM_GETITEMCOUNT, 0, 0) : -1;
        check(cols == 2, L"list view has 2 columns (header %lx, count %ld)", (unsigned long)(ULONG_PTR)hdr, (long)cols);
        // Column headings live in the program's memory: read them through a buffer there.
        HANDLE p = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, gAppPid);
        BYTE* rem = p ? (BYTE*)VirtualAllocEx(p, NULL, 4096, MEM_COMMIT, PAGE_READWRITE) : NULL;
        if (check(rem != NULL, L"buffer in the program's process for the column headings")) {
            for (int i = 0; i < 2; i++) {
                LVCOLUMNW c = {};
                c.mask = LVCF_TEXT;
                c.pszText = (LPWSTR)(rem + 1024);
                c.cchTextMax = 256;
                wchar_t fill[4] = L"?";
                SIZE_T wr;
                WriteProcessMemory(p, rem, &c, sizeof c, &wr);
                WriteProcessMemory(p, rem + 1024, fill, sizeof fill, &wr);
                LRESULT ok = SendMessageW(lv, LVM_GETCOLUMNW, i, (LPARAM)rem);
                wchar_t got[257] = L"";
                ReadProcessMemory(p, rem + 1024, got, 512, &wr);
                got[256] = 0;
                check(ok && got[0] == 0, L"column %d heading is empty (answer %ld, text %s)", i, (long)ok,
                    esc(got).c_str());
            }
            VirtualFreeEx(p, rem, 0, MEM_RELEASE);
        }
        if (p)
            CloseHandle(p);
        LRESULT rows = SendMessageW(lv, LVM_GETITEMCOUNT, 0, 0);
        check(rows == 0, L"list view has 0 rows (got %ld)", (long)rows);
    }
    const wchar_t* statics[] = {L"取外し除外リスト", L"※チェックしたUSBは取外しメニューに表示されません"};
    std::wstring got;
    int found[2] = {0, 0};
    for (HWND c : children(d)) {
        if (GetParent(c) != d || lstrcmpiW(classOf(c).c_str(), L"Static") != 0)
            continue;
        int id = GetDlgCtrlID(c);
        std::wstring t = textOf(c);
        wchar_t b[40];
        wsprintfW(b, L" [id %d ", id);
        got += b + esc(t) + L"]";
        for (int i = 0; i < 2; i++)
            if (t == statics[i] && (id & 0xFFFF) == 0xFFFF)
                found[i]++;
    }
    check(found[0] == 1 && found[1] == 1, L"statics with ID -1 and the two texts (statics:%s)", got.c_str());
}

// --- accelerators ---------------------------------------------------------------------------
// Wine's TranslateAcceleratorA looks at the real Alt state: hold it in the shared input state.
static void sendAltChar(char ch)
{
    BOOL att = AttachThreadInput(GetCurrentThreadId(), gAppTid, TRUE);
    if (!att)
        check(false, L"AttachThreadInput to the program's thread (error %lu)", GetLastError());
    BYTE ks[256];
    GetKeyboardState(ks);
    ks[VK_MENU] = ks[VK_LMENU] = 0x80;
    SetKeyboardState(ks);
    UINT scan = MapVirtualKeyA(VkKeyScanA(ch) & 0xFF, 0);
    PostMessageA(gApp, WM_SYSCHAR, (BYTE)ch, 1 | (scan << 16) | (1 << 29));
    std::vector<HWND> v = waitDialogs(L"Kestrabin", 1, 5000);
    ks[VK_MENU] = ks[VK_LMENU] = 0;
    SetKeyboardState(ks);
    if (att)
        AttachThreadInput(GetCurrentThreadId(), gAppTid, FALSE);
}

// --- registry -------------------------------------------------------------------------------
static bool keyExists(int n)
{
    char path[64];
    wsprintfA(path, "SOFTWARE\\Kestrabin\\%d", n);
    HKEY k;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &k) != ERROR_SUCCESS)
        return false;
    RegCloseKey(k);
    return true;
}

// --- resources of the exe -------------------------------------------------------------------
struct Blob {
    const BYTE* p = NULL;
    DWORD n = 0;
};
static Blob resource(HMODULE m, LPCWSTR type, LPCWSTR name)
{
    Blob b;
    HRSRC r = FindResourceW(m, name, type);
    if (!r)
        return b;
    HGLOBAL g = LoadResource(m, r);
    b.p = (const BYTE*)LockResource(g);
    b.n = SizeofResource(m, r);
    return b;
}

struct Reader {
    const BYTE* base;
    const BYTE* p;
    const BYTE* end;
    bool bad = false;
    WORD w()
    {
        if (p + 2 > end) {
            bad = true;
            return 0;
        }
        WORD v = p[0] | (p[1] << 8);
        p += 2;
        return v;
    }
    DWORD d()
    {
        DWORD lo = w();
        return lo | ((DWORD)w() << 16);
    }
    std::wstring sz()
    {
        std::wstring s;
        for (WORD c; !bad && (c = w()) != 0;)
            s += (wchar_t)c;
        return s;
    }
    // sz_Or_Ord: "#n" for an ordinal, the text otherwise.
    std::wstring szOrOrd()
    {
        if (p + 2 <= end && p[0] == 0xFF && p[1] == 0xFF) {
            w();
            wchar_t b[16];
            wsprintfW(b, L"#%u", (unsigned)w());
            return b;
        }
        return sz();
    }
    void align4()
    {
        while ((p - base) & 3)
            p++;
    }
};

// Flattened MENU template: "P<flags>:text;" opens a popup, "E;" closes it, "I<flags>:id:text;" an item.
static void parseMenu(Reader& r, std::wstring& out)
{
    for (int guard = 0; guard < 100 && !r.bad; guard++) {
        WORD f = r.w();
        wchar_t b[40];
        if (f & MF_POPUP) {
            std::wstring t = r.sz();
            wsprintfW(b, L"P%x:", f & ~(MF_POPUP | MF_END));
            out += b + t + L";";
            parseMenu(r, out);
            out += L"E;";
        } else {
            WORD id = r.w();
            std::wstring t = r.sz();
            wsprintfW(b, L"I%x:%u:", f & ~MF_END, id);
            out += b + t + L";";
        }
        if (f & MF_END)
            return;
    }
}

static void checkMenuResource(HMODULE m)
{
    Blob b = resource(m, (LPCWSTR)RT_MENU, MAKEINTRESOURCEW(109));
    if (!check(b.p != NULL, L"menu 109 exists"))
        return;
    Reader r = {b.p, b.p, b.p + b.n};
    WORD ver = r.w(), off = r.w();
    check(ver == 0 && off == 0, L"menu 109 is a standard MENU template (version %u, offset %u)", ver, off);
    std::wstring got;
    parseMenu(r, got);
    std::wstring want = L"P0:ファイル(&F);I0:105:アプリケーションの終了(&X);I0:106:設定;E;"
                        L"P0:ヘルプ(&H);I0:104:バージョン情報(&A)...;E;";
    check(!r.bad && got == want, L"menu 109 contents (got %s)", got.c_str());
}

static void checkAccelResource(HMODULE m)
{
    Blob b = resource(m, (LPCWSTR)RT_ACCELERATOR, MAKEINTRESOURCEW(109));
    if (!check(b.p != NULL, L"accelerators 109 exist"))
        return;
    Reader r = {b.p, b.p, b.p + b.n};
    std::wstring got;
    int n = 0;
    bool ok = b.n == 16;
    while (r.p + 8 <= r.end) {
        WORD f = r.w(), key = r.w(), cmd = r.w();
        r.w();
        wchar_t e[64];
        wsprintfW(e, L"(fVirt %x key %x cmd %u) ", f & 0x7F, key, cmd);
        got += e;
        ok = ok && (f & 0x7F) == FALT && cmd == 104 && key == (n == 0 ? '?' : '/');
        n++;
        if (f & 0x80)
            break;
    }
    check(ok && n == 2, L"accelerators 109: Alt+'?' and Alt+'/' as characters for 104, nothing else (size %lu: %s)",
        b.n, got.c_str());
    HACCEL a = LoadAcceleratorsW(m, MAKEINTRESOURCEW(109));
    ACCEL t[8];
    int c = a ? CopyAcceleratorTableW(a, t, 8) : -1;
    check(c == 2, L"CopyAcceleratorTable gives 2 entries (got %d)", c);
}

// Width/height/bpp of an RT_ICON image (BMP DIB or PNG).
static std::wstring iconImage(HMODULE m, WORD id)
{
    Blob b = resource(m, (LPCWSTR)RT_ICON, MAKEINTRESOURCEW(id));
    wchar_t s[64];
    if (!b.p || b.n < 40)
        return L"?";
    if (b.n > 24 && b.p[0] == 0x89 && b.p[1] == 'P') {
        DWORD w = (b.p[16] << 24) | (b.p[17] << 16) | (b.p[18] << 8) | b.p[19];
        DWORD h = (b.p[20] << 24) | (b.p[21] << 16) | (b.p[22] << 8) | b.p[23];
        int depth = b.p[24], type = b.p[25];
        int ch = type == 6 ? 4 : type == 2 ? 3 : type == 4 ? 2 : 1;
        wsprintfW(s, L"%lux%lu@%d(png)", w, h, depth * ch);
        return s;
    }
    const BITMAPINFOHEADER* bi = (const BITMAPINFOHEADER*)b.p;
    wsprintfW(s, L"%ldx%ld@%u", bi->biWidth, bi->biHeight / 2, bi->biBitCount);
    return s;
}

static void checkIconGroup(HMODULE m, WORD id, std::vector<std::wstring> want)
{
    Blob b = resource(m, (LPCWSTR)RT_GROUP_ICON, MAKEINTRESOURCEW(id));
    if (!check(b.p != NULL && b.n >= 6, L"icon group %u exists", id))
        return;
    Reader r = {b.p, b.p, b.p + b.n};
    r.w();
    WORD type = r.w(), count = r.w();
    std::wstring dir, img;
    std::vector<std::wstring> got;
    for (int i = 0; i < count && r.p + 14 <= r.end; i++) {
        BYTE w = r.p[0], h = r.p[1], colors = r.p[2];
        r.p += 4;
        WORD planes = r.w(), bpp = r.w();
        r.d();
        WORD nid = r.w();
        wchar_t e[64];
        wsprintfW(e, L"%ux%u@%u", w ? w : 256, h ? h : 256, bpp);
        got.push_back(e);
        wsprintfW(e, L"(%ux%u colors %u planes %u bpp %u id %u) ", w, h, colors, planes, bpp, nid);
        dir += e;
        img += iconImage(m, nid) + L" ";
        // The image must decode (PNG-compressed ones too) at its own size.
        Blob data = resource(m, (LPCWSTR)RT_ICON, MAKEINTRESOURCEW(nid));
        HICON icon = data.p ? CreateIconFromResourceEx((PBYTE)data.p, data.n, TRUE, 0x00030000, w, h, 0) : NULL;
        ICONINFO info = {};
        BITMAP bitmap = {};
        bool decoded = icon && GetIconInfo(icon, &info) && GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
        check(decoded && bitmap.bmWidth == w && bitmap.bmHeight == h, L"icon %u of group %u decodes at %ux%u", nid, id,
            w, h);
        if (info.hbmColor)
            DeleteObject(info.hbmColor);
        if (info.hbmMask)
            DeleteObject(info.hbmMask);
        if (icon)
            DestroyIcon(icon);
    }
    std::vector<std::wstring> left = want;
    bool ok = type == 1 && got.size() == want.size();
    for (auto& g : got) {
        bool hit = false;
        for (auto& l : left)
            if (!hit && l == g) {
                l = L"";
                hit = true;
            }
        ok = ok && hit;
    }
    std::wstring ws;
    for (auto& x : want)
        ws += x + L" ";
    check(ok, L"icon group %u has %s(directory: %s; images: %s)", id, ws.c_str(), dir.c_str(), img.c_str());
}

static void checkDialogResource(HMODULE m)
{
    Blob b = resource(m, (LPCWSTR)RT_DIALOG, MAKEINTRESOURCEW(111));
    if (!check(b.p != NULL, L"dialog 111 exists"))
        return;
    Reader r = {b.p, b.p, b.p + b.n};
    if (!check(!(b.n >= 4 && b.p[2] == 0xFF && b.p[3] == 0xFF), L"dialog 111 is a DLGTEMPLATE, not DLGTEMPLATEEX"))
        return;
    DWORD style = r.d(), ex = r.d();
    WORD n = r.w();
    short x = r.w(), y = r.w(), cx = r.w(), cy = r.w();
    std::wstring menu = r.szOrOrd(), cls = r.szOrOrd(), title = r.sz();
    WORD pt = 0;
    std::wstring face;
    if (style & DS_SETFONT) {
        pt = r.w();
        face = r.sz();
    }
    DWORD wantStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_3DLOOK |
        DS_SETFONT | DS_FIXEDSYS;
    check(style == wantStyle, L"dialog style %lx (got %lx)", wantStyle, style);
    check(ex == 0, L"dialog extended style 0 (got %lx)", ex);
    check(x == 0 && y == 0 && cx == 223 && cy == 169, L"dialog at 0,0 size 223x169 (got %d,%d %dx%d)", x, y, cx, cy);
    check(menu.empty() && cls.empty(), L"dialog has no menu and the default class (menu %s class %s)",
        esc(menu).c_str(), esc(cls).c_str());
    check(title == kSettingsTitle, L"dialog title %s (got %s)", esc(kSettingsTitle).c_str(), esc(title).c_str());
    check(pt == 8 && face == L"Ms Shell Dlg 2", L"dialog font 8 \"Ms Shell Dlg 2\" (got %u %s)", pt, esc(face).c_str());
    struct Item {
        WORD id;
        const wchar_t* cls;
        const wchar_t* text;
        DWORD style;
        short x, y, cx, cy;
    };
    const DWORD kid = WS_CHILD | WS_VISIBLE;
    const DWORD sst = kid | WS_GROUP | SS_LEFT;
    Item want[] = {
        {1, L"#128", L"OK", kid | WS_TABSTOP | BS_DEFPUSHBUTTON, 112, 151, 50, 14},
        {2, L"#128", L"キャンセル", kid | WS_TABSTOP | BS_PUSHBUTTON, 165, 151, 50, 14},
        {1001, L"SysTabControl32", L"", kid, 3, 3, 213, 146},
        {40001, L"SysListView32", L"", kid | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_ALIGNLEFT, 9, 47, 200, 94},
        {0xFFFF, L"#130", L"取外し除外リスト", sst, 8, 22, 55, 8},
        {0xFFFF, L"#130", L"※チェックしたUSBは取外しメニューに表示されません", sst, 11, 34, 160, 8},
    };
    check(n == 6, L"dialog has 6 controls (got %u)", n);
    for (int i = 0; i < n && i < 6 && !r.bad; i++) {
        r.align4();
        DWORD st = r.d(), cex = r.d();
        short ix = r.w(), iy = r.w(), icx = r.w(), icy = r.w();
        WORD id = r.w();
        std::wstring icls = r.szOrOrd(), itext = r.szOrOrd();
        WORD extra = r.w();
        r.p += extra;
        const Item& w = want[i];
        std::wstring diff;
        wchar_t b[160];
        if (id != w.id) {
            wsprintfW(b, L" id %u (want %u)", id, w.id);
            diff += b;
        }
        // Window classes match without regard to case (windres writes them in capitals).
        if (lstrcmpiW(icls.c_str(), w.cls) != 0)
            diff += L" class " + esc(icls) + L" (want " + esc(w.cls) +
                (icls[0] == L'#' || w.cls[0] == L'#' ? L"; \"#n\" is ordinal n)" : L")");
        if (itext != w.text)
            diff += L" text " + esc(itext) + L" (want " + esc(w.text) + L")";
        if (st != w.style) {
            wsprintfW(b, L" style %lx (want %lx)", st, w.style);
            diff += b;
        }
        if (ix != w.x || iy != w.y || icx != w.cx || icy != w.cy) {
            wsprintfW(b, L" rect %d,%d %dx%d (want %d,%d %dx%d)", ix, iy, icx, icy, w.x, w.y, w.cx, w.cy);
            diff += b;
        }
        if (extra) {
            wsprintfW(b, L" %u bytes of creation data (want 0)", extra);
            diff += b;
        }
        wsprintfW(b, L"dialog control %d (id %u, %s)", i, w.id, w.cls);
        check(diff.empty(), L"%s%s%s", b, diff.empty() ? L" as expected" : L":", diff.c_str());
        if (cex)
            info(L"control %d has extended style %lx", i, cex);
    }
    check(!r.bad, L"dialog template read to its end without overrun");
}

static BOOL CALLBACK langProc(HMODULE, LPCWSTR, LPCWSTR, WORD lang, LONG_PTR l)
{
    ((std::vector<WORD>*)l)->push_back(lang);
    return TRUE;
}

static void checkManifest(HMODULE m)
{
    std::vector<WORD> langs;
    EnumResourceLanguagesW(m, (LPCWSTR)RT_MANIFEST, MAKEINTRESOURCEW(1), langProc, (LONG_PTR)&langs);
    std::wstring ls;
    for (WORD l : langs) {
        wchar_t b[16];
        wsprintfW(b, L"%u ", l);
        ls += b;
    }
    check(langs.size() == 1 && langs[0] == 1033, L"manifest 1 exists under language 1033 only (languages: %s)",
        ls.c_str());
    HRSRC r = FindResourceExW(m, (LPCWSTR)RT_MANIFEST, MAKEINTRESOURCEW(1), 1033);
    if (!check(r != NULL, L"FindResourceEx(RT_MANIFEST, 1, 1033)"))
        return;
    std::string t((const char*)LockResource(LoadResource(m, r)), SizeofResource(m, r));
    size_t a = t.find("<requestedExecutionLevel");
    size_t e = a == std::string::npos ? a : t.find('>', a);
    std::string el = a == std::string::npos ? "" : t.substr(a, e - a + 1);
    check(el.find("level=\"asInvoker\"") != std::string::npos && el.find("uiAccess=\"false\"") != std::string::npos,
        L"manifest requestedExecutionLevel asInvoker, uiAccess false (got %s)", wide(el.c_str(), CP_UTF8).c_str());
    check(t.find("<dependency") == std::string::npos, L"manifest has no <dependency>");
}

static void checkVersion(const char* path)
{
    DWORD dummy, n = GetFileVersionInfoSizeA(path, &dummy);
    if (!check(n > 0, L"version resource present (error %lu)", GetLastError()))
        return;
    std::vector<BYTE> v(n);
    GetFileVersionInfoA(path, 0, n, v.data());
    VS_FIXEDFILEINFO* f = NULL;
    UINT len = 0;
    if (check(VerQueryValueW(v.data(), L"\\", (void**)&f, &len) && f && len >= sizeof *f, L"VS_FIXEDFILEINFO")) {
        check(f->dwFileVersionMS == 0x00010003 && f->dwFileVersionLS == 0 && f->dwProductVersionMS == 0x00010003 &&
                f->dwProductVersionLS == 0,
            L"FILEVERSION and PRODUCTVERSION 1.3.0.0 (got %lx.%lx / %lx.%lx)", f->dwFileVersionMS, f->dwFileVersionLS,
            f->dwProductVersionMS, f->dwProductVersionLS);
        check(f->dwFileType == VFT_APP, L"dwFileType VFT_APP (got %lx)", f->dwFileType);
        check(f->dwFileOS == VOS_NT, L"dwFileOS VOS_NT (got %lx)", f->dwFileOS);
    }
    const wchar_t* names[][2] = {
        {L"FileVersion", L"1.3.0.0"}, {L"ProductVersion", L"1.3.0.0"}, {L"ProductName", L"Kestrabin"}};
    for (auto& nv : names) {
        std::wstring q = std::wstring(L"\\StringFileInfo\\041104B0\\") + nv[0];
        wchar_t* s = NULL;
        UINT sl = 0;
        BOOL ok = VerQueryValueW(v.data(), q.c_str(), (void**)&s, &sl);
        std::wstring got = ok && s ? s : L"<missing>";
        check(got == nv[1], L"%s is %s (got %s)", q.c_str(), esc(nv[1]).c_str(), esc(got).c_str());
    }
    WORD* tr = NULL;
    UINT tl = 0;
    BOOL ok = VerQueryValueW(v.data(), L"\\VarFileInfo\\Translation", (void**)&tr, &tl);
    check(ok && tl == 4 && tr[0] == 0x0411 && tr[1] == 0x04B0, L"translation 0x0411, 0x04B0 (got %u bytes: %x %x)",
        ok ? tl : 0, ok && tl >= 2 ? tr[0] : 0, ok && tl >= 4 ? tr[1] : 0);
}

static void checkResources(const char* path)
{
    HMODULE m = LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (!check(m != NULL, L"LoadLibraryEx(%hs, AS_DATAFILE) (error %lu)", path, GetLastError()))
        return;
    struct {
        UINT id;
        const wchar_t* text;
    } strs[] = {{109, L"MORVANTO"}, {40000, L"Morvanto"}};
    for (auto& s : strs) {
        wchar_t b[256] = L"";
        int n = LoadStringW(m, s.id, b, 256);
        check(n > 0 && lstrcmpW(b, s.text) == 0, L"string %u is %s (got %s)", s.id, s.text, esc(b).c_str());
    }
    checkMenuResource(m);
    checkAccelResource(m);
    checkIconGroup(m, 107, {L"16x16@8", L"32x32@8", L"48x48@8"});
    checkIconGroup(
        m, 108, {L"32x32@4", L"16x16@4", L"48x48@8", L"32x32@8", L"16x16@8", L"48x48@32", L"32x32@32", L"16x16@32"});
    checkDialogResource(m);
    checkManifest(m);
    // Everything but the manifest is language neutral.
    struct {
        WORD type;
        WORD id;
    } neutral[] = {{6, 7}, {6, 2501}, {4, 109}, {9, 109}, {14, 107}, {14, 108}, {5, 111}, {16, 1}};
    for (auto& r : neutral) {
        std::vector<WORD> langs;
        EnumResourceLanguagesW(m, MAKEINTRESOURCEW(r.type), MAKEINTRESOURCEW(r.id), langProc, (LONG_PTR)&langs);
        check(langs.size() == 1 && langs[0] == 0,
            L"resource %u of type %u is language neutral (%u languages, first %u)", r.id, r.type,
            (unsigned)langs.size(), langs.empty() ? 0xFFFF : langs[0]);
    }
    FreeLibrary(m);
    checkVersion(path);
}

// --- WM_DEVICECHANGE ------------------------------------------------------------------------
static LRESULT sendDev(HWND h, WPARAM code, const void* data, bool* answered)
{
    DWORD_PTR r = 0xDEAD;
    *answered = SendMessageTimeoutA(h, WM_DEVICECHANGE, code, (LPARAM)data, SMTO_ABORTIFHUNG, 5000, &r) != 0;
    return (LRESULT)r;
}

static void checkBroadcasts()
{
    // What DefWindowProc answers here: a window of the driver's own.
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "KestrabinE2EProbe";
    RegisterClassA(&wc);
    HWND mine = CreateWindowA("KestrabinE2EProbe", "", 0, 0, 0, 10, 10, NULL, NULL, wc.hInstance, NULL);
    bool ans;
    LRESULT def7 = SendMessageA(mine, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    DEV_BROADCAST_VOLUME vol = {};
    vol.dbcv_size = sizeof vol;
    vol.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    LRESULT defQ = SendMessageA(mine, WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVE, (LPARAM)&vol);
    info(L"Wine's DefWindowProc answers WM_DEVICECHANGE DBT_DEVNODES_CHANGED with %ld, DBT_DEVICEQUERYREMOVE with %ld",
        (long)def7, (long)defQ);
    DestroyWindow(mine);

    struct {
        WPARAM code;
        DWORD mask;
        const wchar_t* what;
    } vols[] = {{DBT_DEVICEARRIVAL, 1u << 2, L"arrival C:"}, {DBT_DEVICEREMOVECOMPLETE, 1u << 2, L"removal C:"},
        {DBT_DEVICEARRIVAL, 0, L"arrival mask 0"}, {DBT_DEVICEREMOVECOMPLETE, 0, L"removal mask 0"},
        {DBT_DEVICEARRIVAL, 1u << 25, L"arrival Z:"}};
    for (auto& v : vols) {
        vol.dbcv_unitmask = v.mask;
        LRESULT r = sendDev(gApp, v.code, &vol, &ans);
        check(ans && r == 0, L"%s (volume) handled, returns 0 (answered %d, result %ld)", v.what, ans, (long)r);
    }
    DEV_BROADCAST_PORT_A port = {};
    port.dbcp_size = sizeof port;
    port.dbcp_devicetype = DBT_DEVTYP_PORT;
    lstrcpyA(port.dbcp_name, "COM9");
    LRESULT r = sendDev(gApp, DBT_DEVICEARRIVAL, &port, &ans);
    check(
        ans && r == 0, L"arrival of a port (not a volume) handled, returns 0 (answered %d, result %ld)", ans, (long)r);
    r = sendDev(gApp, DBT_DEVICEREMOVECOMPLETE, &port, &ans);
    check(ans && r == 0, L"removal of a port handled, returns 0 (answered %d, result %ld)", ans, (long)r);
    r = sendDev(gApp, DBT_DEVNODES_CHANGED, NULL, &ans);
    check(ans && r == def7, L"DBT_DEVNODES_CHANGED gets DefWindowProc's answer %ld (answered %d, result %ld)",
        (long)def7, ans, (long)r);
    vol.dbcv_unitmask = 1u << 2;
    r = sendDev(gApp, DBT_DEVICEQUERYREMOVE, &vol, &ans);
    check(ans && r == defQ, L"DBT_DEVICEQUERYREMOVE gets DefWindowProc's answer %ld (answered %d, result %ld)",
        (long)defQ, ans, (long)r);
}

static void checkBroadcastNull()
{
    bool ans;
    LRESULT r = sendDev(gApp, DBT_DEVICEARRIVAL, NULL, &ans);
    check(ans && r == 0, L"arrival with lParam NULL handled, returns 0 (answered %d, result %ld)", ans, (long)r);
    r = sendDev(gApp, DBT_DEVICEREMOVECOMPLETE, NULL, &ans);
    check(ans && r == 0, L"removal with lParam NULL handled, returns 0 (answered %d, result %ld)", ans, (long)r);
}

// --- tray tooltip ---------------------------------------------------------------------------
// Reads the texts of the tools of the tray's tooltip windows (in the taskbar's process).
static std::wstring trayTooltips()
{
    HWND tray = FindWindowA("Shell_TrayWnd", NULL);
    if (!tray)
        return L"<no Shell_TrayWnd>";
    DWORD epid = pidOf(tray);
    HANDLE p = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, epid);
    BYTE* rem = p ? (BYTE*)VirtualAllocEx(p, NULL, 8192, MEM_COMMIT, PAGE_READWRITE) : NULL;
    if (!rem) {
        if (p)
            CloseHandle(p);
        return L"<no buffer in the taskbar's process>";
    }
    std::wstring all;
    for (HWND tt : topWindows(epid)) {
        if (classOf(tt) != L"tooltips_class32")
            continue;
        LRESULT n = SendMessageW(tt, TTM_GETTOOLCOUNT, 0, 0);
        for (LRESULT i = 0; i < n && i < 64; i++) {
            TTTOOLINFOW ti = {};
            ti.cbSize = sizeof ti;
            SIZE_T io;
            WriteProcessMemory(p, rem, &ti, sizeof ti, &io);
            if (!SendMessageW(tt, TTM_ENUMTOOLSW, i, (LPARAM)rem))
                continue;
            ReadProcessMemory(p, rem, &ti, sizeof ti, &io);
            wchar_t text[1024] = L"";
            WriteProcessMemory(p, rem + 4096, text, sizeof text, &io);
            ti.lpszText = (LPWSTR)(rem + 4096);
            WriteProcessMemory(p, rem, &ti, sizeof ti, &io);
            SendMessageW(tt, TTM_GETTEXTW, 1023, (LPARAM)rem);
            ReadProcessMemory(p, rem + 4096, text, sizeof text, &io);
            text[1023] = 0;
            all += esc(text) + L";";
        }
    }
    VirtualFreeEx(p, rem, 0, MEM_RELEASE);
    CloseHandle(p);
    return all;
}

// --- misc -----------------------------------------------------------------------------------
static void listWindows()
{
    for (HWND h : topWindows(0)) {
        DWORD pid = pidOf(h);
        wchar_t b[32];
        wsprintfW(b, L"pid %lu ", pid);
        info(L"%s%s", b, describe(h).c_str());
        if (classOf(h) == L"Shell_TrayWnd")
            for (HWND c : children(h))
                info(L"    child %s", describe(c).c_str());
    }
}

static int usage()
{
    outW(L"usage: driver.exe COMMAND [ARGS]\n"
         L"  startup | tooltip | tray-point | menu-open | menu-wait | menu-read HOOKDLL | menu-pick N "
         L"none|settings|about|exit\n"
         L"  about-cmd [HIWORD] | about-accel CHAR | settings N | settings-open |\n"
         L"  settings-close ok|okcmd|cancel|close|syscmd | reg K=0|1 ... | broadcast | broadcast-null |\n"
         L"  commands ID... | taskbar | close | exit-wait | resources EXEPATH | windows\n");
    return 2;
}

static int finish()
{
    outW(gFails ? L"RESULT FAIL\n" : L"RESULT PASS\n");
    return gFails ? 1 : 0;
}

int main(int argc, char** argv)
{
    gOut = GetStdHandle(STD_OUTPUT_HANDLE);
    if (argc < 2)
        return usage();
    std::string cmd = argv[1];
    info(L"driver: %hs, code page %u", cmd.c_str(), GetACP());

    if (cmd == "resources") {
        if (argc < 3)
            return usage();
        checkResources(argv[2]);
        return finish();
    }
    if (cmd == "tray-point") {
        // Where the newest tray icon is drawn: the right end of the taskbar.
        HWND tray = FindWindowA("Shell_TrayWnd", NULL);
        RECT rc = {};
        if (check(tray && GetWindowRect(tray, &rc), L"taskbar window found"))
            outW(L"POINT " + std::to_wstring(rc.right - 12) + L" " + std::to_wstring((rc.top + rc.bottom) / 2) + L"\n");
        return finish();
    }
    if (cmd == "windows") {
        listWindows();
        return finish();
    }
    if (cmd == "reg") {
        for (int i = 2; i < argc; i++) {
            int k = argv[i][0] - '0';
            bool want = argv[i][2] == '1';
            bool got = keyExists(k);
            check(got == want, L"HKCU\\SOFTWARE\\Kestrabin\\%d %hs (it %hs)", k, want ? "exists" : "is absent",
                got ? "exists" : "is absent");
        }
        return finish();
    }

    if (!findApp())
        return finish();

    if (cmd == "startup") {
        check(classOf(gApp) == L"MORVANTO", L"class MORVANTO (got %s)", classOf(gApp).c_str());
        check(textOf(gApp) == L"Morvanto", L"title Morvanto (got %s)", esc(textOf(gApp)).c_str());
        Sleep(500);
        check(!IsWindowVisible(gApp) && !(GetWindowLongW(gApp, GWL_STYLE) & WS_VISIBLE),
            L"main window not visible (style %lx)", (unsigned long)GetWindowLongW(gApp, GWL_STYLE));
        check(GetParent(gApp) == NULL && GetAncestor(gApp, GA_ROOT) == gApp, L"main window is top-level");
        check(waitIcon(true, 5000), L"tray icon (main window, 128) present: NIM_MODIFY succeeds");
        check(!iconPresent(gApp, 129), L"NIM_MODIFY fails for an unknown icon (main window, 129)");
        check(!iconPresent(GetDesktopWindow(), 128), L"NIM_MODIFY fails for an unknown icon (desktop, 128)");
        std::vector<HWND> vis = visibleNow();
        check(vis.empty(), L"no visible top-level window of the program:%s", describeVisible(gAppPid).c_str());
    } else if (cmd == "menu-open") {
        openMenu();
    } else if (cmd == "menu-wait") {
        DWORD t0 = now();
        while (!menuWindow() && now() - t0 < 5000)
            Sleep(50);
        check(menuWindow() != NULL, L"popup menu of the program open; visible:%s", describeVisible(gAppPid).c_str());
    } else if (cmd == "tooltip") {
        std::wstring want = esc(L"USBストレージの取り外し") + L";", got;
        DWORD t0 = now();
        while ((got = trayTooltips()).find(want) == std::wstring::npos && now() - t0 < 3000)
            Sleep(100);
        check(
            got.find(want) != std::wstring::npos, L"a tray tooltip reads %s (tooltips: %s)", want.c_str(), got.c_str());
    } else if (cmd == "menu-read") {
        if (argc < 3)
            return usage();
        if (openMenu()) {
            std::wstring t;
            if (readMenu(argv[2], t))
                checkMenuItems(t);
        }
    } else if (cmd == "menu-pick") {
        if (argc < 4)
            return usage();
        int n = argv[2][0] - '0';
        std::string effect = argv[3];
        std::vector<HWND> before = visibleNow();
        HWND m = openMenu();
        if (m) {
            std::vector<HWND> withMenu = visibleNow();
            for (int i = 0; i < n; i++)
                postKey(m, VK_DOWN);
            postKey(m, VK_RETURN);
            check(waitMenuClosed(5000), L"menu closes after %d x Down + Enter", n);
            if (effect == "none") {
                expectQuiet(before, 1000);
            } else if (effect == "settings") {
                std::vector<HWND> d = waitDialogs(kSettingsTitle, 1, 5000);
                check(d.size() == 1, L"one settings dialog appears; visible:%s", describeVisible(gAppPid).c_str());
                if (d.size() == 1)
                    checkSettings(d[0]);
            } else if (effect == "about") {
                checkAboutBox();
            } else if (effect == "exit") {
                expectExit(5000);
            } else
                return usage();
        }
    } else if (cmd == "about-cmd") {
        WORD hi = argc > 2 ? (WORD)strtoul(argv[2], NULL, 0) : 0;
        PostMessageA(gApp, WM_COMMAND, MAKEWPARAM(104, hi), 0);
        checkAboutBox();
        check(appAlive(), L"program alive after the About box");
    } else if (cmd == "about-accel") {
        if (argc < 3)
            return usage();
        sendAltChar(argv[2][0]);
        checkAboutBox();
        check(appAlive(), L"program alive after the About box");
    } else if (cmd == "settings") {
        int n = argc > 2 ? argv[2][0] - '0' : 1;
        for (int i = 0; i < n; i++)
            PostMessageA(gApp, WM_COMMAND, 106, 0);
        std::vector<HWND> d = waitDialogs(kSettingsTitle, n, 5000);
        Sleep(500);
        d = visibleOf(gAppPid, L"#32770", kSettingsTitle);
        check((int)d.size() == n, L"%d settings dialogs after %d x command 106 (got %d); visible:%s", n, n,
            (int)d.size(), describeVisible(gAppPid).c_str());
        for (HWND h : d)
            checkSettings(h);
    } else if (cmd == "settings-open") {
        PostMessageA(gApp, WM_COMMAND, 106, 0);
        std::vector<HWND> d = waitDialogs(kSettingsTitle, 1, 5000);
        check(d.size() == 1, L"settings dialog open; visible:%s", describeVisible(gAppPid).c_str());
    } else if (cmd == "settings-close") {
        if (argc < 3)
            return usage();
        std::string how = argv[2];
        std::vector<HWND> d = visibleOf(gAppPid, L"#32770", kSettingsTitle);
        if (d.empty()) {
            PostMessageA(gApp, WM_COMMAND, 106, 0);
            d = waitDialogs(kSettingsTitle, 1, 5000);
        }
        if (check(d.size() == 1, L"one settings dialog open (got %d)", (int)d.size())) {
            HWND h = d[0];
            DWORD_PTR r;
            if (how == "ok")
                SendMessageTimeoutA(GetDlgItem(h, IDOK), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &r);
            else if (how == "okcmd")
                PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(h, IDOK));
            else if (how == "cancel")
                SendMessageTimeoutA(GetDlgItem(h, IDCANCEL), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &r);
            else if (how == "close")
                PostMessageA(h, WM_CLOSE, 0, 0);
            else if (how == "syscmd")
                PostMessageA(h, WM_SYSCOMMAND, SC_CLOSE, 0);
            else
                return usage();
            check(waitGone(h, 5000), L"settings dialog closes (%hs)", how.c_str());
            Sleep(300);
            check(appAlive(), L"program alive");
        }
    } else if (cmd == "broadcast") {
        std::vector<HWND> before = visibleNow();
        checkBroadcasts();
        expectQuiet(before, 500);
    } else if (cmd == "broadcast-null") {
        std::vector<HWND> before = visibleNow();
        checkBroadcastNull();
        expectQuiet(before, 500);
    } else if (cmd == "commands") {
        std::vector<HWND> before = visibleNow();
        for (int i = 2; i < argc; i++) {
            DWORD id = strtoul(argv[i], NULL, 0);
            check(PostMessageA(gApp, WM_COMMAND, (WPARAM)(DWORD)id, 0) != 0, L"posted WM_COMMAND %hs", argv[i]);
        }
        expectQuiet(before, 1500);
    } else if (cmd == "taskbar") {
        check(waitIcon(true, 5000), L"icon present before");
        NOTIFYICONDATAA n = {};
        n.cbSize = sizeof n;
        n.hWnd = gApp;
        n.uID = 128;
        check(Shell_NotifyIconA(NIM_DELETE, &n) != FALSE, L"driver's NIM_DELETE of (main window, 128) succeeds");
        check(!iconPresent(gApp, 128), L"icon gone after NIM_DELETE");
        UINT tc = RegisterWindowMessageA("TaskbarCreated");
        DWORD_PTR r;
        check(PostMessageA(HWND_BROADCAST, tc, 0, 0) != 0, L"posted TaskbarCreated (%x) to HWND_BROADCAST", tc);
        (void)r;
        check(waitIcon(true, 5000), L"icon back after TaskbarCreated: NIM_MODIFY succeeds");
        check(appAlive(), L"program alive");
    } else if (cmd == "close") {
        PostMessageA(gApp, WM_CLOSE, 0, 0);
        expectExit(5000);
    } else if (cmd == "exit-wait") {
        expectExit(5000);
    } else {
        return usage();
    }
    return finish();
}
#endif
