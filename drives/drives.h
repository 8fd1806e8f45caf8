// Drive tracking: the list of drive strings of attached removable USB drives.
#pragma once

#include "../platform/win32.h"

// A list node: next, previous, data. Lists are appended at the tail and
// released from the last node backwards.
struct DriveNode {
    DriveNode* next;
    DriveNode* prev;
    void* data;
};

// A list head: first and last node, both null when the list is empty.
struct DriveList {
    DriveNode* first;
    DriveNode* last;
};

// Room of the letter array that GetTrackedLetters fills: 31 letters and a zero.
#define TRACKED_LETTERS_SIZE 32

int CreateTrackedDriveList(void);
const DriveList* GetTrackedDriveList(void);
int ScanDrives(void);
int AddTrackedDrive(const char* driveString);
int RemoveTrackedDrive(const char* driveString);
int GetTrackedLetters(char* letters, int room);
LRESULT HandleDeviceChange(HWND window, WPARAM event, LPARAM data);
