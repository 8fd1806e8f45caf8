// The tracked-drive list: filled at start, kept current from volume broadcasts.
#include "../platform/win32.h"
#include "drives.h"
#include "../device/device.h"

#include <stddef.h>

#define DRIVE_STRING_SIZE 4
#define DRIVE_STRINGS_SIZE 1024

static DriveList* trackedDrives;

int CreateTrackedDriveList(void)
{
    trackedDrives = (DriveList*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(DriveList));
    return trackedDrives != NULL;
}

const DriveList* GetTrackedDriveList(void)
{
    return trackedDrives;
}

int ScanDrives(void)
{
    char drives[DRIVE_STRINGS_SIZE] = {};
    GetLogicalDriveStringsA(DRIVE_STRINGS_SIZE, drives);
    // Each entry is X:\ and its terminator; an empty entry ends the list.
    for (int i = 0; i + DRIVE_STRING_SIZE <= DRIVE_STRINGS_SIZE && drives[i]; i += DRIVE_STRING_SIZE) {
        if (IsRemovableUsbDrive(&drives[i]) == 1)
            AddTrackedDrive(&drives[i]);
    }
    return 1;
}

int AddTrackedDrive(const char* driveString)
{
    if (!driveString || !trackedDrives)
        return 0;
    // A letter is tracked once: Windows announces a card put into a reader's slot as another
    // arrival of the slot's letter.
    for (const DriveNode* node = trackedDrives->first; node; node = node->next)
        if (((const char*)node->data)[0] == driveString[0])
            return 1;
    HANDLE heap = GetProcessHeap();
    char* copy = (char*)HeapAlloc(heap, HEAP_ZERO_MEMORY, DRIVE_STRING_SIZE);
    DriveNode* node = (DriveNode*)HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(DriveNode));
    if (!copy || !node) {
        if (copy)
            HeapFree(heap, 0, copy);
        if (node)
            HeapFree(heap, 0, node);
        return 0;
    }
    lstrcpynA(copy, driveString, DRIVE_STRING_SIZE);
    node->prev = trackedDrives->last;
    node->data = copy;
    if (trackedDrives->last)
        trackedDrives->last->next = node;
    else
        trackedDrives->first = node;
    trackedDrives->last = node;
    return 1;
}

int RemoveTrackedDrive(const char* driveString)
{
    if (!driveString || !trackedDrives || !trackedDrives->first)
        return 0;
    int length = lstrlenA(driveString);
    for (DriveNode* node = trackedDrives->first; node; node = node->next) {
        const char* stored = (const char*)node->data;
        int i = 0;
        while (i < length && stored[i] == driveString[i])
            i++;
        if (i < length)
            continue;
        if (node->prev)
            node->prev->next = node->next;
        else
            trackedDrives->first = node->next;
        if (node->next)
            node->next->prev = node->prev;
        else
            trackedDrives->last = node->prev;
        HANDLE heap = GetProcessHeap();
        HeapFree(heap, 0, node->data);
        HeapFree(heap, 0, node);
        return 1;
    }
    return 0;
}

int GetTrackedLetters(char* letters, int room)
{
    if (!letters || room < 1)
        return 0;
    int count = 0;
    if (trackedDrives) {
        // Letters beyond the room are left out; the zero always fits.
        for (DriveNode* node = trackedDrives->first; node && count < room - 1; node = node->next)
            letters[count++] = ((const char*)node->data)[0];
    }
    letters[count] = 0;
    return 1;
}

LRESULT HandleDeviceChange(HWND window, WPARAM event, LPARAM data)
{
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE)
        return DefWindowProcA(window, WM_DEVICECHANGE, event, data);
    const DEV_BROADCAST_HDR* header = (const DEV_BROADCAST_HDR*)data;
    // A broadcast without data, or too short to hold a unit mask, names no volume: the copy
    // Windows hands the receiver is as long as the sender says.
    if (!header || header->dbch_devicetype != DBT_DEVTYP_VOLUME ||
        header->dbch_size < offsetof(DEV_BROADCAST_VOLUME, dbcv_flags))
        return 0;
    const DEV_BROADCAST_VOLUME* volume = (const DEV_BROADCAST_VOLUME*)data;
    int media = header->dbch_size >= sizeof(DEV_BROADCAST_VOLUME) && (volume->dbcv_flags & DBTF_MEDIA);
    // One broadcast may name several volumes: a device that leaves names all its letters.
    for (int index = 0; index < 26; index++) {
        if (!(volume->dbcv_unitmask & (1u << index)))
            continue;
        char driveString[DRIVE_STRING_SIZE] = {};
        // %C takes the letter as a wide character; it comes out as the same byte.
        wsprintfA(driveString, "%C:", (WCHAR)('A' + index));
        if (event == DBT_DEVICEARRIVAL) {
            if (IsRemovableUsbDrive(driveString) == 1)
                AddTrackedDrive(driveString);
        } else if (!media || IsRemovableUsbDrive(driveString) != 1) {
            // A disc or card taken out of a drive that stays leaves the drive tracked.
            RemoveTrackedDrive(driveString);
        }
    }
    return 0;
}
