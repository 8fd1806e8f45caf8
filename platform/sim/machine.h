// A simulated machine: the storage devices that Wine and the host lack, described in text and
// answering the device calls as Windows does. The host tests link it directly; the Wine
// setupapi.dll and the demo load it into the real exe.
//
// The description, one line each:
//   volume LETTER disk|floppy|cdrom|fail|other NUMBER [empty]
//                                                  fail: the number query fails; other: of another
//                                                  type; empty: no medium in the drive
//   iface disk|cdrom|floppy NUMBER NODE PRESENT    PRESENT 1 or 0
//   node NODE PARENT STATUS ID [ANSWER...]         PARENT 0: none; STATUS hex; ID -: cannot be read;
//                                                  ANSWERs (hex) to the first removal requests, then success
//   fail CALL NTH|SUBJECT                          the NTH call of CALL (counted from 1) fails, or each
//                                                  call about SUBJECT (the rest of the line): the path
//                                                  opened or handed out, the drive named, the node's
//                                                  instance ID; logged as "fail CALL NTH|SUBJECT"
//   grant SeLoadDriverPrivilege                    the user may query-and-remove (an administrator)
// An interface's path is \\?\sim#KIND#NUMBER#NODE.
// A successful removal takes the device, its interfaces and its volumes away until the reset,
// and broadcasts the removal of all its volumes at once. A medium taken out of a drive, or put
// back, by a new description is broadcast as the media change of the volume.
#pragma once

#include "../win32.h"

#include <string>

// Forgets handles, sets, counts and answers given; then describes the machine.
void SimReset(const char* description);
// Replaces the description; what the program holds open, the calls counted and the devices
// removed stay.
void SimDescribe(const char* description);
// Counts a call of this name; true when the description makes this one, or a call of this name
// about this subject, fail.
bool SimFails(const char* call, const char* subject = nullptr);
// The calls of this name so far.
int SimCount(const char* call);
// Handles and device sets the program has open.
int SimOpen();

// Writes one event, formatted.
void SimLog(const char* format, ...);

// Provided by each user of the machine.
void SimWrite(const char* line); // one event, as a line
// What Windows sends the top-level windows: DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE for the
// volumes of this mask, with DBTF_MEDIA when only their media changed.
void SimBroadcast(WPARAM event, DWORD unitMask, WORD flags);

// The volume calls. On the host they are the calls themselves; in the Wine DLL they are what the
// exe's import entries for them are pointed at.
#ifdef _WIN32
#define SIM_CALL(name) Sim##name
#else
#define SIM_CALL(name) name
#endif
DWORD WINAPI SIM_CALL(GetLogicalDriveStringsA)(DWORD size, LPSTR buffer);
HANDLE WINAPI SIM_CALL(CreateFileA)(
    LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD how, DWORD flags, HANDLE model);
BOOL WINAPI SIM_CALL(DeviceIoControl)(
    HANDLE handle, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD done, LPOVERLAPPED overlap);
BOOL WINAPI SIM_CALL(CloseHandle)(HANDLE handle);
DWORD WINAPI SIM_CALL(QueryDosDeviceA)(LPCSTR name, LPSTR target, DWORD size);
void WINAPI SIM_CALL(Sleep)(DWORD milliseconds);
// The SetupDi… and CM_… calls keep their own names.
