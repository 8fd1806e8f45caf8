// The stand-in's registry: HKEY_CURRENT_USER only, keys by case-insensitive path.
#include <ctype.h>
#include <string.h>

#include "machine.h"

namespace machine {

static std::string Parent(const std::string& path)
{
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

static RegKey& CreateKeyPath(const std::string& path)
{
    Machine& m = M();
    std::string parent = Parent(path);
    if (!parent.empty())
        CreateKeyPath(parent);
    RegKey& key = m.registry[Upper(path)];
    if (key.name.empty())
        key.name = path;
    return key;
}

void SetRegValue(const std::string& path, const std::string& name, DWORD type, const std::string& data)
{
    RegKey& key = CreateKeyPath(path);
    key.values[Upper(name)] = RegValue{name, type, data};
}

void SetRegString(const std::string& path, const std::string& name, const std::string& text)
{
    SetRegValue(path, name, REG_SZ, text);
}

bool HasRegKey(const std::string& path)
{
    return M().registry.count(Upper(path)) > 0;
}

const RegValue* FindRegValue(const std::string& path, const std::string& name)
{
    Machine& m = M();
    auto key = m.registry.find(Upper(path));
    if (key == m.registry.end())
        return nullptr;
    auto value = key->second.values.find(Upper(name));
    return value == key->second.values.end() ? nullptr : &value->second;
}

static HKEY OpenHandle(const std::string& path)
{
    HKEY handle = (HKEY)NewHandle();
    M().openKeys[handle] = Upper(path);
    return handle;
}

} // namespace machine

using namespace machine;

LSTATUS RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result)
{
    Machine& m = M();
    Log("RegOpenKeyExA", {options, access}, subKey ? subKey : "");
    if (root != HKEY_CURRENT_USER || !subKey || !result) {
        m.errors.push_back("RegOpenKeyExA: unexpected arguments");
        return ERROR_INVALID_PARAMETER;
    }
    if (ShouldFail(Fault::RegOpen))
        return ERROR_ACCESS_DENIED;
    if (!m.registry.count(Upper(subKey)))
        return ERROR_FILE_NOT_FOUND;
    *result = OpenHandle(subKey);
    return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExA(HKEY root, LPCSTR subKey, DWORD, LPSTR, DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES,
    PHKEY result, LPDWORD disposition)
{
    Machine& m = M();
    Log("RegCreateKeyExA", {options, access}, subKey ? subKey : "");
    if (root != HKEY_CURRENT_USER || !subKey || !result) {
        m.errors.push_back("RegCreateKeyExA: unexpected arguments");
        return ERROR_INVALID_PARAMETER;
    }
    if (ShouldFail(Fault::RegCreate))
        return ERROR_ACCESS_DENIED;
    bool existed = m.registry.count(Upper(subKey)) > 0;
    CreateKeyPath(subKey);
    if (disposition)
        *disposition = existed ? 2 : 1;
    *result = OpenHandle(subKey);
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size)
{
    Machine& m = M();
    Log("RegQueryValueExA", {(long long)(uintptr_t)data, size ? (long long)*size : -1}, name ? name : "");
    auto open = m.openKeys.find(key);
    if (open == m.openKeys.end()) {
        m.errors.push_back("RegQueryValueExA: not an open key");
        return ERROR_INVALID_HANDLE;
    }
    if (reserved || (data && !size))
        return ERROR_INVALID_PARAMETER;
    if (ShouldFail(Fault::RegQuery))
        return ERROR_ACCESS_DENIED;
    const RegKey& stored = m.registry[open->second];
    auto value = stored.values.find(Upper(name ? name : ""));
    if (value == stored.values.end())
        return ERROR_FILE_NOT_FOUND;
    DWORD needed = (DWORD)value->second.data.size();
    if (type)
        *type = value->second.type;
    if (!data) {
        if (size)
            *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    memcpy(data, value->second.data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD size)
{
    Machine& m = M();
    Log("RegSetValueExA", {type, size}, name ? name : "");
    auto open = m.openKeys.find(key);
    if (open == m.openKeys.end()) {
        m.errors.push_back("RegSetValueExA: not an open key");
        return ERROR_INVALID_HANDLE;
    }
    if (ShouldFail(Fault::RegSet))
        return ERROR_ACCESS_DENIED;
    RegKey& stored = m.registry[open->second];
    std::string valueName = name ? name : "";
    stored.values[Upper(valueName)] = RegValue{valueName, type, std::string((const char*)data, size)};
    return ERROR_SUCCESS;
}

LSTATUS RegDeleteKeyA(HKEY root, LPCSTR subKey)
{
    Machine& m = M();
    Log("RegDeleteKeyA", {}, subKey ? subKey : "");
    if (root != HKEY_CURRENT_USER || !subKey || !*subKey)
        return ERROR_INVALID_PARAMETER;
    if (ShouldFail(Fault::RegDelete))
        return ERROR_ACCESS_DENIED;
    std::string path = Upper(subKey);
    if (!m.registry.count(path))
        return ERROR_FILE_NOT_FOUND;
    // A key with subkeys cannot be deleted.
    for (auto& other : m.registry)
        if (other.first.size() > path.size() && other.first.compare(0, path.size() + 1, path + "\\") == 0)
            return ERROR_ACCESS_DENIED;
    m.registry.erase(path);
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key)
{
    Machine& m = M();
    Log("RegCloseKey");
    return Release(m.openKeys, key, "RegCloseKey") ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
