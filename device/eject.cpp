// Asking the configuration manager to remove the USB device behind a drive.
#include "../platform/win32.h"
#include "device.h"

#define EJECT_ATTEMPTS 3
#define EJECT_PAUSE_MS 200

int EjectDrive(const char* driveString)
{
    DEVINST disk = 0;
    if (!ResolveDriveDevice(driveString, &disk))
        return 0;
    // Never send a removal to a node we could not identify.
    DEVINST usbDevice = 0;
    if (!FindUsbDeviceNode(disk, &usbDevice))
        return 0;
    ULONG status = 0;
    ULONG problem = 0;
    PNP_VETO_TYPE veto = PNP_VetoTypeUnknown;
    CM_Get_DevNode_Status(&status, &problem, usbDevice, 0);
    int eject = (status & DN_REMOVABLE) != 0;

    for (int attempt = 0; attempt < EJECT_ATTEMPTS; attempt++) {
        // No veto buffer: Windows then tells the user itself why it refused.
        CONFIGRET result = eject ? CM_Request_Device_EjectA(usbDevice, &veto, NULL, 0, 0)
                                 : CM_Query_And_Remove_SubTreeA(usbDevice, &veto, NULL, 0, 0);
        if (result == CR_SUCCESS)
            return 1;
        Sleep(EJECT_PAUSE_MS);
    }
    return 0;
}
