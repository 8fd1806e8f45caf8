// A simulated machine: the storage devices that Wine and the host lack, described in text and
// answering the device calls as Windows does. The host tests link it directly; the Wine
// setupapi.dll and the demo load it into the real exe.
//
// The description, one line each:
//   volume LETTER disk|cdrom|fail|other NUMBER    fail: the number query fails; other: of another type
//   iface disk|cdrom|floppy NUMBER NODE PRESENT    PRESENT 1 or 0
//   node NODE PARENT STATUS ID [ANSWER...]         PARENT 0: none; STATUS hex; ID -: cannot be read;
//                                                  ANSWERs (hex) to the first removal requests, then success
//   fail CALL NTH                                  the NTH call of CALL (counted from 1) fails
// A successful removal takes the device's volumes and interfaces away and broadcasts the
// removal of each volume.
#pragma once

#include "../win32.h"

#include <string>

// Forgets handles, sets, counts and answers given; then describes the machine.
void SimReset(const char* description);
// Replaces the description; what the program holds open and the calls counted stay.
void SimDescribe(const char* description);
// The description as it is now, removals included.
std::string SimDescription();
// Counts a call of this name; true when the description makes this one fail.
bool SimFails(const char* call);
// The calls of this name so far.
int SimCount(const char* call);
// Handles and device sets the program has open.
int SimOpen();

// Provided by each user of the machine.
void SimWrite(const char* line);             // one event, as a line
void SimBroadcastRemoval(DWORD unitMask);    // what Windows sends the top-level windows

DWORD WINAPI SimGetLogicalDriveStringsA(DWORD size, LPSTR buffer);
HANDLE WINAPI SimCreateFileA(
    LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD how, DWORD flags, HANDLE model);
BOOL WINAPI SimDeviceIoControl(
    HANDLE handle, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD done, LPOVERLAPPED overlap);
BOOL WINAPI SimCloseHandle(HANDLE handle);
void WINAPI SimSleep(DWORD milliseconds);
// The SetupDi… and CM_… calls keep their own names.
