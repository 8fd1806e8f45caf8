// Reading the disk and USB identities of a drive from the configuration manager.
#include "../platform/win32.h"
#include "device.h"

#define DEVICE_ID_SIZE 1024

// Reads the instance ID of the drive's disk node, or of its parent when
// parent is set; 1 when a non-empty ID is in the buffer.
static int ReadDeviceId(const char* driveString, int parent, char* idText)
{
    DEVINST node = 0;
    if (!ResolveDriveDevice(driveString, &node))
        return 0;
    // Without its USB device the disk's own ID would pass for the USB device's.
    if (parent && !FindUsbDeviceNode(node, &node))
        return 0;
    for (int i = 0; i < DEVICE_ID_SIZE; i++)
        idText[i] = 0;
    CM_Get_Device_IDA(node, idText, DEVICE_ID_SIZE, 0);
    idText[DEVICE_ID_SIZE - 1] = 0;
    return idText[0] != 0;
}

int GetDiskIdentity(DiskIdentity* identityOut, const char* driveString)
{
    if (!identityOut || !driveString)
        return 0;
    char idText[DEVICE_ID_SIZE];
    if (!ReadDeviceId(driveString, 0, idText))
        return 0;
    return ParseDiskDeviceId(idText, identityOut) ? 1 : 0;
}

int GetUsbIdentity(UsbIdentity* identityOut, const char* driveString)
{
    if (!identityOut || !driveString)
        return 0;
    char idText[DEVICE_ID_SIZE];
    if (!ReadDeviceId(driveString, 1, idText))
        return 0;
    return ParseUsbDeviceId(idText, identityOut) ? 1 : 0;
}
