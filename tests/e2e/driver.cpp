// Drives a running kestrabin.exe (x64 or x86) from a second process under Wine, one action a call:
//   wait                     until the program's main window exists
//   menu K                   open the tray menu; choose its K-th item by keyboard (0: leave it open,
//                            -1: close it)
//   send MSG WPARAM LPARAM...
//                            send each message in turn to the main window.
//                            MSG: a number or a registered message's name; LPARAM: a number, volume
//                            letters (a DEV_BROADCAST_VOLUME of their mask) or "COM3" (a port's record)
//   gone                     until the program shows no dialog or message box
//   focused                  until a dialog of the program has the keyboard (X gives it later)
// Exit code 0 when the action was done, 1 with a line saying why otherwise.
#include <windows.h>
#include <ctype.h>
#include <dbt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static HWND app;
static DWORD appProcess;

static int Fail(const char* why, long value = 0)
{
    printf("driver: %s (%ld)\n", why, value);
    return 1;
}

// A visible top-level window of the program with this class (a menu, a dialog), or NULL; when
// focused, only while it has the keyboard.
static HWND Visible(const char* className, bool focused = false)
{
    HWND window = NULL;
    DWORD process = 0;
    while ((window = FindWindowExA(NULL, window, className, NULL)))
        if (GetWindowThreadProcessId(window, &process) && process == appProcess && IsWindowVisible(window))
            return !focused || GetForegroundWindow() == window ? window : NULL;
    return NULL;
}

static bool Await(const char* className, bool shown, bool focused = false)
{
    for (int i = 0; i < 100 && (Visible(className, focused) != NULL) != shown; i++)
        Sleep(50);
    return (Visible(className, focused) != NULL) == shown;
}

static int Menu(int item)
{
    if (!Visible("#32768"))
        PostMessageA(app, WM_USER + 1, 128, WM_RBUTTONUP);
    if (!Await("#32768", true))
        return Fail("no tray menu");
    if (item < 0)
        PostMessageA(Visible("#32768"), WM_KEYDOWN, VK_ESCAPE, 0);
    // Wine opens the menu with nothing selected; the keys skip separators.
    for (int i = 0; item > 0 && i <= item; i++) {
        PostMessageA(Visible("#32768"), WM_KEYDOWN, i < item ? VK_DOWN : VK_RETURN, 0);
        Sleep(50);
    }
    return !item || Await("#32768", false) ? 0 : Fail("the tray menu stays open");
}

static int Send(char** args, int count)
{
    for (int i = 0; i + 2 < count; i += 3) {
        const char* data = args[i + 2];
        UINT message = isdigit(args[i][0]) ? strtoul(args[i], NULL, 0) : RegisterWindowMessageA(args[i]);
        DEV_BROADCAST_VOLUME volume = {sizeof(volume), DBT_DEVTYP_VOLUME, 0, 0, 0};
        // A port's record: its header, then the name "COM3" where a volume has its unit mask.
        if (!strcmp(data, "COM3"))
            volume = {sizeof(DEV_BROADCAST_HDR) + 5, DBT_DEVTYP_PORT, 0, 0x334D4F43, 0};
        else
            for (const char* letter = data; *letter >= 'A' && *letter <= 'Z'; letter++)
                volume.dbcv_unitmask |= 1u << (*letter - 'A');
        LPARAM lParam = isdigit(data[0]) ? (LPARAM)strtoull(data, NULL, 0) : (LPARAM)&volume;
        if (!SendMessageTimeoutA(app, message, strtoull(args[i + 1], NULL, 0), lParam, 0, 5000, NULL))
            return Fail("no answer to message", (long)message);
    }
    return 0;
}

int main(int argc, char** argv)
{
    const char* action = argc > 1 ? argv[1] : "";
    for (int i = 0; i < 300 && !(app = FindWindowA("MORVANTO", "Morvanto")); i++)
        Sleep(50);
    if (!app)
        return Fail("no main window of class MORVANTO");
    GetWindowThreadProcessId(app, &appProcess);
    if (!strcmp(action, "focused"))
        return Await("#32770", true, true) ? 0 : Fail("no dialog has the keyboard");
    if (!strcmp(action, "gone"))
        return Await("#32770", false) ? 0 : Fail("a dialog stays open");
    if (!strcmp(action, "menu") && argc == 3)
        return Menu(atoi(argv[2]));
    if (!strcmp(action, "send") && argc % 3 == 2)
        return Send(argv + 2, argc - 2);
    // "wait" is done once the main window exists.
    return strcmp(action, "wait") ? Fail("usage: driver wait|menu|send|gone|focused") : 0;
}
