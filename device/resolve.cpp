// From a drive letter to the device node of the disk that carries it.
#define KESTRABIN_DEFINE_GUIDS
#include "../platform/win32.h"
#include "device.h"

#define NO_DEVICE_NUMBER 0xFFFFFFFFu
#define DEVICE_ID_SIZE 1024
#define NT_DEVICE_SIZE 1024

// Opens a volume or interface path for queries only and asks for its storage
// device number; fills number with the answer or the no-number sentinel.
static void QueryDeviceNumber(const char* path, STORAGE_DEVICE_NUMBER* number)
{
    number->DeviceType = 0;
    number->DeviceNumber = NO_DEVICE_NUMBER;
    number->PartitionNumber = 0;
    HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (handle == INVALID_HANDLE_VALUE)
        return;
    STORAGE_DEVICE_NUMBER answer = {};
    DWORD returned = 0;
    if (DeviceIoControl(handle, IOCTL_STORAGE_GET_DEVICE_NUMBER, NULL, 0, &answer, sizeof(answer), &returned, NULL))
        *number = answer;
    CloseHandle(handle);
}

// 1 when text begins with prefix.
static int BeginsWith(const char* text, const char* prefix)
{
    while (*prefix && *text == *prefix) {
        text++;
        prefix++;
    }
    return !*prefix;
}

// Floppies are numbered apart from disks, yet report the disk type: floppy 0 and disk 0 give the
// same number. The drive letter's NT device tells them apart, also without a medium.
static int IsFloppyDrive(char letter)
{
    char name[] = "X:";
    name[0] = letter;
    char device[NT_DEVICE_SIZE] = {};
    return QueryDosDeviceA(name, device, NT_DEVICE_SIZE) && BeginsWith(device, "\\Device\\Floppy");
}

int ResolveDriveDevice(const char* driveString, DEVINST* devNodeOut)
{
    if (!driveString || !devNodeOut)
        return 0;
    char volumePath[] = "\\\\.\\X:";
    volumePath[4] = driveString[0];
    *devNodeOut = 0;

    STORAGE_DEVICE_NUMBER number;
    QueryDeviceNumber(volumePath, &number);
    if (number.DeviceNumber == NO_DEVICE_NUMBER)
        return 0;

    DEVINST node = 0;
    if (number.DeviceType == FILE_DEVICE_DISK)
        node = FindDiskDevInst(number.DeviceNumber, IsFloppyDrive(driveString[0]) ? IFACE_FLOPPY : IFACE_DISK);
    else if (number.DeviceType == FILE_DEVICE_CD_ROM)
        node = FindDiskDevInst(number.DeviceNumber, IFACE_CDROM);
    if (!node)
        return 0;
    *devNodeOut = node;
    return 1;
}

DEVINST FindDiskDevInst(DWORD deviceNumber, int kind)
{
    const GUID* interfaceClass = &GUID_DEVINTERFACE_DISK;
    if (kind == IFACE_CDROM)
        interfaceClass = &GUID_DEVINTERFACE_CDROM;
    else if (kind == IFACE_FLOPPY)
        interfaceClass = &GUID_DEVINTERFACE_FLOPPY;

    HDEVINFO devices = SetupDiGetClassDevsA(interfaceClass, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (devices == INVALID_HANDLE_VALUE)
        return 0;

    DEVINST found = 0;
    HANDLE heap = GetProcessHeap();
    for (DWORD index = 0;; index++) {
        SP_DEVICE_INTERFACE_DATA interfaceData = {};
        interfaceData.cbSize = sizeof(interfaceData);
        if (!SetupDiEnumDeviceInterfaces(devices, NULL, interfaceClass, index, &interfaceData))
            break;

        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailA(devices, &interfaceData, NULL, 0, &size, NULL);
        if (size == 0)
            continue;
        // No memory for this interface's path: skip it, the walk still ends.
        SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail =
            (SP_DEVICE_INTERFACE_DETAIL_DATA_A*)HeapAlloc(heap, HEAP_ZERO_MEMORY, size);
        if (!detail)
            continue;
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        SP_DEVINFO_DATA deviceInfo = {};
        deviceInfo.cbSize = sizeof(deviceInfo);
        if (SetupDiGetDeviceInterfaceDetailA(devices, &interfaceData, detail, size, &size, &deviceInfo)) {
            STORAGE_DEVICE_NUMBER number;
            QueryDeviceNumber(detail->DevicePath, &number);
            if (number.DeviceNumber != NO_DEVICE_NUMBER && number.DeviceNumber == deviceNumber)
                found = deviceInfo.DevInst;
        }
        HeapFree(heap, 0, detail);
        if (found)
            break;
    }
    SetupDiDestroyDeviceInfoList(devices);
    return found;
}

static ULONG ReadStatus(DEVINST node)
{
    ULONG status = 0;
    ULONG problem = 0;
    CM_Get_DevNode_Status(&status, &problem, node, 0);
    return status;
}

// A USB interface node: the ID of one function of a composite device, USB\VID_v&PID_p&MI_nn\...
static int IsInterfaceNode(DEVINST node)
{
    char id[DEVICE_ID_SIZE] = {};
    CM_Get_Device_IDA(node, id, DEVICE_ID_SIZE - 1, 0);
    const char* at = id;
    while (*at && !BeginsWith(at, "&MI_"))
        at++;
    return BeginsWith(id, "USB\\") && *at;
}

int FindUsbDeviceNode(DEVINST disk, DEVINST* usbDeviceOut)
{
    *usbDeviceOut = 0;
    DEVINST parent = 0;
    if (CM_Get_Parent(&parent, disk, 0) != CR_SUCCESS || !parent)
        return 0;
    // Windows marks only the top node of a removable device removable: a composite device's
    // storage hangs below an interface node that is not. The composite device above it is the
    // USB device; nothing climbs further.
    if (!(ReadStatus(parent) & DN_REMOVABLE) && IsInterfaceNode(parent)) {
        DEVINST composite = 0;
        if (CM_Get_Parent(&composite, parent, 0) != CR_SUCCESS || !composite)
            return 0;
        parent = composite;
    }
    *usbDeviceOut = parent;
    return 1;
}

int IsRemovableUsbDrive(const char* driveString)
{
    DEVINST node = 0;
    if (!ResolveDriveDevice(driveString, &node))
        return -1;
    // Without a parent there is no USB device to call removable.
    DEVINST usbDevice = 0;
    if (!FindUsbDeviceNode(node, &usbDevice))
        return 0;
    ULONG status = ReadStatus(usbDevice);
    return (status & DN_REMOVABLE) && (status & DN_DISABLEABLE) ? 1 : 0;
}
