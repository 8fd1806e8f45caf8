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

static RegValue* FindValue(RegKey& key, const std::string& name)
{
    for (RegValue& value : key.values)
        if (Upper(value.name) == Upper(name))
            return &value;
    return nullptr;
}

// A value keeps its place (and the spelling of its name) when it is replaced.
static void StoreValue(RegKey& key, const std::string& name, DWORD type, const std::string& data)
{
    RegValue* value = FindValue(key, name);
    if (value) {
        value->type = type;
        value->data = data;
    } else {
        key.values.push_back(RegValue{name, type, data});
    }
}

void SetRegValue(const std::string& path, const std::string& name, DWORD type, const std::string& data)
{
    StoreValue(CreateKeyPath(path), name, type, data);
}

void SetRegString(const std::string& path, const std::string& name, const std::string& text)
{
    SetRegValue(path, name, REG_SZ, text);
}

std::string ExportRegistry(const std::string& path)
{
    std::string text, prefix = Upper(path) + "\\";
    for (auto& key : M().registry) {
        if (key.first.compare(0, prefix.size(), prefix) != 0)
            continue;
        text += key.second.name.substr(prefix.size()) + ":";
        for (const RegValue& value : key.second.values)
            text += " " + value.name + "=" + std::to_string(value.type) + ":" + value.data;
        text += "; ";
    }
    return text;
}

static HKEY OpenHandle(const std::string& path, REGSAM access)
{
    HKEY handle = (HKEY)NewHandle();
    M().openKeys[handle] = {Upper(path), access};
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
    *result = OpenHandle(subKey, access);
    return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExA(HKEY root, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
    LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition)
{
    Machine& m = M();
    Log("RegCreateKeyExA", {options, access, reserved, keyClass != nullptr, security != nullptr}, subKey ? subKey : "");
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
    *result = OpenHandle(subKey, access);
    return ERROR_SUCCESS;
}

// Reading needs KEY_QUERY_VALUE, writing KEY_SET_VALUE in the access the key was opened with.
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002

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
    if (!(open->second.second & KEY_QUERY_VALUE) || ShouldFail(Fault::RegQuery))
        return ERROR_ACCESS_DENIED;
    const RegValue* value = FindValue(m.registry[open->second.first], name ? name : "");
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    DWORD needed = (DWORD)value->data.size();
    if (type)
        *type = value->type;
    if (!data) {
        if (size)
            *size = needed;
        return ERROR_SUCCESS;
    }
    // The data exactly as stored: no terminator is added. A buffer too small
    // is left undefined; here it gets what fits, unterminated.
    LSTATUS result = *size < needed ? ERROR_MORE_DATA : ERROR_SUCCESS;
    memcpy(data, value->data.data(), needed < *size ? needed : *size);
    *size = needed;
    return result;
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    Machine& m = M();
    Log("RegSetValueExA", {type, size, reserved}, name ? name : "");
    auto open = m.openKeys.find(key);
    if (open == m.openKeys.end()) {
        m.errors.push_back("RegSetValueExA: not an open key");
        return ERROR_INVALID_HANDLE;
    }
    if (!(open->second.second & KEY_SET_VALUE) || ShouldFail(Fault::RegSet))
        return ERROR_ACCESS_DENIED;
    StoreValue(m.registry[open->second.first], name ? name : "", type, std::string((const char*)data, size));
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
