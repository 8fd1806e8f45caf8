// The stand-in's resources: the program's own kestrabin.rc, compiled by
// windres to a .res file, read here as the loader would read the exe's.
#include <stdio.h>
#include <string.h>

#include "machine.h"

#ifndef KESTRABIN_RES_PATH
#error "KESTRABIN_RES_PATH must name the compiled resource file"
#endif

namespace machine {

const std::vector<Resource>& Resources()
{
    static std::vector<Resource> loaded;
    static bool done = false;
    if (done)
        return loaded;
    done = true;
    FILE* file = fopen(KESTRABIN_RES_PATH, "rb");
    if (!file)
        return loaded;
    std::string bytes;
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), file)) > 0)
        bytes.append(chunk, got);
    fclose(file);

    auto word = [&](size_t at) { return (WORD)((unsigned char)bytes[at] | (unsigned char)bytes[at + 1] << 8); };
    auto dword = [&](size_t at) { return (DWORD)word(at) | (DWORD)word(at + 2) << 16; };
    // A name or type: an ordinal (0xFFFF, id) or a zero-terminated UTF-16 string.
    auto nameAt = [&](size_t& at) {
        if (word(at) == 0xFFFF) {
            std::string ordinal = "#" + std::to_string(word(at + 2));
            at += 4;
            return ordinal;
        }
        std::string text;
        while (word(at)) {
            text += (char)word(at);
            at += 2;
        }
        at += 2;
        return text;
    };
    size_t at = 0;
    while (at + 32 <= bytes.size()) {
        DWORD dataSize = dword(at);
        DWORD headerSize = dword(at + 4);
        size_t cursor = at + 8;
        Resource resource;
        resource.type = nameAt(cursor);
        resource.name = nameAt(cursor);
        cursor = (cursor + 3) & ~(size_t)3;
        resource.language = word(cursor + 6);
        resource.data = bytes.substr(at + headerSize, dataSize);
        if (!(resource.type == "#0" && dataSize == 0))
            loaded.push_back(resource);
        at = (at + headerSize + dataSize + 3) & ~(size_t)3;
    }
    return loaded;
}

const Resource* FindResource(const std::string& type, const std::string& name)
{
    for (const Resource& resource : Resources())
        if (resource.type == type && resource.name == name)
            return &resource;
    return nullptr;
}

// The loader's name for a resource given as MAKEINTRESOURCE or as text.
static std::string ResourceName(LPCSTR name)
{
    if (IS_INTRESOURCE(name))
        return "#" + std::to_string((unsigned)(uintptr_t)name);
    return name;
}

} // namespace machine

using namespace machine;

int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size)
{
    Log("LoadStringA", {id, size});
    if (!buffer || size <= 0)
        return 0;
    buffer[0] = 0;
    if (instance != Instance())
        return 0;
    const Resource* block = FindResource("#6", "#" + std::to_string(id / 16 + 1));
    if (!block)
        return 0;
    const std::string& data = block->data;
    size_t at = 0;
    for (UINT index = 0; index < 16 && at + 2 <= data.size(); index++) {
        WORD length = (WORD)((unsigned char)data[at] | (unsigned char)data[at + 1] << 8);
        at += 2;
        if (index == id % 16) {
            std::u16string text;
            for (WORD i = 0; i < length; i++)
                text += (char16_t)((unsigned char)data[at + 2 * i] | (unsigned char)data[at + 2 * i + 1] << 8);
            std::string ansi = Utf16ToCp932(text);
            int copied = (int)ansi.size() < size - 1 ? (int)ansi.size() : size - 1;
            memcpy(buffer, ansi.data(), copied);
            buffer[copied] = 0;
            return copied;
        }
        at += 2 * length;
    }
    return 0;
}

static int IconGroup(HINSTANCE instance, LPCSTR name)
{
    if (instance != Instance() || !IS_INTRESOURCE(name))
        return 0;
    int id = (int)(uintptr_t)name;
    return FindResource("#14", "#" + std::to_string(id)) ? id : 0;
}

namespace machine {

int IconGroupOf(HICON icon)
{
    uintptr_t value = (uintptr_t)icon;
    return value > 0x5000 && value < 0x6000 ? (int)(value - 0x5000) : 0;
}

} // namespace machine

HICON LoadIconA(HINSTANCE instance, LPCSTR name)
{
    Log("LoadIconA", {(long long)(uintptr_t)name});
    int group = IconGroup(instance, name);
    // Shared icons: the same handle every time, never to be destroyed.
    return group ? (HICON)(uintptr_t)(0x5000 + group) : nullptr;
}

HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy, UINT flags)
{
    Machine& m = M();
    Log("LoadImageA", {(long long)(uintptr_t)name, type, cx, cy, flags});
    int group = type == IMAGE_ICON ? IconGroup(instance, name) : 0;
    if (!group || ShouldFail(Fault::LoadImage))
        return nullptr;
    HICON icon = (HICON)NewHandle();
    m.loadedImages[icon] = group;
    return icon;
}

BOOL DestroyIcon(HICON icon)
{
    Machine& m = M();
    Log("DestroyIcon", {(long long)(uintptr_t)icon});
    return Release(m.loadedImages, icon, "DestroyIcon");
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name)
{
    Log("LoadCursorA", {(long long)(uintptr_t)instance, (long long)(uintptr_t)name});
    return instance == nullptr && name == IDC_ARROW ? (HCURSOR)(uintptr_t)0x6001 : nullptr;
}

HACCEL LoadAcceleratorsA(HINSTANCE instance, LPCSTR name)
{
    Log("LoadAcceleratorsA", {(long long)(uintptr_t)name});
    if (instance != Instance())
        return nullptr;
    const Resource* table = FindResource("#9", ResourceName(name));
    return table ? (HACCEL)table : nullptr;
}
