// The simulated machine: volumes, device interfaces and device nodes from a description,
// answered by Windows' rules. A call Windows would refuse is refused and logged as "refuse".
#include "machine.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <vector>

// Windows' own record sizes, not the headers': the program must match them.
static const DWORD INTERFACE_DATA_SIZE = sizeof(void*) == 8 ? 32 : 28;
static const DWORD DETAIL_DATA_SIZE = sizeof(void*) == 8 ? 8 : 5;
static const DWORD DEVINFO_DATA_SIZE = sizeof(void*) == 8 ? 32 : 28;

static const char* const KINDS[] = {"disk", "cdrom", "floppy"};
static const GUID* const CLASSES[] = {&GUID_DEVINTERFACE_DISK, &GUID_DEVINTERFACE_CDROM, &GUID_DEVINTERFACE_FLOPPY};

struct Volume {
    char letter;
    std::string kind;
    unsigned number;
    bool empty;
};

struct Interface {
    std::string kind;
    unsigned number;
    unsigned node;
    int present;
};

struct Node {
    unsigned parent;
    unsigned status;
    std::string id;
    std::vector<unsigned> answers;
};

struct OpenDevice {
    bool used;
    bool fails;
    STORAGE_DEVICE_NUMBER number;
    std::string path;
};

struct DeviceSet {
    bool used;
    int kind;
};

static std::vector<Volume> volumes;
static std::vector<Interface> interfaces;
static std::map<unsigned, Node> nodes;
static std::vector<std::pair<std::string, std::string>> faults; // a call and which of them fails
static std::map<std::string, int, std::less<>> callCounts;
static std::map<unsigned, int> requests; // removal requests so far, per node
static std::set<unsigned> unplugged; // devices removed, until the reset
static bool mayQueryAndRemove; // SeLoadDriverPrivilege, which a standard user lacks
static OpenDevice opened[16];
static DeviceSet sets[8];

void SimLog(const char* format, ...)
{
    char line[4096];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    SimWrite(line);
}

static DWORD Refuse(const char* call, DWORD error)
{
    SimLog("refuse %s %x", call, (unsigned)error);
    return error;
}

static const Volume* FindVolume(char letter);

void SimDescribe(const char* description)
{
    const std::vector<Volume> before = volumes;
    volumes.clear();
    interfaces.clear();
    nodes.clear();
    faults.clear();
    mayQueryAndRemove = false;
    std::istringstream lines(description);
    for (std::string line, word; std::getline(lines, line);) {
        std::istringstream fields(line);
        fields >> word;
        if (word == "volume") {
            Volume& volume = volumes.emplace_back();
            std::string medium;
            fields >> volume.letter >> volume.kind >> volume.number >> medium;
            volume.empty = medium == "empty";
        } else if (word == "iface") {
            Interface& face = interfaces.emplace_back();
            fields >> face.kind >> face.number >> face.node >> face.present;
        } else if (word == "node") {
            unsigned key;
            fields >> key;
            Node& node = nodes[key];
            fields >> node.parent >> std::hex >> node.status >> node.id;
            for (unsigned answer; fields >> answer;)
                node.answers.push_back(answer);
        } else if (word == "fail") {
            faults.emplace_back();
            std::getline(fields >> faults.back().first >> std::ws, faults.back().second);
        } else if (word == "grant") {
            fields >> word;
            mayQueryAndRemove |= word == "SeLoadDriverPrivilege";
        }
    }
    // A medium taken out of a drive that stays, or put back in: the volume's media change.
    DWORD out = 0, in = 0;
    for (const Volume& was : before) {
        const Volume* now = FindVolume(was.letter);
        if (now && now->kind == was.kind && now->number == was.number && now->empty != was.empty)
            (now->empty ? out : in) |= 1u << (was.letter - 'A');
    }
    if (out)
        SimBroadcast(DBT_DEVICEREMOVECOMPLETE, out, DBTF_MEDIA);
    if (in)
        SimBroadcast(DBT_DEVICEARRIVAL, in, DBTF_MEDIA);
}

void SimReset(const char* description)
{
    volumes.clear();
    callCounts.clear();
    requests.clear();
    unplugged.clear();
    std::fill(opened, opened + 16, OpenDevice{});
    std::fill(sets, sets + 8, DeviceSet{});
    SimDescribe(description);
}

bool SimFails(const char* call, const char* subject)
{
    std::string nth = std::to_string(++callCounts[call]);
    // Logged, so that a test sees the program reach the failure it was given.
    for (const auto& fault : faults)
        if (fault.first == call && (fault.second == nth || (subject && fault.second == subject)))
            return SimLog("fail %s %s", call, fault.second.c_str()), true;
    return false;
}

int SimCount(const char* call)
{
    return callCounts[call];
}

int SimOpen()
{
    auto used = [](const auto& handle) { return handle.used; };
    return (int)(std::count_if(opened, opened + 16, used) + std::count_if(sets, sets + 8, used));
}

// --- volumes ----------------------------------------------------------------------------------
// A node is gone when it, or a node above it, was removed.
static bool Gone(unsigned node)
{
    for (int depth = 0; node && depth < 64; depth++) {
        if (unplugged.count(node))
            return true;
        auto found = nodes.find(node);
        node = found == nodes.end() ? 0 : found->second.parent;
    }
    return false;
}

static bool Present(const Interface& face)
{
    return face.present && !Gone(face.node);
}

// The interface class of a volume's drive: floppies and CD-ROM drives are numbered apart from disks.
static std::string ClassOf(const Volume& volume)
{
    return volume.kind == "floppy" || volume.kind == "cdrom" ? volume.kind : "disk";
}

// A volume goes with the drive it is on.
static const Volume* FindVolume(char letter)
{
    for (const Volume& volume : volumes) {
        bool gone = false;
        for (const Interface& face : interfaces)
            gone |= face.number == volume.number && face.kind == ClassOf(volume) && Gone(face.node);
        if (volume.letter == letter && !gone)
            return &volume;
    }
    return NULL;
}

DWORD WINAPI SIM_CALL(GetLogicalDriveStringsA)(DWORD size, LPSTR buffer)
{
    std::string strings;
    for (char letter = 'A'; letter <= 'Z'; letter++)
        if (FindVolume(letter))
            strings += std::string(1, letter) + ":\\" + '\0';
    // Too small: the size needed, terminator included, and nothing written.
    if (size < strings.size() + 1)
        return (DWORD)strings.size() + 1;
    memcpy(buffer, strings.c_str(), strings.size() + 1);
    return (DWORD)strings.size();
}

HANDLE WINAPI SIM_CALL(CreateFileA)(
    LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD how, DWORD, HANDLE)
{
    char kind[16] = "";
    unsigned number = 0, node = 0;
    bool volume = !strncmp(path, "\\\\.\\", 4) && path[4] && path[5] == ':' && !path[6];
    // The program opens nothing but volumes and the interface paths handed out here.
    if (!volume && sscanf(path, "\\\\?\\sim#%15[a-z]#%u#%u", kind, &number, &node) != 3)
        return Refuse("CreateFileA", ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
    // Without administrator rights Windows opens a volume for queries only, shared.
    if (access != 0 || (share & 3) != 3 || how != OPEN_EXISTING)
        return Refuse("CreateFileA", ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
    if (SimFails("CreateFileA", path))
        return INVALID_HANDLE_VALUE;
    const Volume* found = volume ? FindVolume(path[4]) : NULL;
    auto handedOut = [&](const Interface& face) { return face.kind == kind && face.node == node && Present(face); };
    if ((volume && !found) || (!volume && std::none_of(interfaces.begin(), interfaces.end(), handedOut)))
        return INVALID_HANDLE_VALUE;
    std::string type = found ? found->kind : kind;
    DWORD deviceType = type == "cdrom" ? FILE_DEVICE_CD_ROM : type == "other" ? FILE_DEVICE_UNKNOWN : FILE_DEVICE_DISK;
    OpenDevice device = {true, type == "fail", {deviceType, found ? found->number : number, 0}, path};
    OpenDevice* slot = std::find_if(opened, opened + 16, [](const OpenDevice& open) { return !open.used; });
    if (slot == opened + 16)
        return Refuse("CreateFileA", ERROR_TOO_MANY_OPEN_FILES), INVALID_HANDLE_VALUE;
    *slot = device;
    SimLog("open %s #%d", path, (int)(slot - opened));
    return slot;
}

static OpenDevice* Opened(HANDLE handle)
{
    OpenDevice* device = (OpenDevice*)handle;
    return device >= opened && device < opened + 16 ? device : NULL;
}

BOOL WINAPI SIM_CALL(DeviceIoControl)(
    HANDLE handle, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD done, LPOVERLAPPED overlap)
{
    OpenDevice* device = Opened(handle);
    if (!device || !device->used || code != IOCTL_STORAGE_GET_DEVICE_NUMBER || in || inSize || !done || overlap)
        return Refuse("DeviceIoControl", ERROR_INVALID_PARAMETER), FALSE;
    if (!out || outSize < sizeof(STORAGE_DEVICE_NUMBER) || device->fails ||
        SimFails("DeviceIoControl", device->path.c_str()))
        return FALSE;
    memcpy(out, &device->number, sizeof(STORAGE_DEVICE_NUMBER));
    *done = sizeof(STORAGE_DEVICE_NUMBER);
    return TRUE;
}

BOOL WINAPI SIM_CALL(CloseHandle)(HANDLE handle)
{
    OpenDevice* device = Opened(handle);
    if (!device || !device->used)
        return Refuse("CloseHandle", ERROR_INVALID_HANDLE), FALSE;
    device->used = false;
    SimLog("close #%d", (int)(device - opened));
    return TRUE;
}

// The NT device a drive letter names, as the object manager has it.
DWORD WINAPI SIM_CALL(QueryDosDeviceA)(LPCSTR name, LPSTR target, DWORD size)
{
    // Windows takes "X:", without the backslash.
    if (!name || !name[0] || name[1] != ':' || name[2] || !target)
        return Refuse("QueryDosDeviceA", ERROR_INVALID_PARAMETER), 0;
    const Volume* volume = FindVolume(name[0]);
    if (!volume || SimFails("QueryDosDeviceA", name))
        return 0;
    // KINDS' names.
    const char* const names[] = {"\\Device\\HarddiskVolume", "\\Device\\CdRom", "\\Device\\Floppy"};
    std::string device = names[std::find(KINDS, KINDS + 3, ClassOf(*volume)) - KINDS] + std::to_string(volume->number);
    // The mapping, then the terminator that ends the list of mappings.
    if (size < device.size() + 2)
        return 0;
    memcpy(target, device.c_str(), device.size() + 1);
    target[device.size() + 1] = 0;
    return (DWORD)device.size() + 2;
}

void WINAPI SIM_CALL(Sleep)(DWORD milliseconds)
{
    SimLog("sleep %u", (unsigned)milliseconds);
}

// --- device installation ----------------------------------------------------------------------
static DeviceSet* SetOf(HDEVINFO handle)
{
    DeviceSet* set = (DeviceSet*)handle;
    return set >= sets && set < sets + 8 && set->used ? set : NULL;
}

// The index-th interface of the set's class, as the machine has it now.
static const Interface* Member(const DeviceSet* set, DWORD index)
{
    for (const Interface& face : interfaces)
        if (face.kind == KINDS[set->kind] && Present(face) && index-- == 0)
            return &face;
    return NULL;
}

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* guid, PCSTR enumerator, HWND, DWORD flags)
{
    int kind = 0;
    while (kind < 3 && (!guid || !IsEqualGUID(*guid, *CLASSES[kind])))
        kind++;
    // The machine keeps present devices only, the only ones the program asks for.
    if (kind == 3 || enumerator || flags != (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE))
        return Refuse("SetupDiGetClassDevsA", ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
    DeviceSet* set = std::find_if(sets, sets + 8, [](const DeviceSet& made) { return !made.used; });
    if (SimFails("SetupDiGetClassDevsA", KINDS[kind]) || set == sets + 8)
        return INVALID_HANDLE_VALUE;
    *set = {true, kind};
    SimLog("set %s #%d", KINDS[kind], (int)(set - sets));
    return set;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(
    HDEVINFO handle, PSP_DEVINFO_DATA, const GUID* guid, DWORD index, PSP_DEVICE_INTERFACE_DATA data)
{
    DeviceSet* set = SetOf(handle);
    if (!set || !guid || !data || data->cbSize != INTERFACE_DATA_SIZE)
        return Refuse("SetupDiEnumDeviceInterfaces", set ? ERROR_INVALID_USER_BUFFER : ERROR_INVALID_HANDLE), FALSE;
    if (SimFails("SetupDiEnumDeviceInterfaces") || !IsEqualGUID(*guid, *CLASSES[set->kind]) || !Member(set, index))
        return FALSE;
    data->InterfaceClassGuid = *guid;
    data->Flags = SPINT_ACTIVE;
    data->Reserved = index + 1;
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO handle, PSP_DEVICE_INTERFACE_DATA data,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD size, PDWORD required, PSP_DEVINFO_DATA device)
{
    const char* call = "SetupDiGetDeviceInterfaceDetailA";
    DeviceSet* set = SetOf(handle);
    const Interface* face = set && data && data->Reserved ? Member(set, (DWORD)data->Reserved - 1) : NULL;
    if (!face)
        return Refuse(call, ERROR_INVALID_PARAMETER), FALSE;
    if (data->cbSize != INTERFACE_DATA_SIZE || (device && device->cbSize != DEVINFO_DATA_SIZE))
        return Refuse(call, ERROR_INVALID_USER_BUFFER), FALSE;
    char path[64];
    // The path follows cbSize in both layouts.
    DWORD needed = sizeof(DWORD) + 1 +
        snprintf(path, sizeof(path), "\\\\?\\sim#%s#%u#%u", face->kind.c_str(), face->number, face->node);
    if (SimFails(call, path))
        return FALSE;
    if (required)
        *required = needed;
    if (!detail && size == 0)
        return FALSE;
    if (!detail || detail->cbSize != DETAIL_DATA_SIZE || size < needed)
        return Refuse(call, ERROR_INVALID_USER_BUFFER), FALSE;
    memcpy(detail->DevicePath, path, needed - sizeof(DWORD));
    if (device)
        device->DevInst = face->node;
    return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO handle)
{
    DeviceSet* set = SetOf(handle);
    if (!set)
        return Refuse("SetupDiDestroyDeviceInfoList", ERROR_INVALID_HANDLE), FALSE;
    set->used = false;
    SimLog("unset #%d", (int)(set - sets));
    return TRUE;
}

// --- configuration manager: a node the machine does not have was never handed out --------------
// The node, when the machine has it and the call is not made to fail.
static CONFIGRET Look(const char* call, DEVINST node, const Node** found)
{
    auto known = nodes.find(node);
    if (known == nodes.end())
        return Refuse(call, CR_INVALID_DEVNODE);
    *found = &known->second;
    return SimFails(call, known->second.id.c_str()) ? CR_FAILURE : CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Parent(PDEVINST parent, DEVINST node, ULONG)
{
    // Windows writes -1 before it looks.
    *parent = (DEVINST)-1;
    const Node* found;
    if (CONFIGRET result = Look("CM_Get_Parent", node, &found))
        return result;
    if (!found->parent)
        return CR_NO_SUCH_DEVNODE;
    *parent = found->parent;
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_DevNode_Status(PULONG status, PULONG problem, DEVINST node, ULONG)
{
    const Node* found;
    if (CONFIGRET result = Look("CM_Get_DevNode_Status", node, &found))
        return result;
    *status = found->status;
    *problem = 0;
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Device_IDA(DEVINST node, PSTR buffer, ULONG length, ULONG)
{
    const Node* found;
    if (CONFIGRET result = Look("CM_Get_Device_IDA", node, &found))
        return result;
    if (found->id == "-")
        return CR_NO_SUCH_VALUE;
    ULONG size = (ULONG)found->id.size();
    // Too small: what fits is copied, without a terminator.
    memcpy(buffer, found->id.c_str(), size < length ? size + 1 : length);
    return size < length ? CR_SUCCESS : CR_BUFFER_SMALL;
}

// What Windows does once a device is removed: it and what hangs below it are gone, and so are
// the volumes on its drives; one broadcast names them all.
static void Unplug(unsigned device)
{
    DWORD before = 0, gone = 0;
    for (char letter = 'A'; letter <= 'Z'; letter++)
        before |= FindVolume(letter) ? 1u << (letter - 'A') : 0;
    unplugged.insert(device);
    for (char letter = 'A'; letter <= 'Z'; letter++)
        gone |= (before >> (letter - 'A') & 1) && !FindVolume(letter) ? 1u << (letter - 'A') : 0;
    if (gone)
        SimBroadcast(DBT_DEVICEREMOVECOMPLETE, gone, 0);
}

static CONFIGRET Remove(const char* call, DEVINST node, PPNP_VETO_TYPE veto, LPSTR name, ULONG length, ULONG flags)
{
    const Node* found;
    CONFIGRET answer = Look(call, node, &found);
    if (answer == CR_INVALID_DEVNODE)
        return answer;
    size_t attempt = requests[node]++;
    bool eject = strstr(call, "Eject") != NULL;
    if (answer == CR_SUCCESS && !eject && !mayQueryAndRemove)
        answer = CR_ACCESS_DENIED;
    else if (answer == CR_SUCCESS && attempt < found->answers.size())
        answer = found->answers[attempt];
    if (veto && answer != CR_SUCCESS)
        *veto = answer == CR_REMOVE_VETOED ? PNP_VetoOutstandingOpen : PNP_VetoTypeUnknown;
    SimLog("%s %u veto=%d name=%d length=%u flags=%x -> %x", eject ? "eject" : "query-remove", (unsigned)node,
        veto != NULL, name != NULL, (unsigned)length, (unsigned)flags, (unsigned)answer);
    if (answer == CR_SUCCESS)
        Unplug(node);
    return answer;
}

CONFIGRET WINAPI CM_Request_Device_EjectA(DEVINST node, PPNP_VETO_TYPE veto, LPSTR name, ULONG length, ULONG flags)
{
    return Remove("CM_Request_Device_EjectA", node, veto, name, length, flags);
}

CONFIGRET WINAPI CM_Query_And_Remove_SubTreeA(DEVINST node, PPNP_VETO_TYPE veto, LPSTR name, ULONG length, ULONG flags)
{
    return Remove("CM_Query_And_Remove_SubTreeA", node, veto, name, length, flags);
}
