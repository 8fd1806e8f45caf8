// Fuzz target: the two instance-ID parsers on arbitrary text. Each field of
// the result must end within its width, and a value never runs past the
// separator that ends it.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "../../device/device.h"

static void CheckField(const char* field, size_t width, char separator)
{
    const char* end = (const char*)memchr(field, 0, width);
    if (!end)
        abort();
    if (separator && memchr(field, separator, (size_t)(end - field)))
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Exactly the text and its zero: any read past it is caught.
    char* text = (char*)malloc(size + 1);
    memcpy(text, data, size);
    text[size] = 0;

    DiskIdentity disk;
    memset(&disk, 0xAA, sizeof(disk));
    ParseDiskDeviceId(text, &disk);
    CheckField(disk.vendor, sizeof(disk.vendor), '&');
    CheckField(disk.product, sizeof(disk.product), '&');
    CheckField(disk.revision, sizeof(disk.revision), '\\');

    UsbIdentity usb;
    memset(&usb, 0xAA, sizeof(usb));
    ParseUsbDeviceId(text, &usb);
    CheckField(usb.vid, sizeof(usb.vid), '&');
    CheckField(usb.pid, sizeof(usb.pid), '\\');
    CheckField(usb.serial, sizeof(usb.serial), 0);

    free(text);
    return 0;
}
