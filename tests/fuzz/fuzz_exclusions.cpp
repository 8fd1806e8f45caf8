// Fuzz target: loading the exclusion list from whatever the registry holds
// under SOFTWARE\Kestrabin, testing identities against it, and freeing it.
//
// Input: three identity fields to test, then records of
//   key (low 4 bits: entry number; 0xF0 set: inject a fault instead),
//   name selector, type, 16-bit length, fill byte, then up to length bytes
// (a short input is padded with the fill byte up to the length).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "../../platform/host/machine.h"
#include "../../exclusions/exclusions.h"
#include "input.h"

using machine::M;

static const char* const NAMES[] = {"VID", "PID", "SEL", "vid", "Sel", "Other", "", "VID2"};

static void ReadField(FuzzInput& in, char* field, size_t width)
{
    size_t length = in.Byte() % width;
    for (size_t i = 0; i < length; i++)
        field[i] = (char)in.Byte();
    field[length] = 0;
}

static void CheckTerminated(const char* field, size_t width, const char* what)
{
    if (!memchr(field, 0, width))
        FAIL("%s: no terminating zero within %zu bytes", what, width);
}

// What the program should hold for a value: the bytes up to the first zero,
// cut to the field.
static std::string Expected(const std::string& path, const char* name, size_t width)
{
    const machine::RegValue* value = machine::FindRegValue(path, name);
    if (!value)
        return std::string();
    std::string data = value->data.substr(0, width - 1);
    return data.substr(0, strnlen(data.c_str(), data.size()));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    machine::Reset();
    FuzzInput in = {data, size, 0};

    UsbIdentity probe = {};
    ReadField(in, probe.vid, sizeof(probe.vid));
    ReadField(in, probe.pid, sizeof(probe.pid));
    ReadField(in, probe.serial, sizeof(probe.serial));

    bool faults = false;
    while (in.More()) {
        uint8_t key = in.Byte();
        if ((key & 0xF0) == 0xF0) {
            static const machine::Fault kinds[] = {
                machine::Fault::HeapAlloc, machine::Fault::RegOpen, machine::Fault::RegQuery};
            machine::FailCall(kinds[(key & 0x0F) % 3], 1 + in.Byte() % 64);
            faults = true;
            continue;
        }
        std::string path = "SOFTWARE\\Kestrabin\\" + std::to_string(key & 0x0F);
        uint8_t selector = in.Byte();
        std::string name;
        if (selector < 0xF0) {
            name = NAMES[selector % 8];
        } else {
            for (int length = selector & 0x0F; length > 0; length--)
                name += (char)in.Byte();
        }
        DWORD type = in.Byte();
        size_t length = in.Word();
        char fill = (char)in.Byte();
        std::string value;
        while (value.size() < length && in.More())
            value += (char)in.Byte();
        value.resize(length, fill);
        machine::SetRegValue(path, name, type, value);
    }

    ExclusionList list = {};
    LoadExclusionList(&list);

    int count = 0;
    const DriveNode* previous = nullptr;
    for (const DriveNode* node = list.first; node; node = node->next) {
        if (node->prev != previous)
            FAIL("entry %d: backward link disagrees", count);
        const UsbIdentity* entry = (const UsbIdentity*)node->data;
        CheckTerminated(entry->vid, sizeof(entry->vid), "vid");
        CheckTerminated(entry->pid, sizeof(entry->pid), "pid");
        CheckTerminated(entry->serial, sizeof(entry->serial), "serial");
        if (!faults) {
            std::string path = "SOFTWARE\\Kestrabin\\" + std::to_string(count);
            if (!machine::HasRegKey(path))
                FAIL("entry %d has no key", count);
            if (Expected(path, "VID", sizeof(entry->vid)) != entry->vid ||
                Expected(path, "PID", sizeof(entry->pid)) != entry->pid ||
                Expected(path, "SEL", sizeof(entry->serial)) != entry->serial)
                FAIL("entry %d does not hold what key %s stores", count, path.c_str());
        }
        // Every loaded entry excludes its own device.
        if (!IsExcluded(&list, entry))
            FAIL("entry %d does not exclude itself", count);
        previous = node;
        count++;
    }
    if (list.last != previous)
        FAIL("the last node is not the end of the forward walk");
    if (!faults && machine::HasRegKey("SOFTWARE\\Kestrabin\\" + std::to_string(count)))
        FAIL("stopped at %d although that key exists", count);

    IsExcluded(&list, &probe);
    FreeExclusionList(&list);

    if (list.first || list.last)
        FAIL("the freed list still has nodes");
    if (!M().heapBlocks.empty())
        FAIL("%zu heap blocks left after freeing the list", M().heapBlocks.size());
    if (!M().openKeys.empty())
        FAIL("%zu registry keys left open", M().openKeys.size());
    for (const std::string& error : M().errors)
        FAIL("platform misuse: %s", error.c_str());
    return 0;
}
