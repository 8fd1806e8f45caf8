// HKEY_CURRENT_USER in memory, with the registry's own rules: names in any case, values in the
// order they were made, data stored as given (no terminator added), nothing copied into a
// buffer too small, reads and writes only through a key opened with the access they need, and
// keys that refuse write access.
#include "host.h"

#include <string.h>

#include <algorithm>
#include <map>
#include <set>

struct Value {
    std::string name;
    DWORD type;
    std::string data;
};

static std::map<std::string, std::vector<Value>> keys;
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

static std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), ::toupper);
    return text;
}

static LSTATUS Open(HKEY root, LPCSTR path, REGSAM access, PHKEY key, bool create)
{
    if (root != HKEY_CURRENT_USER)
        return SimWrite("refuse registry root"), ERROR_INVALID_HANDLE;
    if (!create && !keys.count(Upper(path)))
        return ERROR_FILE_NOT_FOUND;
    if ((access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) && readOnly.count(Upper(path)))
        return ERROR_ACCESS_DENIED;
    keys[Upper(path)];
    *key = (HKEY)nextKey++;
    openKeys[*key] = {Upper(path), access};
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegOpenKeyExA(HKEY root, LPCSTR path, DWORD, REGSAM access, PHKEY key)
{
    return SimFails("RegOpenKeyExA") ? ERROR_ACCESS_DENIED : Open(root, path, access, key, false);
}

LSTATUS WINAPI RegCreateKeyExA(
    HKEY root, LPCSTR path, DWORD, LPSTR, DWORD, REGSAM access, LPSECURITY_ATTRIBUTES, PHKEY key, LPDWORD)
{
    return SimFails("RegCreateKeyExA") ? ERROR_ACCESS_DENIED : Open(root, path, access, key, true);
}

// The key's values, when it is open with the access the call needs.
static std::vector<Value>* Values(HKEY key, REGSAM needed, const char* call)
{
    auto open = openKeys.find(key);
    if (open == openKeys.end() || (open->second.second & needed) != needed)
        return SimWrite((std::string("refuse ") + call).c_str()), nullptr;
    return &keys[open->second.first];
}

static Value* Find(std::vector<Value>& values, const std::string& name)
{
    for (Value& value : values)
        if (Upper(value.name) == Upper(name))
            return &value;
    return nullptr;
}

LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size)
{
    std::vector<Value>* values = Values(key, KEY_QUERY_VALUE, "RegQueryValueExA");
    if (!values || SimFails("RegQueryValueExA"))
        return ERROR_ACCESS_DENIED;
    const Value* value = Find(*values, name);
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    if (type)
        *type = value->type;
    DWORD room = size ? *size : 0;
    if (size)
        *size = (DWORD)value->data.size();
    if (data && room < value->data.size())
        return ERROR_MORE_DATA;
    if (data)
        memcpy(data, value->data.data(), value->data.size());
    return ERROR_SUCCESS;
}

static void SetValue(std::vector<Value>& values, const std::string& name, DWORD type, const std::string& data)
{
    Value* value = Find(values, name);
    if (value)
        *value = {value->name, type, data};
    else
        values.push_back({name, type, data});
}

LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD size)
{
    std::vector<Value>* values = Values(key, KEY_SET_VALUE, "RegSetValueExA");
    if (!values || SimFails("RegSetValueExA"))
        return ERROR_ACCESS_DENIED;
    SetValue(*values, name, type, std::string((const char*)data, size));
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteKeyA(HKEY root, LPCSTR path)
{
    if (root != HKEY_CURRENT_USER || SimFails("RegDeleteKeyA") || !keys.erase(Upper(path)))
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
    readOnly.insert(Upper(path));
}

void HostSetValue(const std::string& path, const std::string& name, DWORD type, const std::string& data)
{
    SetValue(keys[Upper(path)], name, type, data);
}

std::string HostRegistry(const std::string& path)
{
    std::string text;
    // Numbered keys in their numeric order, as a reader counts them.
    for (int number = 0; number < 100; number++) {
        auto key = keys.find(Upper(path) + "\\" + std::to_string(number));
        if (key == keys.end())
            continue;
        text += std::to_string(number) + ":";
        for (const Value& value : key->second) {
            std::string type = value.type == REG_SZ ? "" : std::to_string(value.type) + ":";
            text += " " + value.name + "=" + type + value.data;
        }
        text += "; ";
    }
    return text;
}
