// The platform of the host build: the simulated machine, an in-memory HKEY_CURRENT_USER, the
// process heap and the string calls. Every call it refuses, as Windows would, is logged as
// "refuse"; any call the program tests can be made to fail with a "fail CALL NTH" line, or
// "fail CALL SUBJECT": a heap block's size, "HeapAlloc 320 bytes", or a key, "RegOpenKeyExA
// SOFTWARE\Kestrabin\1".
#pragma once

#include "../sim/machine.h"

#include <string>
#include <vector>

// Starts afresh: this machine, an empty registry and heap, an empty log.
void HostReset(const char* machine);
// What happened since the reset, one line each: the machine's events and refusals.
std::string& HostLog();
// The volume broadcasts made and not yet taken: the event and its record.
struct HostBroadcast {
    WPARAM event;
    DEV_BROADCAST_VOLUME volume;
};
std::vector<HostBroadcast> HostTakeBroadcasts();
// Blocks allocated and not freed.
size_t HostHeapBlocks();
// Registry keys the program has open.
size_t HostOpenKeys();

// The keys below a registry path, in the order of their names: "NAME: VALUE=DATA ...; ", the
// values in the order of theirs, DATA prefixed with "TYPE:" when it is not REG_SZ.
std::string HostRegistry(const std::string& path);
void HostSetValue(const std::string& path, const std::string& name, DWORD type, const std::string& data);
// The key at this path refuses to be opened for writing, as under a policy.
void HostReadOnly(const std::string& path);
