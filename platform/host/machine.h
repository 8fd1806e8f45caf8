// The in-memory Windows behind the host build. Tests arrange it, inject
// faults, act through the program's functions or messages, then inspect it.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "win32_host.h"

namespace machine {

// A map for the few handles or blocks open at a time: a vector, so that opening
// and closing allocate nothing once it has grown.
template <class Key, class Value> struct SmallMap : std::vector<std::pair<Key, Value>> {
    using Base = std::vector<std::pair<Key, Value>>;
    typename Base::iterator find(const Key& key)
    {
        auto it = this->begin();
        while (it != this->end() && it->first != key)
            ++it;
        return it;
    }
    size_t count(const Key& key) { return find(key) != this->end(); }
    Value& operator[](const Key& key)
    {
        auto it = find(key);
        return it != this->end() ? it->second : (this->push_back({key, Value()}), this->back().second);
    }
    void erase(typename Base::iterator it)
    {
        *it = std::move(this->back());
        this->pop_back();
    }
    size_t erase(const Key& key)
    {
        auto it = find(key);
        return it == this->end() ? 0 : (erase(it), 1);
    }
};

// Kinds of platform call that a test can make fail.
enum class Fault {
    CreateFile,
    DeviceIoControl,
    ClassDevs,
    EnumInterfaces,
    InterfaceDetail,
    GetParent,
    DevNodeStatus,
    DeviceId,
    HeapAlloc,
    RegOpen,
    RegCreate,
    RegQuery,
    RegSet,
    RegDelete,
    CreateWindow,
    CreateDialog,
    CreatePopupMenu,
    AppendMenu,
    TrackPopupMenu,
    NotifyIcon,
    LoadImage,
    Count
};

struct Volume {
    bool openFails = false;
    bool queryFails = false;
    DWORD type = FILE_DEVICE_DISK;
    DWORD number = 0;
};

struct Interface {
    GUID interfaceClass = {};
    std::string path;
    DEVINST node = 0;
    bool present = true;
    bool detailSizeZero = false;
    bool fetchFails = false;
    bool openFails = false;
    bool queryFails = false;
    DWORD type = FILE_DEVICE_DISK;
    DWORD number = 0;
};

struct DeviceSet {
    GUID interfaceClass = {};
    std::vector<size_t> members; // indices into the machine's interfaces
};

struct Node {
    std::string instanceId;
    DEVINST parent = 0;
    ULONG status = 0;
    bool parentFails = false;
    bool statusFails = false;
    // Answers to the next removal requests, in order; then CR_SUCCESS.
    std::vector<CONFIGRET> removalAnswers;
};

struct RegValue {
    std::string name;
    DWORD type = REG_SZ;
    std::string data;
};

struct RegKey {
    std::string name;
    std::vector<RegValue> values; // in the order they were created, as Windows enumerates them
};

struct ListColumn {
    int fmt = 0;
    int width = 0;
};

struct ListRow {
    std::vector<std::string> texts;
    UINT state = 0;
    LPARAM param = 0;
};

struct Window {
    HWND handle = nullptr;
    std::string className;
    std::string title;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND parent = nullptr; // a child's parent, or a popup's owner
    bool child = false;
    int id = 0;
    WNDPROC proc = nullptr;
    DLGPROC dialogProc = nullptr;
    bool visible = false;
    bool destroyed = false;
    bool ended = false;
    INT_PTR endResult = 0;
    HMENU menu = nullptr;
    std::vector<HWND> children;
    int x = 0, y = 0, cx = 0, cy = 0;
    // A dialog's font, as its template names it.
    int fontSize = 0;
    std::string fontFace;
    // List-view state, for SysListView32 windows.
    DWORD listExStyle = 0;
    std::vector<ListColumn> columns;
    std::vector<ListRow> rows;
};

struct MenuItem {
    UINT flags = 0;
    UINT_PTR id = 0;
    bool hasText = false;
    std::string text; // bytes as passed (code page 932)
};

struct Menu {
    std::vector<MenuItem> items;
    bool destroyed = false;
};

struct ShownMenu {
    HMENU handle = nullptr;
    std::vector<MenuItem> items;
    UINT flags = 0;
    int x = 0, y = 0;
    HWND owner = nullptr;
    HWND foreground = nullptr; // when the menu opened: it closes properly only if the owner was foreground
};

struct MessageBoxRecord {
    HWND owner = nullptr;
    std::string text;
    std::string caption;
    UINT type = 0;
};

struct Call {
    std::string name;
    std::vector<long long> args;
    std::string text;
};

struct TrayIcon {
    NOTIFYICONDATAA record = {};
    int iconResource = 0; // the icon group the shown icon was loaded from
};

// One compiled resource from the .res file.
struct Resource {
    std::string type; // "#5" for an ordinal, else the name
    std::string name;
    WORD language = 0;
    std::string data;
};

struct Machine {
    // Storage and devices
    std::map<char, Volume> volumes;
    std::vector<Interface> interfaces;
    std::map<DEVINST, Node> nodes;
    DEVINST nextNode = 0x100;

    // Registry: HKEY_CURRENT_USER's keys by upper-case path
    std::map<std::string, RegKey> registry;

    // Clock and cursor
    DWORD now = 0;
    POINT cursor = {100, 200};

    // Window manager
    std::map<std::string, WNDCLASSEXA> classes;
    std::map<std::string, std::string> classNames; // upper-case -> as registered
    std::map<HWND, Window> windows;
    std::vector<HWND> windowOrder;
    std::deque<MSG> queue;
    bool quitPosted = false;
    int quitCode = 0;
    bool starved = false;
    std::map<HMENU, Menu> menus;
    std::vector<ShownMenu> shownMenus;
    std::vector<MessageBoxRecord> messageBoxes;
    std::map<std::pair<HWND, UINT>, TrayIcon> tray;
    std::map<std::string, UINT> registeredMessages;
    HWND foreground = nullptr;
    HWND focus = nullptr;
    bool painting = false; // between BeginPaint and EndPaint
    // What DefWindowProcA answers to messages it has nothing to do for
    // (Wine answers 0, also to WM_DEVICECHANGE).
    LRESULT defaultAnswer = 0;
    DWORD commonControls = 0;

    // What a test scripts: steps run when the message queue is empty, the
    // choice made in an open popup menu (an item index, or -1), and what
    // happens while a message box is open.
    std::deque<std::function<void()>> idleSteps;
    std::function<int(const ShownMenu&)> onMenu;
    std::function<void(const MessageBoxRecord&)> onMessageBox;

    // Faults: the n-th call of a kind (counted from 1) fails.
    std::set<int> failAt[(int)Fault::Count];
    int callCounts[(int)Fault::Count] = {};

    // Bookkeeping; the call log can be switched off where nothing reads it (fuzzing).
    bool logging = true;
    std::vector<Call> calls;
    std::vector<std::string> errors; // misuse of the platform by the program
    SmallMap<void*, size_t> heapBlocks;
    SmallMap<HANDLE, int> openFiles; // handle -> a volume's letter, or 256 + an interface's index
    SmallMap<HDEVINFO, DeviceSet> openSets;
    SmallMap<HKEY, std::pair<std::string, REGSAM>> openKeys; // path, access
    SmallMap<HICON, int> loadedImages; // destroyable icons -> group
    uintptr_t nextHandle = 0x10000;
};

Machine& M();
void Reset();

// Helpers for the stand-in's own files.
std::string Upper(const std::string& text);
uintptr_t NewHandle();
// Forgets a handle the program closes; closing one that is not open is misuse.
template <class Handles, class Handle> bool Release(Handles& handles, Handle handle, const char* call)
{
    if (handles.erase(handle))
        return true;
    M().errors.push_back(std::string(call) + ": not an open handle");
    return false;
}

// The module handle the program's resources belong to.
HINSTANCE Instance();

// Storage and devices
DEVINST AddNode(const char* instanceId, DEVINST parent, ULONG status);
Interface& AddInterface(const GUID& interfaceClass, DEVINST node, DWORD number, DWORD type = FILE_DEVICE_DISK);
struct UsbDrive {
    DEVINST disk;
    DEVINST usb;
};
// A USB stick: volume, disk interface, disk node under a USB device node.
UsbDrive AddUsbDrive(char letter, DWORD diskNumber, const char* diskId, const char* usbId,
    ULONG usbStatus = DN_REMOVABLE | DN_DISABLEABLE);
// A second volume on a disk that already exists (two slots of one reader share a USB node).
void AddVolume(char letter, DWORD diskNumber, DWORD type = FILE_DEVICE_DISK);

// Registry
void SetRegValue(const std::string& path, const std::string& name, DWORD type, const std::string& data);
void SetRegString(const std::string& path, const std::string& name, const std::string& text);
// The subkeys of a key as an export shows them: "name: value=type:bytes ...; " each, values in their order.
std::string ExportRegistry(const std::string& path);

// Faults and the call log
void FailCall(Fault kind, int nth);
bool ShouldFail(Fault kind);
int CallCount(Fault kind);
std::vector<Call> CallsNamed(const std::string& name);
void Record(const char* name, std::vector<long long> args = {}, const std::string& text = "");
// Logs a call; with the log switched off its arguments are not even evaluated.
#define Log(...) (machine::M().logging ? machine::Record(__VA_ARGS__) : void())

// Window manager
Window* FindWindowByHandle(HWND window);
std::vector<HWND> WindowsOfClass(const std::string& className);
HWND ChildById(HWND parent, int id);
void ClickButton(HWND dialog, int id);
// Files, device sets, registry keys, icons and menus the program has not released.
size_t OpenHandles();
// A window as a line: identifier, class, "title", style, extended style, x,y, cx x cy, has a menu, font.
std::string Describe(HWND window);
// A menu's items as lines "flags identifier text" ("-" for no text).
std::vector<std::string> MenuLines(const std::vector<MenuItem>& items);
// A list view's rows as lines "text|text|state image|item data".
std::vector<std::string> ListLines(HWND list);
void SetRowTicked(HWND list, int row, bool ticked);
// Runs queued messages until the queue is empty (a message loop's work).
void PumpMessages();

// Resources
const std::vector<Resource>& Resources();
// A resource as a resource script would write it, texts in UTF-8: a menu, accelerators, a string-table block,
// an icon group (each image WxH@bits, checked against the image itself), a version block, a manifest's execution
// level; other types raw.
std::string DescribeResource(const Resource& resource);
int IconGroupOf(HICON shared); // the group a LoadIconA handle came from, or 0
bool IsArrowCursor(HCURSOR cursor);
const Resource* FindResource(const std::string& type, const std::string& name);
std::string Utf16ToCp932(const std::u16string& text);
std::string Utf8ToCp932(const std::string& text);
std::string Utf16ToUtf8(const std::u16string& text);

// Reads a resource's data as the loader does: little-endian words, UTF-16
// texts, names and classes as an ordinal or a text; past its end, zeros.
struct ResourceReader {
    const std::string& data;
    size_t at = 0;
    WORD Word()
    {
        WORD value = at + 1 < data.size() ? (WORD)((unsigned char)data[at] | (unsigned char)data[at + 1] << 8) : 0;
        at += 2;
        return value;
    }
    DWORD Dword()
    {
        DWORD low = Word();
        return low | (DWORD)Word() << 16;
    }
    std::u16string Text()
    {
        std::u16string text;
        while (WORD c = Word())
            text += (char16_t)c;
        return text;
    }
    // 0xFFFF and the ordinal, or a text (returned in code page 932, the ordinal -1).
    std::string NameOrOrdinal(int* ordinal)
    {
        *ordinal = -1;
        if (at + 1 < data.size() && (unsigned char)data[at] == 0xFF && (unsigned char)data[at + 1] == 0xFF) {
            Word();
            *ordinal = Word();
            return std::string();
        }
        return Utf16ToCp932(Text());
    }
    void Align() { at = (at + 3) & ~(size_t)3; }
};

} // namespace machine
