// The host's kernel and window calls, as much of them as the program without windows makes:
// the volume calls go to the simulated machine, the heap counts its blocks, the strings are
// formatted as USER32 formats them.
#include <initguid.h>

#include "host.h"

#include <stdlib.h>
#include <string.h>

#include <set>
#include <utility>

static std::string hostLog;
static std::vector<HostBroadcast> broadcasts;
static std::set<void*> blocks;
static HANDLE const PROCESS_HEAP = (HANDLE)0x4EA9;

void HostRegistryReset();

void HostReset(const char* machine)
{
    for (void* block : blocks)
        free(block);
    blocks.clear();
    hostLog.clear();
    broadcasts.clear();
    HostRegistryReset();
    SimReset(machine);
}

std::string& HostLog()
{
    return hostLog;
}

void SimWrite(const char* line)
{
    hostLog += std::string(line) + "\n";
}

void SimBroadcast(WPARAM event, DWORD unitMask, WORD flags)
{
    broadcasts.push_back({event, {sizeof(DEV_BROADCAST_VOLUME), DBT_DEVTYP_VOLUME, 0, unitMask, flags}});
}

std::vector<HostBroadcast> HostTakeBroadcasts()
{
    return std::exchange(broadcasts, {});
}

size_t HostHeapBlocks()
{
    return blocks.size();
}

HANDLE WINAPI GetProcessHeap()
{
    return PROCESS_HEAP;
}

LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T size)
{
    if (heap != PROCESS_HEAP || (flags & ~HEAP_ZERO_MEMORY))
        return SimWrite("refuse HeapAlloc"), nullptr;
    if (SimFails("HeapAlloc", (std::to_string(size) + " bytes").c_str()))
        return nullptr;
    // Never zero-filled unless asked: a program that relies on it reads 0xCD.
    void* block = malloc(size ? size : 1);
    memset(block, flags & HEAP_ZERO_MEMORY ? 0 : 0xCD, size);
    blocks.insert(block);
    return block;
}

BOOL WINAPI HeapFree(HANDLE heap, DWORD, LPVOID block)
{
    if (heap != PROCESS_HEAP || (block && !blocks.erase(block)))
        return SimWrite("refuse HeapFree"), FALSE;
    free(block);
    return TRUE;
}

LPSTR WINAPI lstrcpynA(LPSTR target, LPCSTR source, INT room)
{
    int i = 0;
    for (; i < room - 1 && source[i]; i++)
        target[i] = source[i];
    if (room > 0)
        target[i] = 0;
    return target;
}

INT WINAPI lstrlenA(LPCSTR text)
{
    return text ? (INT)strlen(text) : 0;
}

// %s, %d and %C (a wide character, written as its low byte) are all the program without windows
// uses, and its results are short.
INT WINAPIV wsprintfA(LPSTR out, LPCSTR format, ...)
{
    __ms_va_list args;
    __ms_va_start(args, format);
    std::string text;
    for (const char* at = format; *at; at++) {
        if (*at != '%') {
            text += *at;
            continue;
        }
        char kind = *++at;
        if (kind == 's')
            text += __builtin_va_arg(args, const char*);
        else if (kind == 'd')
            text += std::to_string(__builtin_va_arg(args, int));
        else if (kind == 'C')
            text += (char)__builtin_va_arg(args, int);
        else
            SimWrite("refuse wsprintfA");
    }
    __ms_va_end(args);
    memcpy(out, text.c_str(), text.size() + 1);
    return (INT)text.size();
}

LRESULT WINAPI DefWindowProcA(HWND, UINT, WPARAM, LPARAM)
{
    return 0;
}
