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

// Reads a value into a zero-filled field; a longer value is cut to the field, keeping its
// terminating zero. 0 when the value is there but could not be read.
static int ReadValue(HKEY key, const char* name, char* field, DWORD width)
{
    DWORD type = 0;
    DWORD size = 0;
    LSTATUS status = RegQueryValueExA(key, name, NULL, &type, NULL, &size);
    if (status == ERROR_FILE_NOT_FOUND || (status == ERROR_SUCCESS && size == 0))
        return 1;
    if (status != ERROR_SUCCESS)
        return 0;
    if (size < width)
        return RegQueryValueExA(key, name, NULL, &type, (LPBYTE)field, &size) == ERROR_SUCCESS;
    // The platform copies nothing into a buffer that is too small.
    HANDLE heap = GetProcessHeap();
    BYTE* whole = (BYTE*)HeapAlloc(heap, HEAP_ZERO_MEMORY, size);
    if (!whole)
        return 0;
    status = RegQueryValueExA(key, name, NULL, &type, whole, &size);
    for (DWORD i = 0; status == ERROR_SUCCESS && i < size && i < width - 1; i++)
        field[i] = (char)whole[i];
    HeapFree(heap, 0, whole);
    return status == ERROR_SUCCESS;
}

// Takes the record; 0 when there was no memory for its node.
static int AppendEntry(ExclusionList* list, UsbIdentity* identity)
{
    DriveNode* node = (DriveNode*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(DriveNode));
    if (!node) {
        HeapFree(GetProcessHeap(), 0, identity);
        return 0;
    }
    node->prev = list->last;
    node->data = identity;
    if (list->last)
        list->last->next = node;
    else
        list->first = node;
    list->last = node;
    return 1;
}

int LoadExclusionList(ExclusionList* list)
{
    char path[KEY_PATH_SIZE];
    int complete = 1;
    for (int number = 0;; number++) {
        FormatEntryKeyPath(path, number);
        HKEY key = NULL;
        LSTATUS opened = RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key);
        // The first missing number ends the list; a key that is there but cannot be opened ends it early.
        if (opened != ERROR_SUCCESS)
            return opened == ERROR_FILE_NOT_FOUND ? complete : 0;
        UsbIdentity* identity = (UsbIdentity*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(UsbIdentity));
        if (identity) {
            complete &= ReadValue(key, "VID", identity->vid, sizeof(identity->vid));
            complete &= ReadValue(key, "PID", identity->pid, sizeof(identity->pid));
            complete &= ReadValue(key, "SEL", identity->serial, sizeof(identity->serial));
        }
        RegCloseKey(key);
        // Out of memory: the list ends here rather than skipping an entry.
        if (!identity || !AppendEntry(list, identity))
            return 0;
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

static int WriteValue(HKEY key, const char* name, const char* field)
{
    return RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)field, (DWORD)lstrlenA(field)) == ERROR_SUCCESS;
}

int AddExclusion(ExclusionList* list, const UsbIdentity* identity)
{
    UsbIdentity* copy = (UsbIdentity*)HeapAlloc(GetProcessHeap(), 0, sizeof(UsbIdentity));
    if (!copy)
        return 0;
    *copy = *identity;
    return AppendEntry(list, copy);
}

// 1 when the key was created and holds all three values.
static int WriteEntry(int number, const UsbIdentity* identity)
{
    char path[KEY_PATH_SIZE];
    FormatEntryKeyPath(path, number);
    HKEY key = NULL;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, NULL, &key,
            NULL) != ERROR_SUCCESS)
        return 0;
    int written = WriteValue(key, "VID", identity->vid) && WriteValue(key, "PID", identity->pid) &&
        WriteValue(key, "SEL", identity->serial);
    RegCloseKey(key);
    return written;
}

// Only the devices the dialog showed change: a stored device without a row keeps its entry,
// a ticked one is added, an unticked one removed (a device with a ticked and an unticked row,
// two slots of one reader, stays). The keys are rewritten from 0 without gaps.
void SaveExclusionList(const ExclusionList* ticked, const ExclusionList* unticked)
{
    ExclusionList stored = {};
    // Rewriting a list not read whole would lose the entries not read.
    if (LoadExclusionList(&stored)) {
        // After a key that could not be written, nothing more is written or deleted: the entry
        // meant for that key may stand only in a later one.
        int written = 1;
        int number = 0;
        for (const DriveNode* node = stored.first; node && written; node = node->next) {
            const UsbIdentity* entry = (const UsbIdentity*)node->data;
            if (IsExcluded(ticked, entry) || !IsExcluded(unticked, entry))
                written = WriteEntry(number++, entry);
        }
        for (const DriveNode* node = ticked->first; node && written; node = node->next) {
            if (!IsExcluded(&stored, (const UsbIdentity*)node->data))
                written = WriteEntry(number++, (const UsbIdentity*)node->data);
        }
        char path[KEY_PATH_SIZE];
        for (int deleted = written; deleted; number++) {
            FormatEntryKeyPath(path, number);
            deleted = RegDeleteKeyA(HKEY_CURRENT_USER, path) == ERROR_SUCCESS;
        }
    }
    FreeExclusionList(&stored);
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
