// Instance-ID parsers: one marker scanner driven by a table of states.
// Pure text work; no platform calls.
#include "../platform/win32.h"
#include "device.h"

#include <stddef.h>

// A state: the marker to find, the character that ends its value, and the
// field that receives the value. A null marker takes the rest of the text.
struct ScanState {
    const char* marker;
    char end;
    size_t offset;
    size_t width;
};

// Where the value after the next occurrence of marker in text begins, or NULL.
static const char* FindValue(const char* text, const char* marker)
{
    for (; *text; text++) {
        size_t length = 0;
        while (marker[length] && text[length] == marker[length])
            length++;
        if (!marker[length])
            return text + length;
    }
    return NULL;
}

static bool ScanMarkers(const char* text, const ScanState* states, int count, void* record, size_t recordSize)
{
    char* bytes = (char*)record;
    for (size_t i = 0; i < recordSize; i++)
        bytes[i] = 0;

    const char* position = text;
    for (int state = 0; state < count; state++) {
        const ScanState* current = &states[state];
        char* field = bytes + current->offset;
        if (!current->marker) {
            // The position stands on the separator that ended the last value.
            const char* value = position + 1;
            if (*position == 0 || *value == 0)
                return false;
            for (size_t i = 0; value[i] && i < current->width - 1; i++)
                field[i] = value[i];
            return true;
        }
        const char* value = FindValue(position, current->marker);
        if (!value)
            return false;
        const char* end = value;
        while (*end && *end != current->end)
            end++;
        if (*end == 0)
            return false;
        for (size_t i = 0; value + i < end && i < current->width - 1; i++)
            field[i] = value[i];
        position = end;
    }
    return true;
}

static const ScanState DISK_STATES[] = {
    {"VEN_", '&', offsetof(DiskIdentity, vendor), sizeof(DiskIdentity::vendor)},
    {"PROD_", '&', offsetof(DiskIdentity, product), sizeof(DiskIdentity::product)},
    {"REV_", '\\', offsetof(DiskIdentity, revision), sizeof(DiskIdentity::revision)},
};

// Storport names a disk without a revision (USB Attached SCSI drives, for one):
// SCSI\DISK&VEN_…&PROD_…\instance.
static const ScanState STORPORT_STATES[] = {
    {"VEN_", '&', offsetof(DiskIdentity, vendor), sizeof(DiskIdentity::vendor)},
    {"PROD_", '\\', offsetof(DiskIdentity, product), sizeof(DiskIdentity::product)},
};

static const ScanState USB_STATES[] = {
    {"VID_", '&', offsetof(UsbIdentity, vid), sizeof(UsbIdentity::vid)},
    {"PID_", '\\', offsetof(UsbIdentity, pid), sizeof(UsbIdentity::pid)},
    {NULL, 0, offsetof(UsbIdentity, serial), sizeof(UsbIdentity::serial)},
};

bool ParseDiskDeviceId(const char* idText, DiskIdentity* identityOut)
{
    // Without a revision after the product, the product ends at the instance part's backslash.
    const char* product = FindValue(idText, "PROD_");
    if (product && !FindValue(product, "REV_"))
        return ScanMarkers(idText, STORPORT_STATES, 2, identityOut, sizeof(*identityOut));
    return ScanMarkers(idText, DISK_STATES, 3, identityOut, sizeof(*identityOut));
}

bool ParseUsbDeviceId(const char* idText, UsbIdentity* identityOut)
{
    return ScanMarkers(idText, USB_STATES, 3, identityOut, sizeof(*identityOut));
}
