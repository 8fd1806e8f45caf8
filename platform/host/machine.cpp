// The stand-in's core: machine state, faults, call log, and KERNEL32.
#include <ctype.h>
#include <iconv.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

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
    M().failAt[(int)kind].insert(nth);
}

bool ShouldFail(Fault kind)
{
    Machine& m = M();
    int n = ++m.callCounts[(int)kind];
    return !m.failAt[(int)kind].empty() && m.failAt[(int)kind].count(n) > 0;
}

int CallCount(Fault kind)
{
    return M().callCounts[(int)kind];
}

void Record(const char* name, std::vector<long long> args, const std::string& text)
{
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

static std::string Convert(const char* from, const char* data, size_t size, const char* to = "CP932")
{
    // Opening a converter is costly; each pair is opened once, kept for the process, and reset before use.
    static auto* converters = new std::map<std::pair<std::string, std::string>, iconv_t>();
    iconv_t& converter = (*converters)[{from, to}];
    if (!converter)
        converter = iconv_open(to, from);
    if (converter == (iconv_t)-1)
        return std::string();
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    std::string out(size * 2 + 4, '\0');
    char* in = const_cast<char*>(data);
    size_t inLeft = size;
    char* outPtr = &out[0];
    size_t outLeft = out.size();
    iconv(converter, &in, &inLeft, &outPtr, &outLeft);
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

std::string Utf16ToUtf8(const std::u16string& text)
{
    return Convert("UTF-16LE", (const char*)text.data(), text.size() * 2, "UTF-8");
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

// What an open file is: a volume by its letter, or 256 plus an interface's index.
static int OpenTarget(const char* path)
{
    Machine& m = M();
    if (strlen(path) == 6 && strncmp(path, "\\\\.\\", 4) == 0 && path[5] == ':') {
        auto it = m.volumes.find((char)toupper((unsigned char)path[4]));
        return it != m.volumes.end() && !it->second.openFails ? it->first : -1;
    }
    for (size_t i = 0; i < m.interfaces.size(); i++)
        if (m.interfaces[i].present && strcasecmp(m.interfaces[i].path.c_str(), path) == 0)
            return m.interfaces[i].openFails ? -1 : 256 + (int)i;
    return -1;
}

static std::string PathOf(int target)
{
    return target < 256 ? "\\\\.\\" + std::string(1, (char)target) + ":" : M().interfaces[target - 256].path;
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
    DWORD flags, HANDLE templateFile)
{
    Machine& m = M();
    Log("CreateFileA", {access, share, disposition, flags, security != nullptr, templateFile != nullptr},
        path ? path : "");
    int target = path && !ShouldFail(Fault::CreateFile) ? OpenTarget(path) : -1;
    if (target < 0)
        return INVALID_HANDLE_VALUE;
    HANDLE handle = (HANDLE)NewHandle();
    m.openFiles[handle] = target;
    return handle;
}

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD returned,
    LPOVERLAPPED overlapped)
{
    Machine& m = M();
    auto it = m.openFiles.find(device);
    Log("DeviceIoControl", {code, (long long)(uintptr_t)in, inSize, outSize, overlapped != nullptr},
        it != m.openFiles.end() ? PathOf(it->second) : "");
    if (it == m.openFiles.end()) {
        m.errors.push_back("DeviceIoControl: not an open handle");
        return FALSE;
    }
    if (code != IOCTL_STORAGE_GET_DEVICE_NUMBER || outSize < sizeof(STORAGE_DEVICE_NUMBER) || !out)
        return FALSE;
    if (ShouldFail(Fault::DeviceIoControl))
        return FALSE;
    STORAGE_DEVICE_NUMBER answer = {};
    if (it->second < 256) {
        auto volume = m.volumes.find((char)it->second);
        if (volume == m.volumes.end() || volume->second.queryFails)
            return FALSE;
        answer.DeviceType = volume->second.type;
        answer.DeviceNumber = volume->second.number;
    } else {
        const Interface& device = m.interfaces[it->second - 256];
        if (device.queryFails)
            return FALSE;
        answer.DeviceType = device.type;
        answer.DeviceNumber = device.number;
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
// buffer. Its conversions are the C library's but for %C, a wide character,
// which is passed as an int like %c's.
int wsprintfA(LPSTR out, LPCSTR format, ...)
{
    char converted[1024];
    size_t length = 0;
    for (const char* p = format; *p && length + 1 < sizeof(converted); p++) {
        bool conversion = p > format && p[-1] == '%' && (p < format + 2 || p[-2] != '%');
        converted[length++] = conversion && *p == 'C' ? 'c' : *p;
    }
    converted[length] = 0;
    va_list args;
    va_start(args, format);
    int written = vsnprintf(out, 1024, converted, args);
    va_end(args);
    return written < 1024 ? written : 1023;
}
