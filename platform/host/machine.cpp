// The stand-in's core: machine state, faults, call log, and KERNEL32.
#include <ctype.h>
#include <iconv.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "machine.h"

namespace machine {

static Machine* current = nullptr;

Machine& M()
{
    if (!current)
        current = new Machine();
    return *current;
}

void Reset()
{
    Machine& m = M();
    for (auto& block : m.heapBlocks)
        free(block.first);
    delete current;
    current = new Machine();
}

HINSTANCE Instance()
{
    return (HINSTANCE)(uintptr_t)0x400000;
}

void FailCall(Fault kind, int nth)
{
    M().failAt[kind].insert(nth);
}

bool ShouldFail(Fault kind)
{
    Machine& m = M();
    int n = ++m.callCounts[kind];
    auto it = m.failAt.find(kind);
    return it != m.failAt.end() && it->second.count(n) > 0;
}

int CallCount(Fault kind)
{
    return M().callCounts[kind];
}

void Log(const std::string& name, std::vector<long long> args, const std::string& text)
{
    if (M().logging)
        M().calls.push_back(Call{name, std::move(args), text});
}

std::vector<Call> CallsNamed(const std::string& name)
{
    std::vector<Call> found;
    for (const Call& call : M().calls)
        if (call.name == name)
            found.push_back(call);
    return found;
}

static std::string Convert(const char* from, const char* data, size_t size)
{
    iconv_t converter = iconv_open("CP932", from);
    if (converter == (iconv_t)-1)
        return std::string();
    std::string out(size * 2 + 4, '\0');
    char* in = const_cast<char*>(data);
    size_t inLeft = size;
    char* outPtr = &out[0];
    size_t outLeft = out.size();
    iconv(converter, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(converter);
    out.resize(out.size() - outLeft);
    return out;
}

std::string Utf16ToCp932(const std::u16string& text)
{
    return Convert("UTF-16LE", (const char*)text.data(), text.size() * 2);
}

std::string Utf8ToCp932(const std::string& text)
{
    return Convert("UTF-8", text.data(), text.size());
}

std::string Upper(const std::string& text)
{
    std::string upper = text;
    for (char& c : upper)
        c = (char)toupper((unsigned char)c);
    return upper;
}

uintptr_t NewHandle()
{
    Machine& m = M();
    m.nextHandle += 4;
    return m.nextHandle;
}

} // namespace machine

using namespace machine;

// ---- Heap ----

HANDLE GetProcessHeap(void)
{
    return (HANDLE)(uintptr_t)0x7000;
}

LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes)
{
    Machine& m = M();
    if (heap != GetProcessHeap())
        m.errors.push_back("HeapAlloc: not the process heap");
    if (ShouldFail(Fault::HeapAlloc))
        return nullptr;
    void* block = malloc(bytes ? bytes : 1);
    if (flags & HEAP_ZERO_MEMORY)
        memset(block, 0, bytes ? bytes : 1);
    else
        memset(block, 0xCD, bytes ? bytes : 1);
    m.heapBlocks[block] = bytes;
    m.heapAllocations++;
    return block;
}

BOOL HeapFree(HANDLE heap, DWORD, LPVOID block)
{
    Machine& m = M();
    if (heap != GetProcessHeap())
        m.errors.push_back("HeapFree: not the process heap");
    if (!block)
        return TRUE;
    auto it = m.heapBlocks.find(block);
    if (it == m.heapBlocks.end()) {
        m.errors.push_back("HeapFree: not a live block");
        return FALSE;
    }
    free(block);
    m.heapBlocks.erase(it);
    return TRUE;
}

// ---- Files, volumes and device numbers ----

DWORD GetLogicalDriveStringsA(DWORD length, LPSTR buffer)
{
    Machine& m = M();
    Log("GetLogicalDriveStringsA", {length});
    std::string strings;
    for (auto& volume : m.volumes) {
        strings += volume.first;
        strings += ":\\";
        strings += '\0';
    }
    if (strings.size() + 1 > length)
        return (DWORD)strings.size() + 1;
    memcpy(buffer, strings.data(), strings.size());
    buffer[strings.size()] = 0;
    return (DWORD)strings.size();
}

static bool SameText(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); i++)
        if (toupper((unsigned char)a[i]) != toupper((unsigned char)b[i]))
            return false;
    return true;
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
    DWORD flags, HANDLE templateFile)
{
    Machine& m = M();
    Log("CreateFileA", {access, share, disposition, flags, security != nullptr, templateFile != nullptr},
        path ? path : "");
    if (!path || ShouldFail(Fault::CreateFile))
        return INVALID_HANDLE_VALUE;
    std::string name = path;
    bool found = false;
    if (name.size() == 6 && name.compare(0, 4, "\\\\.\\") == 0 && name[5] == ':') {
        auto it = m.volumes.find((char)toupper((unsigned char)name[4]));
        found = it != m.volumes.end() && !it->second.openFails;
    } else {
        for (const Interface& device : m.interfaces)
            if (device.present && SameText(device.path, name))
                found = !device.openFails;
    }
    if (!found)
        return INVALID_HANDLE_VALUE;
    HANDLE handle = (HANDLE)NewHandle();
    m.openFiles[handle] = name;
    return handle;
}

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD returned,
    LPOVERLAPPED overlapped)
{
    Machine& m = M();
    auto it = m.openFiles.find(device);
    Log("DeviceIoControl", {code, (long long)(uintptr_t)in, inSize, outSize, overlapped != nullptr},
        it != m.openFiles.end() ? it->second : "");
    if (it == m.openFiles.end()) {
        m.errors.push_back("DeviceIoControl: not an open handle");
        return FALSE;
    }
    if (code != IOCTL_STORAGE_GET_DEVICE_NUMBER || outSize < sizeof(STORAGE_DEVICE_NUMBER) || !out)
        return FALSE;
    if (ShouldFail(Fault::DeviceIoControl))
        return FALSE;
    const std::string& name = it->second;
    STORAGE_DEVICE_NUMBER answer = {};
    if (name.size() == 6 && name.compare(0, 4, "\\\\.\\") == 0) {
        const Volume& volume = m.volumes[(char)toupper((unsigned char)name[4])];
        if (volume.queryFails)
            return FALSE;
        answer.DeviceType = volume.type;
        answer.DeviceNumber = volume.number;
    } else {
        const Interface* match = nullptr;
        for (const Interface& candidate : m.interfaces)
            if (SameText(candidate.path, name))
                match = &candidate;
        if (!match || match->queryFails)
            return FALSE;
        answer.DeviceType = match->type;
        answer.DeviceNumber = match->number;
    }
    answer.PartitionNumber = 1;
    memcpy(out, &answer, sizeof(answer));
    if (returned)
        *returned = sizeof(answer);
    return TRUE;
}

BOOL CloseHandle(HANDLE handle)
{
    Machine& m = M();
    Log("CloseHandle", {(long long)(uintptr_t)handle});
    return Release(m.openFiles, handle, "CloseHandle");
}

void Sleep(DWORD milliseconds)
{
    Log("Sleep", {milliseconds});
    M().now += milliseconds;
}

// ---- Strings ----

LPSTR lstrcpynA(LPSTR to, LPCSTR from, int max)
{
    if (!to || !from || max <= 0)
        return to;
    int i = 0;
    for (; i < max - 1 && from[i]; i++)
        to[i] = from[i];
    to[i] = 0;
    return to;
}

int lstrlenA(LPCSTR text)
{
    return text ? (int)strlen(text) : 0;
}

// USER32's formatter: at most 1024 bytes with the terminator, whatever the
// buffer; %C takes a wide character.
int wsprintfA(LPSTR out, LPCSTR format, ...)
{
    const int limit = 1024;
    std::string result;
    va_list args;
    va_start(args, format);
    for (const char* p = format; *p; p++) {
        if (*p != '%') {
            result += *p;
            continue;
        }
        p++;
        std::string conversion = "%";
        while (*p == '-' || *p == '0' || *p == '#')
            conversion += *p++;
        while (isdigit((unsigned char)*p))
            conversion += *p++;
        if (*p == '.') {
            conversion += *p++;
            while (isdigit((unsigned char)*p))
                conversion += *p++;
        }
        bool isLong = false;
        if (*p == 'l') {
            isLong = true;
            p++;
        }
        char piece[1100];
        switch (*p) {
        case '%':
            result += '%';
            continue;
        case 's': {
            const char* text = va_arg(args, const char*);
            snprintf(piece, sizeof(piece), (conversion + "s").c_str(), text ? text : "(null)");
            break;
        }
        case 'c':
        case 'C': {
            int character = va_arg(args, int);
            snprintf(piece, sizeof(piece), (conversion + "c").c_str(), (char)character);
            break;
        }
        case 'd':
        case 'i':
            snprintf(
                piece, sizeof(piece), (conversion + "d").c_str(), isLong ? (int)va_arg(args, long) : va_arg(args, int));
            break;
        case 'u':
        case 'x':
        case 'X': {
            unsigned value = isLong ? (unsigned)va_arg(args, unsigned long) : va_arg(args, unsigned);
            snprintf(piece, sizeof(piece), (conversion + *p).c_str(), value);
            break;
        }
        case 0:
            p--;
            continue;
        default:
            piece[0] = 0;
            break;
        }
        result += piece;
    }
    va_end(args);
    if ((int)result.size() > limit - 1)
        result.resize(limit - 1);
    memcpy(out, result.c_str(), result.size() + 1);
    return (int)result.size();
}
