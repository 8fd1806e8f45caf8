// Storage device access: from a drive letter to its Plug and Play nodes,
// the identities in their instance IDs, and ejection.
#pragma once

#include "../platform/win32.h"

// Device-interface classes a search can walk; any other value means disk.
#define IFACE_DISK 0
#define IFACE_CDROM 1
#define IFACE_FLOPPY 2

struct DiskIdentity {
    char vendor[128];
    char product[128];
    char revision[128];
};

struct UsbIdentity {
    char vid[32];
    char pid[32];
    char serial[256];
};

int ResolveDriveDevice(const char* driveString, DEVINST* devNodeOut);
DEVINST FindDiskDevInst(DWORD deviceNumber, int kind);
int IsRemovableUsbDrive(const char* driveString);
// The USB device of a disk node: its parent, or the composite device above an interface node.
int FindUsbDeviceNode(DEVINST disk, DEVINST* usbDeviceOut);

int GetDiskIdentity(DiskIdentity* identityOut, const char* driveString);
int GetUsbIdentity(UsbIdentity* identityOut, const char* driveString);
bool ParseDiskDeviceId(const char* idText, DiskIdentity* identityOut);
bool ParseUsbDeviceId(const char* idText, UsbIdentity* identityOut);

int EjectDrive(const char* driveString);
