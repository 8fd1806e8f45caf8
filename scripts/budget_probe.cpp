// Measures the code without windows on the host for scripts/budgets.sh: what stays allocated or
// open after many broadcasts and tray-menu reads, and how many platform calls one tray menu's
// reads cost. Prints markdown; exits 1 if anything is left over.
#include <stdio.h>

#include "../platform/host/host.h"
#include "../drives/drives.h"
#include "../device/device.h"
#include "../exclusions/exclusions.h"

static const char* const CALLS[] = {"CreateFileA", "DeviceIoControl", "SetupDiGetClassDevsA",
    "SetupDiEnumDeviceInterfaces", "SetupDiGetDeviceInterfaceDetailA", "CM_Get_Parent", "CM_Get_DevNode_Status",
    "HeapAlloc", "RegOpenKeyExA", "RegQueryValueExA"};

// A USB stick at the letter, with disk number and nodes of its own.
static std::string Stick(char letter, int number)
{
    char text[300];
    snprintf(text, sizeof(text),
        "volume %c disk %d\niface disk %d %d 1\nnode %d %d 0 USBSTOR\\DISK&VEN_ACME&PROD_STICK&REV_1\\0\n"
        "node %d 0 6000 USB\\VID_1234&PID_5678\\S%c\n",
        letter, number, number, 100 + number, 100 + number, 200 + number, 200 + number, letter);
    return text;
}

// What a tray menu reads: the exclusions, then each tracked drive's identities.
static void ReadMenu()
{
    ExclusionList exclusions = {};
    LoadExclusionList(&exclusions);
    char letters[TRACKED_LETTERS_SIZE] = {};
    GetTrackedLetters(letters, TRACKED_LETTERS_SIZE);
    for (const char* drive = letters; *drive; drive++) {
        UsbIdentity usb = {};
        DiskIdentity disk = {};
        GetUsbIdentity(&usb, drive);
        if (!IsExcluded(&exclusions, &usb))
            GetDiskIdentity(&disk, drive);
    }
    FreeExclusionList(&exclusions);
}

static int Calls()
{
    int total = 0;
    for (const char* call : CALLS)
        total += SimCount(call);
    return total;
}

static bool Soak()
{
    // E, F and G plugged in, F excluded; H comes and goes.
    std::string machine = Stick('E', 1) + Stick('F', 2) + Stick('G', 3) + "iface disk 7 107 1\nnode 107 207 0 D\n";
    machine += "node 207 0 6000 U\n";
    HostReset(machine.c_str());
    HostSetValue("SOFTWARE\\Kestrabin\\0", "VID", REG_SZ, "1234");
    HostSetValue("SOFTWARE\\Kestrabin\\0", "PID", REG_SZ, "5678");
    HostSetValue("SOFTWARE\\Kestrabin\\0", "SEL", REG_SZ, "SF");
    CreateTrackedDriveList();
    ScanDrives();
    SimDescribe((machine + "volume H disk 7\n").c_str());
    printf("| Load | Heap blocks before | after | Handles and keys before | after |\n|---|---:|---:|---:|---:|\n");
    size_t heap = HostHeapBlocks(), open = SimOpen() + HostOpenKeys();
    DWORD volume[5] = {sizeof(DEV_BROADCAST_VOLUME), DBT_DEVTYP_VOLUME, 0, 1u << ('H' - 'A'), 0};
    for (int i = 0; i < 10000; i++) {
        HandleDeviceChange(NULL, DBT_DEVICEARRIVAL, (LPARAM)volume);
        HandleDeviceChange(NULL, DBT_DEVICEREMOVECOMPLETE, (LPARAM)volume);
        HostLog().clear();
    }
    printf("| 10,000 arrival and removal pairs | %zu | %zu | %zu | %zu |\n", heap, HostHeapBlocks(), open,
        SimOpen() + HostOpenKeys());
    bool ok = heap == HostHeapBlocks() && open == SimOpen() + HostOpenKeys();
    for (int i = 0; i < 1000; i++) {
        ReadMenu();
        HostLog().clear();
    }
    printf("| 1,000 tray menus' reads | %zu | %zu | %zu | %zu |\n", heap, HostHeapBlocks(), open,
        SimOpen() + HostOpenKeys());
    return ok && heap == HostHeapBlocks() && open == SimOpen() + HostOpenKeys();
}

// Calls of one tray menu's reads with n tracked sticks among m disk interfaces; the other
// interfaces, other disks, enumerate first.
static int MenuCalls(int n, int m)
{
    std::string machine;
    for (int i = 0; i < m - n; i++)
        machine += "iface disk " + std::to_string(i) + " " + std::to_string(300 + i) + " 1\nnode " +
            std::to_string(300 + i) + " 0 0 SCSI\\DISK&VEN_ATA&PROD_SSD&REV_1\\4&0\n";
    for (int i = 0; i < n; i++)
        machine += Stick('E' + i, m - n + i);
    HostReset(machine.c_str());
    CreateTrackedDriveList();
    ScanDrives();
    int before = Calls();
    ReadMenu();
    return Calls() - before;
}

int main()
{
    printf("### Left over on the host\n\n");
    bool ok = Soak();
    printf("\n### Platform calls per tray menu, on the host (limit 14 N M + 20)\n\n"
           "| Tracked sticks N \\ disk interfaces M | 1 | 8 | 26 |\n|---|---:|---:|---:|\n");
    for (int n : {1, 4, 8}) {
        printf("| %d |", n);
        for (int m : {1, 8, 26}) {
            int calls = m < n ? 0 : MenuCalls(n, m);
            bool over = calls > 14 * n * m + 20;
            ok = ok && !over;
            m < n ? printf(" - |") : printf(over ? " **%d: over** |" : " %d |", calls);
        }
        printf("\n");
    }
    if (!ok)
        fprintf(stderr, "budget_probe: heap blocks, handles or keys left over, or too many calls\n");
    return ok ? 0 : 1;
}
