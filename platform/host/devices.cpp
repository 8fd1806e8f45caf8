// The stand-in's device tree: interface classes (SETUPAPI) and device nodes
// (the configuration manager).
#include <stdio.h>
#include <string.h>

#include "machine.h"

const GUID GUID_DEVINTERFACE_DISK = {0x53f56307, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
const GUID GUID_DEVINTERFACE_CDROM = {0x53f56308, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
const GUID GUID_DEVINTERFACE_FLOPPY = {0x53f56311, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};

namespace machine {

DEVINST AddNode(const char* instanceId, DEVINST parent, ULONG status)
{
    Machine& m = M();
    DEVINST node = m.nextNode++;
    Node& added = m.nodes[node];
    added.instanceId = instanceId ? instanceId : "";
    added.parent = parent;
    added.status = status;
    return node;
}

Interface& AddInterface(const GUID& interfaceClass, DEVINST node, DWORD number, DWORD type)
{
    Machine& m = M();
    Interface device;
    device.interfaceClass = interfaceClass;
    device.node = node;
    device.number = number;
    device.type = type;
    char path[128];
    snprintf(path, sizeof(path), "\\\\?\\stand-in#device#%u#{%08x}", (unsigned)node, interfaceClass.Data1);
    device.path = path;
    m.interfaces.push_back(device);
    return m.interfaces.back();
}

void AddVolume(char letter, DWORD diskNumber, DWORD type)
{
    Volume volume;
    volume.type = type;
    volume.number = diskNumber;
    M().volumes[letter] = volume;
}

UsbDrive AddUsbDrive(char letter, DWORD diskNumber, const char* diskId, const char* usbId, ULONG usbStatus)
{
    UsbDrive drive;
    drive.usb = AddNode(usbId, 1, usbStatus);
    drive.disk = AddNode(diskId, drive.usb, DN_REMOVABLE);
    AddInterface(GUID_DEVINTERFACE_DISK, drive.disk, diskNumber);
    AddVolume(letter, diskNumber);
    return drive;
}

static bool SameGuid(const GUID& a, const GUID& b)
{
    return memcmp(&a, &b, sizeof(GUID)) == 0;
}

} // namespace machine

using namespace machine;

HDEVINFO SetupDiGetClassDevsA(const GUID* interfaceClass, LPCSTR enumerator, HWND parent, DWORD flags)
{
    Machine& m = M();
    Log("SetupDiGetClassDevsA", {flags, enumerator != nullptr, parent != nullptr},
        interfaceClass ? std::to_string(interfaceClass->Data1) : "");
    if (!interfaceClass || !(flags & DIGCF_DEVICEINTERFACE) || ShouldFail(Fault::ClassDevs))
        return INVALID_HANDLE_VALUE;
    DeviceSet set;
    set.interfaceClass = *interfaceClass;
    set.members.reserve(m.interfaces.size());
    for (size_t i = 0; i < m.interfaces.size(); i++) {
        const Interface& device = m.interfaces[i];
        if (SameGuid(device.interfaceClass, *interfaceClass) && (device.present || !(flags & DIGCF_PRESENT)))
            set.members.push_back(i);
    }
    HDEVINFO handle = (HDEVINFO)NewHandle();
    m.openSets[handle] = set;
    return handle;
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO devices, PSP_DEVINFO_DATA deviceInfo, const GUID* interfaceClass, DWORD index,
    PSP_DEVICE_INTERFACE_DATA data)
{
    Machine& m = M();
    Log("SetupDiEnumDeviceInterfaces", {index, deviceInfo != nullptr});
    if (!m.openSets.count(devices)) {
        m.errors.push_back("SetupDiEnumDeviceInterfaces: not an open set");
        return FALSE;
    }
    if (!data || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        m.errors.push_back("SetupDiEnumDeviceInterfaces: wrong cbSize");
        return FALSE;
    }
    const DeviceSet& set = m.openSets[devices];
    if (!interfaceClass || !SameGuid(*interfaceClass, set.interfaceClass) || index >= set.members.size())
        return FALSE;
    if (ShouldFail(Fault::EnumInterfaces))
        return FALSE;
    data->InterfaceClassGuid = set.interfaceClass;
    data->Flags = 1;
    data->Reserved = set.members[index] + 1;
    return TRUE;
}

BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO devices, PSP_DEVICE_INTERFACE_DATA data,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detailSize, PDWORD requiredSize, PSP_DEVINFO_DATA deviceInfo)
{
    Machine& m = M();
    Log("SetupDiGetDeviceInterfaceDetailA", {detailSize});
    if (!m.openSets.count(devices) || !data || data->Reserved == 0 || data->Reserved > m.interfaces.size()) {
        m.errors.push_back("SetupDiGetDeviceInterfaceDetailA: bad set or interface");
        return FALSE;
    }
    const Interface& device = m.interfaces[data->Reserved - 1];
    DWORD needed = (DWORD)(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + device.path.size() + 1);
    if (device.detailSizeZero)
        needed = 0;
    if (!detail) {
        if (requiredSize)
            *requiredSize = needed;
        return FALSE; // ERROR_INSUFFICIENT_BUFFER
    }
    if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        m.errors.push_back("SetupDiGetDeviceInterfaceDetailA: wrong detail cbSize");
        return FALSE;
    }
    if (deviceInfo && deviceInfo->cbSize != sizeof(SP_DEVINFO_DATA)) {
        m.errors.push_back("SetupDiGetDeviceInterfaceDetailA: wrong SP_DEVINFO_DATA cbSize");
        return FALSE;
    }
    if (detailSize < needed || needed == 0 || device.fetchFails || ShouldFail(Fault::InterfaceDetail))
        return FALSE;
    memcpy(detail->DevicePath, device.path.c_str(), device.path.size() + 1);
    if (requiredSize)
        *requiredSize = needed;
    if (deviceInfo)
        deviceInfo->DevInst = device.node;
    return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO devices)
{
    Machine& m = M();
    Log("SetupDiDestroyDeviceInfoList");
    return Release(m.openSets, devices, "SetupDiDestroyDeviceInfoList");
}

// The configuration manager checks its arguments before it looks at the tree;
// once they pass, a failed look-up leaves -1 in the caller's variable.
CONFIGRET CM_Get_Parent(PDEVINST parent, DEVINST node, ULONG flags)
{
    Machine& m = M();
    Log("CM_Get_Parent", {node, flags});
    if (!parent)
        return CR_INVALID_POINTER;
    if (!node)
        return CR_INVALID_DEVNODE;
    if (flags)
        return CR_INVALID_FLAG;
    *parent = (DEVINST)-1;
    auto it = m.nodes.find(node);
    if (it == m.nodes.end() || it->second.parentFails || ShouldFail(Fault::GetParent) || it->second.parent == 0)
        return CR_NO_SUCH_DEVNODE;
    *parent = it->second.parent;
    return CR_SUCCESS;
}

CONFIGRET CM_Get_DevNode_Status(PULONG status, PULONG problem, DEVINST node, ULONG flags)
{
    Machine& m = M();
    Log("CM_Get_DevNode_Status", {node, flags});
    if (!status || !problem)
        return CR_INVALID_POINTER;
    if (flags)
        return CR_INVALID_FLAG;
    auto it = m.nodes.find(node);
    if (it == m.nodes.end() || it->second.statusFails || ShouldFail(Fault::DevNodeStatus))
        return CR_NO_SUCH_DEVNODE;
    *status = it->second.status;
    *problem = 0;
    return CR_SUCCESS;
}

CONFIGRET CM_Get_Device_IDA(DEVINST node, LPSTR buffer, ULONG length, ULONG flags)
{
    Machine& m = M();
    Log("CM_Get_Device_IDA", {node, length, flags});
    if (!buffer)
        return CR_INVALID_POINTER;
    if (flags)
        return CR_INVALID_FLAG;
    auto it = m.nodes.find(node);
    if (it == m.nodes.end() || ShouldFail(Fault::DeviceId))
        return CR_NO_SUCH_DEVNODE;
    const std::string& id = it->second.instanceId;
    if (id.size() + 1 > length) {
        memcpy(buffer, id.data(), length); // cut and unterminated, as the platform leaves it
        return CR_BUFFER_SMALL;
    }
    memcpy(buffer, id.c_str(), id.size() + 1);
    return CR_SUCCESS;
}

static CONFIGRET Removal(
    const char* name, DEVINST node, PPNP_VETO_TYPE veto, LPSTR vetoName, ULONG nameLength, ULONG flags)
{
    Machine& m = M();
    Log(name, {node, (long long)(uintptr_t)vetoName, nameLength, flags, veto != nullptr});
    if (flags)
        return CR_INVALID_FLAG;
    auto it = m.nodes.find(node);
    if (it == m.nodes.end())
        return CR_NO_SUCH_DEVNODE;
    if (it->second.removalAnswers.empty())
        return CR_SUCCESS;
    CONFIGRET answer = it->second.removalAnswers.front();
    it->second.removalAnswers.erase(it->second.removalAnswers.begin());
    if (answer == CR_REMOVE_VETOED && veto)
        *veto = (PNP_VETO_TYPE)6;
    return answer;
}

CONFIGRET CM_Request_Device_EjectA(DEVINST node, PPNP_VETO_TYPE veto, LPSTR vetoName, ULONG nameLength, ULONG flags)
{
    return Removal("CM_Request_Device_EjectA", node, veto, vetoName, nameLength, flags);
}

CONFIGRET CM_Query_And_Remove_SubTreeA(DEVINST node, PPNP_VETO_TYPE veto, LPSTR vetoName, ULONG nameLength, ULONG flags)
{
    return Removal("CM_Query_And_Remove_SubTreeA", node, veto, vetoName, nameLength, flags);
}
