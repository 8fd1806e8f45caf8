// From a drive letter to the device node of the disk that carries it.
#define KESTRABIN_DEFINE_GUIDS
#include "../platform/win32.h"
#include "device.h"

#define NO_DEVICE_NUMBER 0xFFFFFFFFu

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
    if (number.DeviceType == FILE_DEVICE_DISK) {
        // A floppy drive reports a disk-type number of its own class.
        node = FindDiskDevInst(number.DeviceNumber, IFACE_FLOPPY);
        if (!node)
            node = FindDiskDevInst(number.DeviceNumber, IFACE_DISK);
    } else if (number.DeviceType == FILE_DEVICE_CD_ROM) {
        node = FindDiskDevInst(number.DeviceNumber, IFACE_CDROM);
    }
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

int IsRemovableUsbDrive(const char* driveString)
{
    DEVINST node = 0;
    if (!ResolveDriveDevice(driveString, &node))
        return -1;
    DEVINST parent = 0;
    // Without a parent there is no USB device to call removable.
    if (CM_Get_Parent(&parent, node, 0) != CR_SUCCESS)
        return 0;
    ULONG status = 0;
    ULONG problem = 0;
    CM_Get_DevNode_Status(&status, &problem, parent, 0);
    return (status & DN_REMOVABLE) && (status & DN_DISABLEABLE) ? 1 : 0;
}
