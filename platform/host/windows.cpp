// The stand-in's window manager: classes, windows, the message queue,
// accelerators, popup menus, message boxes, dialogs from the compiled
// template, list views, the notification area and common controls.
#include <ctype.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "machine.h"

namespace machine {

Window* FindWindowByHandle(HWND handle)
{
    Machine& m = M();
    auto it = m.windows.find(handle);
    if (it == m.windows.end() || it->second.destroyed)
        return nullptr;
    return &it->second;
}

std::vector<HWND> WindowsOfClass(const std::string& className)
{
    std::vector<HWND> found;
    for (HWND handle : M().windowOrder) {
        Window* window = FindWindowByHandle(handle);
        if (window && strcasecmp(window->className.c_str(), className.c_str()) == 0)
            found.push_back(handle);
    }
    return found;
}

HWND ChildById(HWND parent, int id)
{
    Window* window = FindWindowByHandle(parent);
    if (!window)
        return nullptr;
    for (HWND child : window->children) {
        Window* control = FindWindowByHandle(child);
        if (control && control->id == id)
            return child;
    }
    return nullptr;
}

void ClickButton(HWND dialog, int id)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, 0), (LPARAM)ChildById(dialog, id));
}

size_t OpenHandles()
{
    Machine& m = M();
    size_t open = m.openFiles.size() + m.openSets.size() + m.openKeys.size() + m.loadedImages.size();
    for (auto& menu : m.menus)
        open += !menu.second.destroyed;
    return open;
}

std::string Describe(HWND handle)
{
    const Window* w = FindWindowByHandle(handle);
    if (!w)
        return "no window";
    char text[400];
    snprintf(text, sizeof(text), "%d %s \"%s\" %08x %x %d,%d %dx%d %d %d %s", w->id, Upper(w->className).c_str(),
        w->title.c_str(), (unsigned)w->style, (unsigned)w->exStyle, w->x, w->y, w->cx, w->cy, w->menu != nullptr,
        w->fontSize, w->fontFace.c_str());
    return text;
}

std::vector<std::string> MenuLines(const std::vector<MenuItem>& items)
{
    std::vector<std::string> lines;
    for (const MenuItem& item : items)
        lines.push_back(
            std::to_string(item.flags) + " " + std::to_string(item.id) + " " + (item.hasText ? item.text : "-"));
    return lines;
}

std::vector<std::string> ListLines(HWND list)
{
    std::vector<std::string> lines;
    const Window* window = FindWindowByHandle(list);
    for (const ListRow& row : window ? window->rows : std::vector<ListRow>()) {
        std::string line;
        for (const std::string& text : row.texts)
            line += text + "|";
        lines.push_back(line + std::to_string(row.state >> 12) + "|" + std::to_string(row.param));
    }
    return lines;
}

void SetRowTicked(HWND list, int row, bool ticked)
{
    Window* window = FindWindowByHandle(list);
    if (window && row >= 0 && row < (int)window->rows.size())
        window->rows[row].state =
            (window->rows[row].state & ~LVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(ticked ? 2 : 1);
}

void PumpMessages()
{
    Machine& m = M();
    while (!m.queue.empty()) {
        MSG message = m.queue.front();
        m.queue.pop_front();
        DispatchMessageA(&message);
    }
}

static HWND AddWindow(Window window)
{
    Machine& m = M();
    window.handle = (HWND)NewHandle();
    m.windows[window.handle] = window;
    m.windowOrder.push_back(window.handle);
    return window.handle;
}

// Messages of a list view (SysListView32). With check boxes on, every row
// shows state image 1 (the empty box) when it is inserted, whatever the insert
// asked for, and turning them on resets every existing row to it.
static LRESULT ListViewMessage(Window& list, UINT message, WPARAM wParam, LPARAM lParam)
{
    const LVITEMA* item = (const LVITEMA*)lParam;
    bool checkBoxes = (list.listExStyle & LVS_EX_CHECKBOXES) != 0;
    switch (message) {
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
        Log("LVM_SETEXTENDEDLISTVIEWSTYLE", {(long long)wParam, (long long)lParam});
        DWORD old = list.listExStyle;
        DWORD mask = wParam ? (DWORD)wParam : 0xFFFFFFFF;
        list.listExStyle = (list.listExStyle & ~mask) | ((DWORD)lParam & mask);
        if (!(old & LVS_EX_CHECKBOXES) && (list.listExStyle & LVS_EX_CHECKBOXES))
            for (ListRow& row : list.rows)
                row.state = (row.state & ~LVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(1);
        return old;
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE:
        return list.listExStyle;
    case LVM_INSERTCOLUMNA: {
        const LVCOLUMNA* column = (const LVCOLUMNA*)lParam;
        if (!column)
            return -1;
        Log("LVM_INSERTCOLUMNA", {(long long)wParam, column->mask, column->fmt});
        size_t at = wParam < list.columns.size() ? wParam : list.columns.size();
        ListColumn added;
        added.fmt = (column->mask & LVCF_FMT) ? column->fmt : 0;
        list.columns.insert(list.columns.begin() + at, added);
        return (LRESULT)at;
    }
    case LVM_SETCOLUMNWIDTH: {
        Log("LVM_SETCOLUMNWIDTH", {(long long)wParam, (long long)lParam});
        if (wParam >= list.columns.size())
            return FALSE;
        // Autosize fits the longest text; "use header" fits the (empty)
        // heading, or fills the rest of the control for the last column.
        int width = (short)LOWORD(lParam);
        if (width == LVSCW_AUTOSIZE) {
            width = 0;
            for (const ListRow& row : list.rows)
                if (wParam < row.texts.size() && (int)row.texts[wParam].size() * 6 + 12 > width)
                    width = (int)row.texts[wParam].size() * 6 + 12;
        } else if (width == LVSCW_AUTOSIZE_USEHEADER) {
            width = 12;
            if (wParam + 1 == list.columns.size()) {
                width = list.cx;
                for (size_t i = 0; i < wParam; i++)
                    width -= list.columns[i].width;
            }
        }
        list.columns[wParam].width = width;
        return TRUE;
    }
    case LVM_INSERTITEMA: {
        if (!item || item->iSubItem != 0 || item->iItem < 0)
            return -1;
        Log("LVM_INSERTITEMA", {(long long)wParam, item->mask, item->iItem, item->iSubItem, (long long)item->lParam});
        size_t at = (size_t)item->iItem < list.rows.size() ? (size_t)item->iItem : list.rows.size();
        ListRow row;
        row.texts.resize(list.columns.size() > 0 ? list.columns.size() : 1);
        if ((item->mask & LVIF_TEXT) && item->pszText)
            row.texts[0] = item->pszText;
        if (item->mask & LVIF_PARAM)
            row.param = item->lParam;
        if (item->mask & LVIF_STATE)
            row.state = item->state & item->stateMask;
        if (checkBoxes)
            row.state = (row.state & ~LVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(1);
        list.rows.insert(list.rows.begin() + at, row);
        return (LRESULT)at;
    }
    case LVM_SETITEMTEXTA: {
        if (!item || wParam >= list.rows.size() || item->iSubItem < 0 || (size_t)item->iSubItem >= list.columns.size())
            return FALSE;
        Log("LVM_SETITEMTEXTA", {(long long)wParam, item->iSubItem});
        ListRow& row = list.rows[wParam];
        if (row.texts.size() <= (size_t)item->iSubItem)
            row.texts.resize(item->iSubItem + 1);
        row.texts[item->iSubItem] = item->pszText ? item->pszText : "";
        return TRUE;
    }
    case LVM_SETITEMSTATE: {
        if (!item)
            return FALSE;
        Log("LVM_SETITEMSTATE", {(long long)wParam, item->state, item->stateMask});
        for (size_t i = 0; i < list.rows.size(); i++)
            if ((INT_PTR)wParam == -1 || i == wParam)
                list.rows[i].state = (list.rows[i].state & ~item->stateMask) | (item->state & item->stateMask);
        return (INT_PTR)wParam == -1 || wParam < list.rows.size();
    }
    case LVM_GETITEMCOUNT:
        return (LRESULT)list.rows.size();
    case LVM_GETITEMSTATE:
        Log("LVM_GETITEMSTATE", {(long long)wParam, (long long)lParam});
        return wParam < list.rows.size() ? (LRESULT)(list.rows[wParam].state & (UINT)lParam) : 0;
    case LVM_GETITEMTEXTA: {
        LVITEMA* text = (LVITEMA*)lParam;
        if (!text || !text->pszText || text->cchTextMax <= 0 || wParam >= list.rows.size())
            return 0;
        Log("LVM_GETITEMTEXTA", {(long long)wParam, text->iSubItem, text->cchTextMax});
        const ListRow& row = list.rows[wParam];
        std::string value = (size_t)text->iSubItem < row.texts.size() ? row.texts[text->iSubItem] : "";
        int copied = (int)value.size() < text->cchTextMax - 1 ? (int)value.size() : text->cchTextMax - 1;
        memcpy(text->pszText, value.data(), copied);
        text->pszText[copied] = 0;
        return copied;
    }
    }
    return 0;
}

// The dialog manager around a DLGPROC. What the procedure returns only says
// whether it handled the message; the sender gets DWLP_MSGRESULT (0 here),
// except for the few messages whose answer is the procedure's own.
static LRESULT DialogMessage(Window& dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND handle = dialog.handle;
    INT_PTR handled = dialog.dialogProc(handle, message, wParam, lParam);
    bool direct = message == WM_INITDIALOG || (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) ||
        message == WM_COMPAREITEM || message == WM_VKEYTOITEM || message == WM_CHARTOITEM ||
        message == WM_QUERYDRAGICON;
    if (handled)
        return direct ? handled : 0;
    // The caption's close button becomes a click on Cancel.
    if (message == WM_CLOSE && FindWindowByHandle(handle))
        PostMessageA(handle, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), (LPARAM)ChildById(handle, IDCANCEL));
    return 0;
}

static void DestroyTree(HWND handle)
{
    Machine& m = M();
    Window* window = FindWindowByHandle(handle);
    if (!window)
        return;
    SendMessageA(handle, WM_DESTROY, 0, 0);
    window = FindWindowByHandle(handle);
    if (!window)
        return;
    std::vector<HWND> children = window->children;
    for (HWND child : children)
        DestroyTree(child);
    // Owned popups (dialogs) go with their owner.
    for (HWND other : std::vector<HWND>(m.windowOrder)) {
        Window* owned = FindWindowByHandle(other);
        if (owned && !owned->child && owned->parent == handle)
            DestroyTree(other);
    }
    window = FindWindowByHandle(handle);
    if (window) {
        window->destroyed = true;
        window->visible = false;
    }
}

} // namespace machine

using namespace machine;

ATOM RegisterClassExA(const WNDCLASSEXA* windowClass)
{
    Machine& m = M();
    if (windowClass && m.logging) {
        const WNDCLASSEXA& c = *windowClass;
        // Icons by their group; the instance, the cursor: whether they are the program's module, the arrow.
        Log("RegisterClassExA",
            {c.style, c.cbClsExtra, c.cbWndExtra, c.hInstance == Instance(), IconGroupOf(c.hIcon),
                IconGroupOf(c.hIconSm), IsArrowCursor(c.hCursor), (long long)(uintptr_t)c.hbrBackground,
                (long long)(uintptr_t)c.lpszMenuName},
            c.lpszClassName ? c.lpszClassName : "");
    }
    if (!windowClass || windowClass->cbSize != sizeof(WNDCLASSEXA) || !windowClass->lpszClassName ||
        !windowClass->lpfnWndProc) {
        m.errors.push_back("RegisterClassExA: bad class record");
        return 0;
    }
    std::string name = Upper(windowClass->lpszClassName);
    if (name.empty() || m.classes.count(name))
        return 0;
    m.classes[name] = *windowClass;
    m.classNames[name] = windowClass->lpszClassName;
    return (ATOM)(0xC000 + m.classes.size());
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y, int width, int height,
    HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    Machine& m = M();
    Log("CreateWindowExA", {exStyle, style, x, y, width, height, (long long)(uintptr_t)parent},
        className ? className : "");
    if (!className || ShouldFail(Fault::CreateWindow))
        return nullptr;
    auto registered = m.classes.find(Upper(className));
    if (registered == m.classes.end())
        return nullptr;
    Window window;
    window.className = m.classNames[Upper(className)];
    window.title = title ? title : "";
    window.style = style;
    window.exStyle = exStyle;
    window.parent = parent;
    window.proc = registered->second.lpfnWndProc;
    window.visible = (style & WS_VISIBLE) != 0;
    window.menu = menu ? menu : (HMENU)registered->second.lpszMenuName;
    window.x = x;
    window.y = y;
    window.cx = width;
    window.cy = height;
    HWND handle = AddWindow(window);
    CREATESTRUCTA create = {param, instance, menu, parent, height, width, y, x, (LONG)style, title, className, exStyle};
    if (SendMessageA(handle, WM_CREATE, 0, (LPARAM)&create) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    return handle;
}

BOOL ShowWindow(HWND handle, int command)
{
    Log("ShowWindow", {(long long)(uintptr_t)handle, command});
    Window* window = FindWindowByHandle(handle);
    if (!window)
        return FALSE;
    BOOL wasVisible = window->visible;
    window->visible = command != SW_HIDE;
    return wasVisible;
}

BOOL UpdateWindow(HWND handle)
{
    Log("UpdateWindow", {(long long)(uintptr_t)handle});
    return FindWindowByHandle(handle) != nullptr;
}

BOOL DestroyWindow(HWND handle)
{
    Log("DestroyWindow", {(long long)(uintptr_t)handle});
    if (!FindWindowByHandle(handle))
        return FALSE;
    DestroyTree(handle);
    return TRUE;
}

LRESULT DefWindowProcA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    Log("DefWindowProcA", {(long long)(uintptr_t)handle, message, (long long)wParam, (long long)lParam});
    if (message == WM_CLOSE) {
        DestroyWindow(handle);
        return 0;
    }
    return M().defaultAnswer;
}

UINT RegisterWindowMessageA(LPCSTR name)
{
    Machine& m = M();
    Log("RegisterWindowMessageA", {}, name ? name : "");
    if (!name || !*name)
        return 0;
    std::string key = Upper(name);
    auto it = m.registeredMessages.find(key);
    if (it != m.registeredMessages.end())
        return it->second;
    UINT id = 0xC100 + (UINT)m.registeredMessages.size();
    m.registeredMessages[key] = id;
    return id;
}

LRESULT SendMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    Window* window = FindWindowByHandle(handle);
    if (!window)
        return 0;
    if (strcasecmp(window->className.c_str(), "SysListView32") == 0)
        return ListViewMessage(*window, message, wParam, lParam);
    if (window->dialogProc)
        return DialogMessage(*window, message, wParam, lParam);
    if (!window->proc)
        return 0;
    LRESULT result = window->proc(handle, message, wParam, lParam);
    if (message == WM_PAINT && M().painting)
        M().errors.push_back("WM_PAINT: BeginPaint without EndPaint");
    return result;
}

BOOL PostMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    Machine& m = M();
    Log("PostMessageA", {(long long)(uintptr_t)handle, message, (long long)wParam, (long long)lParam});
    if (handle == HWND_BROADCAST) {
        for (HWND top : m.windowOrder) {
            Window* window = FindWindowByHandle(top);
            if (window && !window->child)
                m.queue.push_back(MSG{top, message, wParam, lParam, m.now, m.cursor});
        }
        return TRUE;
    }
    if (handle && !FindWindowByHandle(handle))
        return FALSE;
    m.queue.push_back(MSG{handle, message, wParam, lParam, m.now, m.cursor});
    return TRUE;
}

void PostQuitMessage(int code)
{
    Log("PostQuitMessage", {code});
    M().quitPosted = true;
    M().quitCode = code;
}

BOOL GetMessageA(LPMSG message, HWND, UINT, UINT)
{
    Machine& m = M();
    for (;;) {
        if (!m.queue.empty()) {
            *message = m.queue.front();
            m.queue.pop_front();
            return TRUE;
        }
        // The quit message comes after everything posted before it.
        if (m.quitPosted) {
            m.quitPosted = false;
            *message = MSG{nullptr, WM_QUIT, (WPARAM)m.quitCode, 0, m.now, m.cursor};
            return FALSE;
        }
        if (m.idleSteps.empty()) {
            // Nothing left to happen: end the loop rather than wait forever.
            m.starved = true;
            *message = MSG{nullptr, WM_QUIT, (WPARAM)-1, 0, m.now, m.cursor};
            return FALSE;
        }
        std::function<void()> step = m.idleSteps.front();
        m.idleSteps.pop_front();
        step();
    }
}

BOOL TranslateMessage(const MSG*)
{
    return FALSE;
}

LRESULT DispatchMessageA(const MSG* message)
{
    if (!message || !message->hwnd)
        return 0;
    return SendMessageA(message->hwnd, message->message, message->wParam, message->lParam);
}

int TranslateAcceleratorA(HWND handle, HACCEL table, LPMSG message)
{
    if (!table || !message || !FindWindowByHandle(handle))
        return 0;
    const Resource* resource = (const Resource*)table;
    bool character = message->message == WM_CHAR || message->message == WM_SYSCHAR;
    bool alt = (message->lParam & (1 << 29)) != 0;
    const std::string& data = resource->data;
    for (size_t at = 0; at + 8 <= data.size(); at += 8) {
        WORD flags = (WORD)((unsigned char)data[at] | (unsigned char)data[at + 1] << 8);
        WORD key = (WORD)((unsigned char)data[at + 2] | (unsigned char)data[at + 3] << 8);
        WORD command = (WORD)((unsigned char)data[at + 4] | (unsigned char)data[at + 5] << 8);
        bool virtualKey = flags & 0x01;
        bool needsAlt = flags & 0x10;
        bool matches = virtualKey
            ? false
            : character && message->wParam == key && needsAlt == alt && (message->message == WM_SYSCHAR) == needsAlt;
        if (matches) {
            SendMessageA(handle, WM_COMMAND, MAKEWPARAM(command, 1), 0);
            return 1;
        }
        if (flags & 0x80)
            break;
    }
    return 0;
}

HDC BeginPaint(HWND, LPPAINTSTRUCT paint)
{
    Log("BeginPaint");
    if (paint)
        memset(paint, 0, sizeof(*paint));
    M().painting = true;
    return (HDC)(uintptr_t)0x3000;
}

BOOL EndPaint(HWND, const PAINTSTRUCT*)
{
    Log("EndPaint");
    if (!M().painting)
        M().errors.push_back("EndPaint without BeginPaint");
    M().painting = false;
    return TRUE;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    Machine& m = M();
    Log("MessageBoxA", {(long long)(uintptr_t)owner, type}, text ? text : "");
    MessageBoxRecord box{owner, text ? text : "", caption ? caption : "", type};
    m.messageBoxes.push_back(box);
    // Its own message loop runs while it is open.
    if (m.onMessageBox)
        m.onMessageBox(box);
    return IDOK;
}

BOOL GetCursorPos(LPPOINT point)
{
    Log("GetCursorPos");
    if (!point)
        return FALSE;
    *point = M().cursor;
    return TRUE;
}

HMENU CreatePopupMenu(void)
{
    Machine& m = M();
    Log("CreatePopupMenu");
    if (ShouldFail(Fault::CreatePopupMenu))
        return nullptr;
    HMENU menu = (HMENU)NewHandle();
    m.menus[menu] = Menu();
    return menu;
}

BOOL AppendMenuA(HMENU handle, UINT flags, UINT_PTR id, LPCSTR text)
{
    Machine& m = M();
    Log("AppendMenuA", {flags, (long long)id}, text && !(flags & MF_SEPARATOR) ? text : "");
    auto it = m.menus.find(handle);
    if (it == m.menus.end() || it->second.destroyed || ShouldFail(Fault::AppendMenu))
        return FALSE;
    MenuItem item;
    item.flags = flags;
    item.id = id;
    if (!(flags & MF_SEPARATOR) && text) {
        item.hasText = true;
        item.text = text;
    }
    it->second.items.push_back(item);
    return TRUE;
}

BOOL DestroyMenu(HMENU handle)
{
    Machine& m = M();
    Log("DestroyMenu");
    auto it = m.menus.find(handle);
    if (!handle)
        return FALSE;
    if (it == m.menus.end() || it->second.destroyed) {
        m.errors.push_back("DestroyMenu: not a live menu");
        return FALSE;
    }
    it->second.destroyed = true;
    return TRUE;
}

BOOL SetForegroundWindow(HWND handle)
{
    Log("SetForegroundWindow", {(long long)(uintptr_t)handle});
    if (!FindWindowByHandle(handle))
        return FALSE;
    M().foreground = handle;
    return TRUE;
}

BOOL TrackPopupMenu(HMENU handle, UINT flags, int x, int y, int, HWND owner, const RECT*)
{
    Machine& m = M();
    Log("TrackPopupMenu", {flags, x, y, (long long)(uintptr_t)owner});
    auto it = m.menus.find(handle);
    if (it == m.menus.end() || it->second.destroyed || !FindWindowByHandle(owner) || ShouldFail(Fault::TrackPopupMenu))
        return FALSE;
    ShownMenu shown{handle, it->second.items, flags, x, y, owner, m.foreground};
    m.shownMenus.push_back(shown);
    // The menu's own loop runs here: the test may deliver messages and choose.
    int chosen = m.onMenu ? m.onMenu(shown) : -1;
    if (chosen >= 0 && chosen < (int)shown.items.size()) {
        const MenuItem& item = shown.items[chosen];
        if (!(item.flags & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED)))
            PostMessageA(owner, WM_COMMAND, MAKEWPARAM(item.id, 0), 0);
    }
    return TRUE;
}

HWND CreateDialogParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC procedure, LPARAM param)
{
    Machine& m = M();
    Log("CreateDialogParamA", {(long long)(uintptr_t)name, (long long)(uintptr_t)owner, (long long)param});
    if (instance != Instance() || !procedure || ShouldFail(Fault::CreateDialog))
        return nullptr;
    std::string resourceName = IS_INTRESOURCE(name) ? "#" + std::to_string((unsigned)(uintptr_t)name) : name;
    const Resource* resource = FindResource("#5", resourceName);
    if (!resource)
        return nullptr;
    ResourceReader reader{resource->data};
    Window dialog;
    dialog.className = "#32770";
    dialog.style = reader.Dword();
    dialog.exStyle = reader.Dword();
    WORD count = reader.Word();
    dialog.x = (short)reader.Word();
    dialog.y = (short)reader.Word();
    dialog.cx = (short)reader.Word();
    dialog.cy = (short)reader.Word();
    int ordinal;
    std::string menu = reader.NameOrOrdinal(&ordinal);
    if (ordinal >= 0 || !menu.empty())
        dialog.menu = (HMENU)(uintptr_t)(ordinal >= 0 ? ordinal : 0xFFFF);
    std::string className = reader.NameOrOrdinal(&ordinal);
    if (ordinal >= 0 || !className.empty())
        dialog.className = ordinal >= 0 ? "#" + std::to_string(ordinal) : className;
    dialog.title = Utf16ToCp932(reader.Text());
    if (dialog.style & DS_SETFONT) {
        dialog.fontSize = reader.Word();
        dialog.fontFace = Utf16ToCp932(reader.Text());
    }
    dialog.parent = owner;
    dialog.dialogProc = procedure;
    HWND handle = AddWindow(dialog);
    for (WORD i = 0; i < count; i++) {
        reader.Align();
        Window control;
        control.child = true;
        control.parent = handle;
        control.style = reader.Dword();
        control.exStyle = reader.Dword();
        control.x = (short)reader.Word();
        control.y = (short)reader.Word();
        control.cx = (short)reader.Word();
        control.cy = (short)reader.Word();
        // Standard templates hold a 16-bit identifier, zero-extended.
        control.id = reader.Word();
        std::string className = reader.NameOrOrdinal(&ordinal);
        if (ordinal == 0x80)
            className = "Button";
        else if (ordinal == 0x82)
            className = "Static";
        else if (ordinal >= 0)
            className = "#" + std::to_string(ordinal);
        control.className = className;
        control.title = reader.NameOrOrdinal(&ordinal);
        WORD extra = reader.Word();
        reader.at += extra;
        control.visible = (control.style & WS_VISIBLE) != 0;
        HWND child = AddWindow(control);
        m.windows[handle].children.push_back(child);
    }
    // The first tab stop is offered the focus; it gets it only if the procedure answers TRUE.
    HWND first = nullptr;
    for (HWND child : m.windows[handle].children)
        if (!first && (m.windows[child].style & WS_TABSTOP))
            first = child;
    if (SendMessageA(handle, WM_INITDIALOG, (WPARAM)first, param))
        m.focus = first;
    Window* created = FindWindowByHandle(handle);
    if (!created)
        return nullptr;
    created->visible = (created->style & WS_VISIBLE) != 0;
    return handle;
}

HWND GetDlgItem(HWND dialog, int id)
{
    return ChildById(dialog, id);
}

BOOL EndDialog(HWND dialog, INT_PTR result)
{
    Log("EndDialog", {(long long)(uintptr_t)dialog, (long long)result});
    Machine& m = M();
    auto it = m.windows.find(dialog);
    if (it == m.windows.end() || !it->second.dialogProc)
        return FALSE;
    // A modeless dialog is only hidden; its owner must destroy it.
    it->second.ended = true;
    it->second.endResult = result;
    it->second.visible = false;
    return TRUE;
}

BOOL Shell_NotifyIconA(DWORD action, PNOTIFYICONDATAA data)
{
    Machine& m = M();
    if (data && m.logging) {
        // The balloon and state fields, all of them zero or not.
        NOTIFYICONDATAA rest = {};
        memcpy(rest.szInfo, data->szInfo, sizeof(rest.szInfo)), memcpy(rest.szInfoTitle, data->szInfoTitle, 64);
        rest.dwState = data->dwState, rest.dwStateMask = data->dwStateMask, rest.dwInfoFlags = data->dwInfoFlags;
        rest.guidItem = data->guidItem, rest.hBalloonIcon = data->hBalloonIcon;
        NOTIFYICONDATAA zero = {};
        Log("Shell_NotifyIconA",
            {action, (long long)(uintptr_t)data->hWnd, data->uID, data->uFlags, data->uCallbackMessage,
                m.loadedImages.count(data->hIcon) ? m.loadedImages[data->hIcon] : 0, data->uTimeout,
                memcmp(&rest, &zero, sizeof(rest)) != 0},
            data->szTip);
    }
    if (!data || data->cbSize != sizeof(NOTIFYICONDATAA)) {
        m.errors.push_back("Shell_NotifyIconA: wrong cbSize");
        return FALSE;
    }
    if (ShouldFail(Fault::NotifyIcon))
        return FALSE;
    std::pair<HWND, UINT> key{data->hWnd, data->uID};
    bool present = m.tray.count(key) > 0;
    switch (action) {
    case NIM_ADD:
    case NIM_MODIFY: {
        if (present == (action == NIM_ADD))
            return FALSE;
        TrayIcon icon;
        icon.record = *data;
        auto loaded = m.loadedImages.find(data->hIcon);
        icon.iconResource = loaded != m.loadedImages.end() ? loaded->second : 0;
        m.tray[key] = icon;
        return TRUE;
    }
    case NIM_DELETE:
        return m.tray.erase(key) > 0;
    }
    return FALSE;
}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* controls)
{
    Log("InitCommonControlsEx", {controls ? controls->dwSize : 0, controls ? controls->dwICC : 0});
    if (!controls || controls->dwSize != sizeof(INITCOMMONCONTROLSEX))
        return FALSE;
    M().commonControls |= controls->dwICC;
    return TRUE;
}
