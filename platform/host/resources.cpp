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

static std::string Hex(unsigned value)
{
    char text[16];
    snprintf(text, sizeof(text), "%X", value);
    return text;
}

// Items up to the one marked as the last (0x80), popups with their own.
static std::string MenuItems(ResourceReader& r)
{
    std::string text;
    for (WORD flags = 0; !(flags & 0x80) && r.at < r.data.size();) {
        flags = r.Word();
        std::string extra = flags & ~0x90 ? " flags " + Hex(flags & ~0x90) : "";
        if (flags & MF_POPUP) {
            std::string name = Utf16ToUtf8(r.Text());
            text += " POPUP \"" + name + "\"" + extra + " {" + MenuItems(r) + " }";
        } else {
            WORD id = r.Word();
            text += " " + std::to_string(id) + " \"" + Utf16ToUtf8(r.Text()) + "\"" + extra;
        }
    }
    return text;
}

// A version node: its key, its value (text, or the fixed part, or words), then its children.
static std::string VersionNode(ResourceReader& r)
{
    size_t start = r.at;
    WORD length = r.Word(), valueLength = r.Word(), type = r.Word();
    std::string text = Utf16ToUtf8(r.Text());
    r.Align();
    if (text == "VS_VERSION_INFO") {
        DWORD fixed[13];
        for (DWORD& value : fixed)
            value = r.Dword();
        text += " " + Hex(fixed[0]) + " file " + std::to_string(fixed[2] >> 16) + "." +
            std::to_string(fixed[2] & 0xFFFF) + "." + std::to_string(fixed[3] >> 16) + "." +
            std::to_string(fixed[3] & 0xFFFF) + " product " + std::to_string(fixed[4] >> 16) + "." +
            std::to_string(fixed[4] & 0xFFFF) + "." + std::to_string(fixed[5] >> 16) + "." +
            std::to_string(fixed[5] & 0xFFFF) + " os " + Hex(fixed[8]) + " type " + Hex(fixed[9]);
    } else if (type == 1 && valueLength) {
        text += "=" + Utf16ToUtf8(r.Text());
    } else {
        for (WORD i = 0; i < valueLength / 2; i++)
            text += " " + Hex(r.Word());
    }
    r.Align();
    std::string children;
    while (r.at + 6 <= start + length && r.at + 6 <= r.data.size())
        children += " " + VersionNode(r);
    r.at = start + length;
    r.Align();
    return children.empty() ? text : text + " {" + children + " }";
}

std::string DescribeResource(const Resource& resource)
{
    ResourceReader r{resource.data};
    std::string text;
    if (resource.type == "#4") {
        text = r.Dword() ? "not a standard menu" : "MENU";
        return text + MenuItems(r);
    }
    if (resource.type == "#9") {
        // fFlags, the key, the command, padding; 0x80 marks the last entry.
        for (WORD flags = 0; !(flags & 0x80) && r.at + 8 <= resource.data.size(); r.Word()) {
            flags = r.Word();
            WORD key = r.Word();
            text += std::string(text.empty() ? "" : ", ") + (flags & 1 ? "VIRTKEY " : "") +
                (flags & 4 ? "SHIFT " : "") + (flags & 8 ? "CONTROL " : "") + (flags & 0x10 ? "ALT " : "") + (char)key +
                " " + std::to_string(r.Word());
        }
        return text;
    }
    if (resource.type == "#6") {
        int first = (atoi(resource.name.c_str() + 1) - 1) * 16;
        for (int i = 0; i < 16; i++) {
            std::u16string value;
            for (WORD length = r.Word(); length; length--)
                value += (char16_t)r.Word();
            if (!value.empty())
                text += std::string(text.empty() ? "" : ", ") + std::to_string(first + i) + " " + Utf16ToUtf8(value);
        }
        return text;
    }
    if (resource.type == "#14") {
        r.Dword();
        for (WORD count = r.Word(); count; count--) {
            BYTE width = (BYTE)resource.data[r.at], height = (BYTE)resource.data[r.at + 1];
            r.at += 6;
            WORD bits = r.Word();
            r.Dword();
            const Resource* image = FindResource("#3", "#" + std::to_string(r.Word()));
            // The image's own header: a PNG's IHDR (RGBA), or a BITMAPINFOHEADER.
            std::string data = image ? image->data : std::string(40, '\0');
            bool png = data.compare(1, 3, "PNG") == 0;
            unsigned imageWidth = (BYTE)data[png ? 19 : 4], imageBits = png ? (BYTE)data[24] * 4 : (BYTE)data[14];
            text += std::string(text.empty() ? "" : " ") + std::to_string(width) + "x" + std::to_string(height) + "@" +
                std::to_string(bits) + (imageWidth == width && imageBits == bits ? "" : "(image differs)");
        }
        return text;
    }
    if (resource.type == "#16")
        return VersionNode(r);
    if (resource.type == "#24") {
        // A manifest: its execution level element, and whether it names other assemblies.
        size_t at = resource.data.find("<requestedExecutionLevel");
        text =
            at == std::string::npos ? "" : resource.data.substr(at + 1, resource.data.find_first_of("/>", at) - at - 1);
        return text + (resource.data.find("<dependency") == std::string::npos ? "" : " and a dependency");
    }
    return resource.data;
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

static const HCURSOR ARROW = (HCURSOR)(uintptr_t)0x6001;

bool IsArrowCursor(HCURSOR cursor)
{
    return cursor == ARROW;
}

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
    return instance == nullptr && name == IDC_ARROW ? machine::ARROW : nullptr;
}

HACCEL LoadAcceleratorsA(HINSTANCE instance, LPCSTR name)
{
    Log("LoadAcceleratorsA", {(long long)(uintptr_t)name});
    if (instance != Instance())
        return nullptr;
    const Resource* table = FindResource("#9", ResourceName(name));
    return table ? (HACCEL)table : nullptr;
}
