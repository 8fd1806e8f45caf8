// The exclusion list in the registry: HKCU\SOFTWARE\Kestrabin\0, \1, … each
// holding the REG_SZ values VID, PID and SEL.
#include "../platform/win32.h"
#include "exclusions.h"

#define BASE_KEY_PATH "SOFTWARE\\Kestrabin"
#define KEY_PATH_SIZE 256

static void FormatEntryKeyPath(char* path, int number)
{
    for (int i = 0; i < KEY_PATH_SIZE; i++)
        path[i] = 0;
    wsprintfA(path, "%s\\%d", BASE_KEY_PATH, number);
}

// Reads a value into a zero-filled field; a longer value is cut to the field,
// keeping its terminating zero.
static void ReadValue(HKEY key, const char* name, char* field, DWORD width)
{
    DWORD type = 0;
    DWORD size = 0;
    RegQueryValueExA(key, name, NULL, &type, NULL, &size);
    if (size == 0)
        return;
    if (size < width) {
        RegQueryValueExA(key, name, NULL, &type, (LPBYTE)field, &size);
        return;
    }
    // The platform copies nothing into a buffer that is too small.
    HANDLE heap = GetProcessHeap();
    BYTE* whole = (BYTE*)HeapAlloc(heap, HEAP_ZERO_MEMORY, size);
    if (!whole)
        return;
    if (RegQueryValueExA(key, name, NULL, &type, whole, &size) == ERROR_SUCCESS) {
        for (DWORD i = 0; i < size && i < width - 1; i++)
            field[i] = (char)whole[i];
    }
    HeapFree(heap, 0, whole);
}

static void AppendEntry(ExclusionList* list, UsbIdentity* identity)
{
    DriveNode* node = (DriveNode*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(DriveNode));
    if (!node) {
        HeapFree(GetProcessHeap(), 0, identity);
        return;
    }
    node->prev = list->last;
    node->data = identity;
    if (list->last)
        list->last->next = node;
    else
        list->first = node;
    list->last = node;
}

void LoadExclusionList(ExclusionList* list)
{
    char path[KEY_PATH_SIZE];
    for (int number = 0;; number++) {
        FormatEntryKeyPath(path, number);
        HKEY key = NULL;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return;
        UsbIdentity* identity = (UsbIdentity*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(UsbIdentity));
        if (identity) {
            ReadValue(key, "VID", identity->vid, sizeof(identity->vid));
            ReadValue(key, "PID", identity->pid, sizeof(identity->pid));
            ReadValue(key, "SEL", identity->serial, sizeof(identity->serial));
        }
        RegCloseKey(key);
        // Out of memory: the list ends here rather than skipping an entry.
        if (!identity)
            return;
        AppendEntry(list, identity);
    }
}

static int FieldsEqual(const char* a, const char* b)
{
    while (*a && *a == *b) {
        a++;
        b++;
    }
    return *a == *b;
}

int IsExcluded(const ExclusionList* list, const UsbIdentity* identity)
{
    for (const DriveNode* node = list->first; node; node = node->next) {
        const UsbIdentity* entry = (const UsbIdentity*)node->data;
        if (FieldsEqual(entry->vid, identity->vid) && FieldsEqual(entry->pid, identity->pid) &&
            FieldsEqual(entry->serial, identity->serial))
            return 1;
    }
    return 0;
}

static void WriteValue(HKEY key, const char* name, const char* field)
{
    RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)field, (DWORD)lstrlenA(field));
}

void SaveExclusionList(const char* tickedDrives)
{
    char path[KEY_PATH_SIZE];
    int number = 0;
    for (const char* drive = tickedDrives; *drive; drive++) {
        UsbIdentity identity = {};
        // A drive gone since the dialog opened has no identity to store; its
        // number is not used up, so the stored keys stay contiguous.
        if (!GetUsbIdentity(&identity, drive))
            continue;
        FormatEntryKeyPath(path, number);
        HKEY key = NULL;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, NULL, &key,
                NULL) == ERROR_SUCCESS) {
            WriteValue(key, "VID", identity.vid);
            WriteValue(key, "PID", identity.pid);
            WriteValue(key, "SEL", identity.serial);
            RegCloseKey(key);
        }
        number++;
    }
    for (;; number++) {
        FormatEntryKeyPath(path, number);
        if (RegDeleteKeyA(HKEY_CURRENT_USER, path) != ERROR_SUCCESS)
            return;
    }
}

void FreeExclusionList(ExclusionList* list)
{
    HANDLE heap = GetProcessHeap();
    DriveNode* node = list->last;
    while (node) {
        DriveNode* previous = node->prev;
        HeapFree(heap, 0, node->data);
        HeapFree(heap, 0, node);
        node = previous;
    }
    list->first = NULL;
    list->last = NULL;
}
