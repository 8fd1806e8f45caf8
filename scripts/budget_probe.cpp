// Measures the program on the stand-in for scripts/budgets.sh: what stays
// allocated or open after many broadcasts and menus, and how many platform
// calls one tray menu costs. Prints markdown; exits 1 if anything is left over.
#include <stdio.h>

#include <functional>
#include <string>

#include "../platform/host/machine.h"
#include "../app/app.h"

using machine::M;

// Runs the program from WinMain with body as its only idle step.
static void Session(const std::function<void(HWND)>& body)
{
    M().idleSteps.push_back([&]() {
        for (HWND handle : M().windowOrder)
            if (machine::FindWindowByHandle(handle) && machine::FindWindowByHandle(handle)->proc == MainWndProc)
                return body(handle);
    });
    WinMain(machine::Instance(), nullptr, (LPSTR) "", SW_SHOW);
}

static size_t Handles()
{
    size_t menus = 0;
    for (auto& menu : M().menus)
        menus += !menu.second.destroyed;
    return M().openFiles.size() + M().openSets.size() + M().openKeys.size() + M().loadedImages.size() + menus;
}

static void OpenMenu(HWND window)
{
    SendMessageA(window, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_RBUTTONUP);
    machine::PumpMessages(); // the WM_NULL after the menu
}

static std::string Letter(int index)
{
    return std::string(1, (char)('E' + index));
}

static bool Soak()
{
    machine::Reset();
    machine::AddUsbDrive('E', 1, "USBSTOR\\DISK&VEN_ACME&PROD_STICK&REV_1\\0", "USB\\VID_1234&PID_5678\\S1");
    machine::AddUsbDrive('F', 2, "USBSTOR\\DISK&VEN_ACME&PROD_CARD&REV_1\\0", "USB\\VID_1234&PID_9999\\S2");
    machine::AddUsbDrive('G', 3, "USBSTOR\\DISK&VEN_ACME&PROD_DISK&REV_1\\0", "USB\\VID_1234&PID_7777\\S3");
    // F is excluded, so every menu loads and frees a one-entry list.
    machine::SetRegString("SOFTWARE\\Kestrabin\\0", "VID", "1234");
    machine::SetRegString("SOFTWARE\\Kestrabin\\0", "PID", "9999");
    machine::SetRegString("SOFTWARE\\Kestrabin\\0", "SEL", "S2");
    bool ok = true;
    Session([&](HWND window) {
        printf("| Load | Heap blocks before | after | Handles before | after |\n|---|---:|---:|---:|---:|\n");
        size_t heap = M().heapBlocks.size(), handles = Handles();
        for (int i = 0; i < 10000; i++) {
            DEV_BROADCAST_VOLUME volume = {sizeof(volume), DBT_DEVTYP_VOLUME, 0, 1u << ('H' - 'A'), 0};
            machine::AddVolume('H', 3);
            SendMessageA(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, (LPARAM)&volume);
            M().volumes.erase('H');
            SendMessageA(window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, (LPARAM)&volume);
            M().calls.clear();
        }
        printf("| 10,000 arrival/removal pairs | %zu | %zu | %zu | %zu |\n", heap, M().heapBlocks.size(), handles,
            Handles());
        ok = ok && heap == M().heapBlocks.size() && handles == Handles();
        heap = M().heapBlocks.size(), handles = Handles();
        for (int i = 0; i < 1000; i++) {
            OpenMenu(window);
            M().calls.clear();
        }
        printf("| 1,000 tray menus | %zu | %zu | %zu | %zu |\n", heap, M().heapBlocks.size(), handles, Handles());
        ok = ok && heap == M().heapBlocks.size() && handles == Handles() && M().errors.empty();
    });
    return ok;
}

// Calls logged for one right-button release with n tracked USB drives among
// m disk interfaces; the other interfaces, other disks, enumerate first.
static size_t MenuCalls(int n, int m)
{
    machine::Reset();
    DEVINST controller = machine::AddNode("PCI\\VEN_8086&DEV_A102\\3&0", 1, DN_DISABLEABLE);
    for (int i = 0; i < m - n; i++)
        machine::AddInterface(
            GUID_DEVINTERFACE_DISK, machine::AddNode("SCSI\\DISK&VEN_ATA&PROD_SSD&REV_1\\4&0", controller, 0), i);
    for (int i = 0; i < n; i++)
        machine::AddUsbDrive('E' + i, m - n + i,
            ("USBSTOR\\DISK&VEN_ACME&PROD_STICK" + Letter(i) + "&REV_1\\0").c_str(),
            ("USB\\VID_1234&PID_5678\\S" + Letter(i)).c_str());
    size_t calls = 0;
    Session([&](HWND window) {
        M().calls.clear();
        SendMessageA(window, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_RBUTTONUP);
        calls = M().calls.size();
    });
    return calls;
}

int main()
{
    printf("### Outstanding on the stand-in\n\n");
    bool ok = Soak();
    printf("\n### Platform calls per tray menu\n\n"
           "| Tracked drives N \\ disk interfaces M | 1 | 8 | 26 |\n|---|---:|---:|---:|\n");
    for (int n : {1, 4, 8}) {
        printf("| %d |", n);
        for (int m : {1, 8, 26})
            m < n ? printf(" - |") : printf(" %zu |", MenuCalls(n, m));
        printf("\n");
    }
    if (!ok)
        fprintf(stderr, "budget_probe: heap blocks or handles left over\n");
    return ok ? 0 : 1;
}
