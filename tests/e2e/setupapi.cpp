// A setupapi.dll that Wine loads into the real kestrabin.exe in place of its own (next to the
// exe, WINEDLLOVERRIDES=setupapi=n,b). It answers the program's device-installation and
// configuration-manager calls, and its volume calls, from a described machine, and logs what
// the program asked for, one line per event.
//
// The machine, a text file named by KESTRABIN_SIM_MACHINE and read again at every call:
//   volume LETTER disk|cdrom|fail NUMBER         fail: the volume's number query fails
//   iface disk|cdrom|floppy NUMBER NODE PRESENT  PRESENT 1 or 0
//   node NODE PARENT STATUS ID [CR...]           PARENT 0: none; STATUS hex; ID -: cannot be
//                                                read; CR: answers (hex) to successive removal
//                                                requests, the last repeating; none: success
// The log is named by KESTRABIN_SIM_LOG. A line "refuse CALL ERROR" is a call Windows refuses.
#define _SETUPAPI_
#define _CFGMGR32_
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <initguid.h>
#include <winioctl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define EXPORT extern "C" __declspec(dllexport)

// Windows' own record sizes, not the headers': the program must match them.
#ifdef _WIN64
enum { INTERFACE_DATA_SIZE = 32, DETAIL_DATA_SIZE = 8, DEVINFO_DATA_SIZE = 32 };
#else
enum { INTERFACE_DATA_SIZE = 28, DETAIL_DATA_SIZE = 5, DEVINFO_DATA_SIZE = 28 };
#endif

static const char* const KINDS[] = {"disk", "cdrom", "floppy"};
static const GUID* const CLASSES[] = {&GUID_DEVINTERFACE_DISK, &GUID_DEVINTERFACE_CDROM, &GUID_DEVINTERFACE_FLOPPY};

// Reads the index-th machine line that format matches with at least least fields; returns
// the number of fields read, or 0 when there is no such line.
static int Scan(int least, int index, const char* format, ...)
{
    char line[300];
    FILE* file = fopen(getenv("KESTRABIN_SIM_MACHINE"), "r");
    int fields = 0;
    while (file && !fields && fgets(line, sizeof(line), file)) {
        va_list args;
        va_start(args, format);
        int read = vsscanf(line, format, args);
        va_end(args);
        if (read >= least && index-- == 0)
            fields = read;
    }
    if (file)
        fclose(file);
    return fields;
}

struct Node {
    DEVINST parent;
    ULONG status;
    char id[200];
    CONFIGRET answers[4];
    int answered;
};

static int FindNode(DEVINST node, Node* n)
{
    DEVINST key;
    CONFIGRET* a = n->answers;
    for (int line = 0;; line++) {
        int fields = Scan(4, line, "node %lu %lu %lx %199s %lx %lx %lx %lx", &key, &n->parent, &n->status, n->id, a,
            a + 1, a + 2, a + 3);
        n->answered = fields - 4;
        if (!fields || key == node)
            return fields != 0;
    }
}

static void Log(const char* format, ...)
{
    FILE* file = fopen(getenv("KESTRABIN_SIM_LOG"), "ab");
    va_list args;
    va_start(args, format);
    vfprintf(file, format, args);
    va_end(args);
    fputc('\n', file);
    fclose(file);
}

static DWORD Refuse(const char* call, DWORD error)
{
    Log("refuse %s %lx", call, error);
    SetLastError(error);
    return error;
}

// --- volumes and interfaces, through the exe's own import entries ---------------------------
// (This DLL's own calls reach the platform through its own import entries.)
struct OpenDevice {
    int used, fails;
    STORAGE_DEVICE_NUMBER number;
};
static OpenDevice opened[16];

static DWORD WINAPI SimGetLogicalDriveStringsA(DWORD size, LPSTR buffer)
{
    char letters[27] = "";
    DWORD count = 0;
    while (count < 26 && Scan(1, count, "volume %c", &letters[count]))
        count++;
    if (size < 4 * count + 1)
        return 4 * count + 1;
    for (DWORD i = 0; i <= count; i++)
        sprintf(buffer + 4 * i, i < count ? "%c:\\" : "", letters[i]);
    return 4 * count;
}

static HANDLE WINAPI SimCreateFileA(
    LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD how, DWORD flags, HANDLE model)
{
    char format[64], kind[16] = "";
    int volume = !strncmp(path, "\\\\.\\", 4) && path[4] && path[5] == ':' && !path[6];
    OpenDevice device = {1, 0, {FILE_DEVICE_DISK, 0, 0}};
    if (!volume && sscanf(path, "\\\\?\\sim#%15[a-z]#%lu", kind, &device.number.DeviceNumber) != 2)
        return CreateFileA(path, access, share, security, how, flags, model);
    // Without administrator rights Windows opens a volume for queries only, shared.
    if (access != 0 || (share & 3) != 3 || how != OPEN_EXISTING)
        return Refuse("CreateFileA", ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
    sprintf(format, "volume %c %%15s %%lu", path[4]);
    if (volume && !Scan(2, 0, format, kind, &device.number.DeviceNumber))
        return SetLastError(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
    device.fails = !strcmp(kind, "fail");
    if (!strcmp(kind, "cdrom"))
        device.number.DeviceType = FILE_DEVICE_CD_ROM;
    for (int slot = 0; slot < 16; slot++) {
        if (!opened[slot].used) {
            opened[slot] = device;
            Log("open %s #%d", path, slot);
            return &opened[slot];
        }
    }
    return Refuse("CreateFileA", ERROR_TOO_MANY_OPEN_FILES), INVALID_HANDLE_VALUE;
}

static OpenDevice* Opened(HANDLE handle)
{
    OpenDevice* device = (OpenDevice*)handle;
    return device >= opened && device < opened + 16 ? device : NULL;
}

static BOOL WINAPI SimDeviceIoControl(
    HANDLE handle, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD done, LPOVERLAPPED overlap)
{
    OpenDevice* device = Opened(handle);
    if (!device)
        return DeviceIoControl(handle, code, in, inSize, out, outSize, done, overlap);
    if (!device->used || code != IOCTL_STORAGE_GET_DEVICE_NUMBER || !out || outSize < 12 || !done)
        return Refuse("DeviceIoControl", ERROR_INVALID_PARAMETER), FALSE;
    if (device->fails)
        return SetLastError(ERROR_INVALID_FUNCTION), FALSE;
    memcpy(out, &device->number, sizeof(STORAGE_DEVICE_NUMBER));
    *done = sizeof(STORAGE_DEVICE_NUMBER);
    return TRUE;
}

static BOOL WINAPI SimCloseHandle(HANDLE handle)
{
    OpenDevice* device = Opened(handle);
    if (!device)
        return CloseHandle(handle);
    if (!device->used)
        return Refuse("CloseHandle", ERROR_INVALID_HANDLE), FALSE;
    device->used = 0;
    Log("close #%d", (int)(device - opened));
    return TRUE;
}

static void WINAPI SimSleep(DWORD milliseconds)
{
    Log("sleep %lu", milliseconds);
    Sleep(milliseconds);
}

// --- what the user would see, read inside the process ---------------------------------------
static BOOL WINAPI SimTrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND owner, const RECT* rect)
{
    char line[4096];
    int length = sprintf(line, "menu %x", flags);
    for (int i = 0; i < GetMenuItemCount(menu) && length < 3500; i++) {
        char text[256] = "";
        GetMenuStringA(menu, i, text, sizeof(text), MF_BYPOSITION);
        UINT state = GetMenuState(menu, i, MF_BYPOSITION);
        // Wine greys separators; what else a separator carries means nothing.
        if (state & MF_SEPARATOR)
            length += sprintf(line + length, " [-]");
        else
            length += sprintf(line + length, " [%x %x %s]", GetMenuItemID(menu, i), state, text);
    }
    Log("%s", line);
    return TrackPopupMenu(menu, flags, x, y, reserved, owner, rect);
}

// The settings list as the real list view holds it once the dialog has filled it.
static HWND WINAPI SimCreateDialogParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc, LPARAM param)
{
    HWND dialog = CreateDialogParamA(instance, name, owner, proc, param);
    HWND list = GetDlgItem(dialog, 40001);
    char line[4096];
    int length = sprintf(line, "rows");
    for (int row = 0; list && row < SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) && length < 3500; row++) {
        char text[2][128] = {};
        for (int column = 0; column < 2; column++)
            ListView_GetItemText(list, row, column, text[column], sizeof(text[column]));
        LRESULT state = SendMessageA(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK) >> 12;
        length += sprintf(line + length, " [%d %s %s]", (int)state, text[0], text[1]);
    }
    Log("%s", line);
    return dialog;
}

static BOOL WINAPI SimShell_NotifyIconA(DWORD message, PNOTIFYICONDATAA data)
{
    Log("notify %lu %u %x %s", message, data->uID, data->uFlags, data->szTip);
    return Shell_NotifyIconA(message, data);
}

// --- device installation --------------------------------------------------------------------
struct DeviceSet {
    int used, kind, presentOnly;
};
static DeviceSet sets[8];

static DeviceSet* SetOf(HDEVINFO handle)
{
    DeviceSet* set = (DeviceSet*)handle;
    return set >= sets && set < sets + 8 && set->used ? set : NULL;
}

// The index-th interface of the set's class, as the machine has it now.
static int Member(const DeviceSet* set, DWORD index, DWORD* number, DEVINST* node)
{
    char kind[16];
    int present;
    for (int line = 0; Scan(4, line, "iface %15s %lu %lu %d", kind, number, node, &present); line++)
        if (!strcmp(kind, KINDS[set->kind]) && (present || !set->presentOnly) && index-- == 0)
            return 1;
    return 0;
}

EXPORT HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* guid, PCSTR enumerator, HWND, DWORD flags)
{
    int kind = 0;
    while (kind < 3 && (!guid || !IsEqualGUID(*guid, *CLASSES[kind])))
        kind++;
    if (kind == 3 || enumerator || !(flags & DIGCF_DEVICEINTERFACE))
        return Refuse("SetupDiGetClassDevsA", ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
    for (int slot = 0; slot < 8; slot++) {
        if (!sets[slot].used) {
            sets[slot] = {1, kind, (flags & DIGCF_PRESENT) != 0};
            Log("set %s #%d", KINDS[kind], slot);
            return &sets[slot];
        }
    }
    return Refuse("SetupDiGetClassDevsA", ERROR_NOT_ENOUGH_MEMORY), INVALID_HANDLE_VALUE;
}

EXPORT BOOL WINAPI SetupDiEnumDeviceInterfaces(
    HDEVINFO handle, PSP_DEVINFO_DATA, const GUID* guid, DWORD index, PSP_DEVICE_INTERFACE_DATA data)
{
    DeviceSet* set = SetOf(handle);
    DWORD number;
    DEVINST node;
    if (!set || !guid || !data || data->cbSize != INTERFACE_DATA_SIZE)
        return Refuse("SetupDiEnumDeviceInterfaces", set ? ERROR_INVALID_USER_BUFFER : ERROR_INVALID_HANDLE), FALSE;
    if (!IsEqualGUID(*guid, *CLASSES[set->kind]) || !Member(set, index, &number, &node))
        return SetLastError(ERROR_NO_MORE_ITEMS), FALSE;
    data->InterfaceClassGuid = *guid;
    data->Flags = SPINT_ACTIVE;
    data->Reserved = index + 1;
    return TRUE;
}

EXPORT BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO handle, PSP_DEVICE_INTERFACE_DATA data,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD size, PDWORD required, PSP_DEVINFO_DATA device)
{
    const char* call = "SetupDiGetDeviceInterfaceDetailA";
    DeviceSet* set = SetOf(handle);
    DWORD number;
    DEVINST node;
    if (!set || !data || !data->Reserved || !Member(set, data->Reserved - 1, &number, &node))
        return Refuse(call, ERROR_INVALID_PARAMETER), FALSE;
    if (data->cbSize != INTERFACE_DATA_SIZE || (device && device->cbSize != DEVINFO_DATA_SIZE))
        return Refuse(call, ERROR_INVALID_USER_BUFFER), FALSE;
    char path[64];
    // The path follows cbSize in both layouts.
    DWORD needed = sizeof(DWORD) + 1 + sprintf(path, "\\\\?\\sim#%s#%lu", KINDS[set->kind], number);
    if (required)
        *required = needed;
    if (!detail && size == 0)
        return SetLastError(ERROR_INSUFFICIENT_BUFFER), FALSE;
    if (!detail || detail->cbSize != DETAIL_DATA_SIZE)
        return Refuse(call, ERROR_INVALID_USER_BUFFER), FALSE;
    if (size < needed)
        return Refuse(call, ERROR_INSUFFICIENT_BUFFER), FALSE;
    strcpy(detail->DevicePath, path);
    if (device)
        device->DevInst = node;
    return TRUE;
}

EXPORT BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO handle)
{
    DeviceSet* set = SetOf(handle);
    if (!set)
        return Refuse("SetupDiDestroyDeviceInfoList", ERROR_INVALID_HANDLE), FALSE;
    set->used = 0;
    Log("unset #%d", (int)(set - sets));
    return TRUE;
}

// --- configuration manager: a node the machine does not have was never handed out ----------
EXPORT CONFIGRET WINAPI CM_Get_Parent(PDEVINST parent, DEVINST node, ULONG)
{
    Node n;
    // Windows' cfgmgr32 writes -1 before it looks.
    *parent = (DEVINST)-1;
    if (!FindNode(node, &n))
        return Refuse("CM_Get_Parent", CR_INVALID_DEVNODE);
    if (!n.parent)
        return CR_NO_SUCH_DEVNODE;
    *parent = n.parent;
    return CR_SUCCESS;
}

EXPORT CONFIGRET WINAPI CM_Get_DevNode_Status(PULONG status, PULONG problem, DEVINST node, ULONG)
{
    Node n;
    if (!FindNode(node, &n))
        return Refuse("CM_Get_DevNode_Status", CR_INVALID_DEVNODE);
    *status = n.status;
    *problem = 0;
    return CR_SUCCESS;
}

EXPORT CONFIGRET WINAPI CM_Get_Device_IDA(DEVINST node, PCHAR buffer, ULONG length, ULONG)
{
    Node n;
    if (!FindNode(node, &n))
        return Refuse("CM_Get_Device_IDA", CR_INVALID_DEVNODE);
    if (!strcmp(n.id, "-"))
        return CR_NO_SUCH_VALUE;
    ULONG size = (ULONG)strlen(n.id);
    // Too small: what fits is copied, without a terminator.
    memcpy(buffer, n.id, size < length ? size + 1 : length);
    return size < length ? CR_SUCCESS : Refuse("CM_Get_Device_IDA", CR_BUFFER_SMALL);
}

static CONFIGRET Remove(const char* call, DEVINST node, PPNP_VETO_TYPE veto, LPSTR name, ULONG length, ULONG flags)
{
    static DEVINST requested[64];
    static int count;
    Node n;
    if (!FindNode(node, &n))
        return Refuse(call, CR_INVALID_DEVNODE);
    int attempt = 0;
    for (int i = 0; i < count; i++)
        attempt += requested[i] == node;
    requested[count < 63 ? count++ : count] = node;
    CONFIGRET answer = n.answered ? n.answers[attempt < n.answered ? attempt : n.answered - 1] : CR_SUCCESS;
    if (veto && answer != CR_SUCCESS)
        *veto = PNP_VetoOutstandingOpen;
    Log("%s %lu veto=%d name=%d length=%lu flags=%lx -> %lx", call, node, veto != NULL, name != NULL, length, flags,
        answer);
    return answer;
}

EXPORT CONFIGRET WINAPI CM_Request_Device_EjectA(
    DEVINST node, PPNP_VETO_TYPE veto, LPSTR name, ULONG length, ULONG flags)
{
    return Remove("eject", node, veto, name, length, flags);
}

EXPORT CONFIGRET WINAPI CM_Query_And_Remove_SubTreeA(
    DEVINST node, PPNP_VETO_TYPE veto, LPSTR name, ULONG length, ULONG flags)
{
    return Remove("query-remove", node, veto, name, length, flags);
}

// The exe's import entries are bound before this runs, to the same functions as this DLL's
// own: the entries that hold one of the hooked functions are pointed here.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    struct {
        void* platform;
        void* replacement;
    } hooks[] = {{(void*)GetLogicalDriveStringsA, (void*)SimGetLogicalDriveStringsA},
        {(void*)CreateFileA, (void*)SimCreateFileA}, {(void*)DeviceIoControl, (void*)SimDeviceIoControl},
        {(void*)CloseHandle, (void*)SimCloseHandle}, {(void*)Sleep, (void*)SimSleep},
        {(void*)TrackPopupMenu, (void*)SimTrackPopupMenu}, {(void*)CreateDialogParamA, (void*)SimCreateDialogParamA},
        {(void*)Shell_NotifyIconA, (void*)SimShell_NotifyIconA}};
    BYTE* base = (BYTE*)GetModuleHandleA(NULL);
    IMAGE_NT_HEADERS* headers = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    DWORD imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto* dll = (IMAGE_IMPORT_DESCRIPTOR*)(base + imports); reason == DLL_PROCESS_ATTACH && dll->Name; dll++) {
        for (void** slot = (void**)(base + dll->FirstThunk); *slot; slot++) {
            for (auto& hook : hooks) {
                DWORD protection;
                if (*slot == hook.platform && VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection)) {
                    *slot = hook.replacement;
                    VirtualProtect(slot, sizeof(*slot), protection, &protection);
                }
            }
        }
    }
    return TRUE;
}
