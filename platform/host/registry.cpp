// HKEY_CURRENT_USER in memory, with the registry's own rules: data stored as given (no
// terminator added), nothing copied into a buffer too small, reads and writes only through a key
// opened with the access they need, and keys that refuse write access. A fault line's subject is
// the key's path, or the path and the value's name: "SOFTWARE\Kestrabin\0\VID".
#include "host.h"

#include <string.h>

#include <map>
#include <set>

// A key's values: type and data by name.
using Values = std::map<std::string, std::pair<DWORD, std::string>>;

static std::map<std::string, Values> keys;
static std::map<HKEY, std::pair<std::string, REGSAM>> openKeys; // path, access
static std::set<std::string> readOnly;
static uintptr_t nextKey = 0x1000;

void HostRegistryReset()
{
    keys.clear();
    openKeys.clear();
    readOnly.clear();
}

size_t HostOpenKeys()
{
    return openKeys.size();
}

static LSTATUS Open(const char* call, HKEY root, LPCSTR path, REGSAM access, PHKEY key, bool create)
{
    if (root != HKEY_CURRENT_USER)
        return SimWrite("refuse registry root"), ERROR_INVALID_HANDLE;
    if (SimFails(call, path))
        return ERROR_ACCESS_DENIED;
    if (!create && !keys.count(path))
        return ERROR_FILE_NOT_FOUND;
    if ((access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) && readOnly.count(path))
        return ERROR_ACCESS_DENIED;
    keys[path];
    *key = (HKEY)nextKey++;
    openKeys[*key] = {path, access};
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegOpenKeyExA(HKEY root, LPCSTR path, DWORD, REGSAM access, PHKEY key)
{
    return Open("RegOpenKeyExA", root, path, access, key, false);
}

LSTATUS WINAPI RegCreateKeyExA(
    HKEY root, LPCSTR path, DWORD, LPSTR, DWORD, REGSAM access, LPSECURITY_ATTRIBUTES, PHKEY key, LPDWORD)
{
    return Open("RegCreateKeyExA", root, path, access, key, true);
}

// The values of the key, when it is open with the access the call needs and the call does not fail.
static Values* Reach(HKEY key, REGSAM needed, const char* call, LPCSTR name)
{
    auto open = openKeys.find(key);
    if (open == openKeys.end() || (open->second.second & needed) != needed)
        return SimWrite((std::string("refuse ") + call).c_str()), nullptr;
    return SimFails(call, (open->second.first + "\\" + name).c_str()) ? nullptr : &keys[open->second.first];
}

// The program always asks for the type and the size.
LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size)
{
    Values* values = Reach(key, KEY_QUERY_VALUE, "RegQueryValueExA", name);
    if (!values)
        return ERROR_ACCESS_DENIED;
    auto value = values->find(name);
    if (value == values->end())
        return ERROR_FILE_NOT_FOUND;
    const std::string& bytes = value->second.second;
    DWORD room = *size;
    *type = value->second.first;
    *size = (DWORD)bytes.size();
    if (data && room < bytes.size())
        return ERROR_MORE_DATA;
    if (data)
        memcpy(data, bytes.data(), bytes.size());
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD size)
{
    Values* values = Reach(key, KEY_SET_VALUE, "RegSetValueExA", name);
    if (!values)
        return ERROR_ACCESS_DENIED;
    (*values)[name] = {type, std::string((const char*)data, size)};
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteKeyA(HKEY root, LPCSTR path)
{
    if (root != HKEY_CURRENT_USER || SimFails("RegDeleteKeyA", path) || !keys.erase(path))
        return ERROR_FILE_NOT_FOUND;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY key)
{
    if (!openKeys.erase(key))
        return SimWrite("refuse RegCloseKey"), ERROR_INVALID_HANDLE;
    return ERROR_SUCCESS;
}

void HostReadOnly(const std::string& path)
{
    readOnly.insert(path);
}

void HostSetValue(const std::string& path, const std::string& name, DWORD type, const std::string& data)
{
    keys[path][name] = {type, data};
}

std::string HostRegistry(const std::string& path)
{
    std::string text;
    for (const auto& [key, values] : keys) {
        if (key.compare(0, path.size() + 1, path + "\\"))
            continue;
        text += key.substr(path.size() + 1) + ":";
        for (const auto& [name, value] : values)
            text += " " + name + "=" + (value.first == REG_SZ ? "" : std::to_string(value.first) + ":") + value.second;
        text += "; ";
    }
    return text;
}
