// Process entry, the hidden main window and the dispatch of its messages.
#include "../platform/win32.h"
#include "app.h"
#include "texts.h"
#include "../drives/drives.h"
#include "../device/device.h"
#include "../exclusions/exclusions.h"

#define NAME_SIZE 100

static HINSTANCE appInstance;
static HWND mainWindow;
static char windowTitle[NAME_SIZE];
static char windowClassName[NAME_SIZE];
static NOTIFYICONDATAA trayIcon;
static UINT taskbarCreatedMessage;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    LoadStringA(instance, IDS_WINDOW_TITLE, windowTitle, NAME_SIZE);
    LoadStringA(instance, IDS_CLASS_NAME, windowClassName, NAME_SIZE);
    RegisterMainWindowClass(instance);
    // A start that failed must not look like a clean exit to whoever started the program.
    if (!CreateMainWindow(instance))
        return 1;

    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDA_MAIN_ACCEL));
    MSG message = {};
    while (GetMessageA(&message, NULL, 0, 0)) {
        // Accelerators are translated for whichever window the keystroke is addressed to. Then a
        // settings dialog's keys (Tab, Enter, Escape) go to the dialog manager, which dispatches
        // the rest; the main window has no controls for it to move between.
        if (!TranslateAcceleratorA(message.hwnd, accelerators, &message) &&
            !IsDialogMessageA(GetAncestor(message.hwnd, GA_ROOT), &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return (int)message.wParam;
}

// The process entry (linked with -e, see CMakeLists.txt). It is our own rather than the C
// runtime's start-up code because the program needs nothing that code provides, and the exe
// is about 10 KiB smaller without it and msvcrt.dll. So the program must never need it: no
// C runtime function and no thread-local data (either fails to link), and no static
// constructor (it would silently never run). WinMain reads neither its command line nor its
// show state.
extern "C" void WINAPI KestrabinEntry(void)
{
    ExitProcess((UINT)WinMain(GetModuleHandleA(NULL), NULL, NULL, SW_SHOWDEFAULT));
}

void RegisterMainWindowClass(HINSTANCE instance)
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_KESTRABIN));
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDM_MAIN_MENU);
    windowClass.lpszClassName = windowClassName;
    windowClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SMALL));
    RegisterClassExA(&windowClass);
}

int CreateMainWindow(HINSTANCE instance)
{
    appInstance = instance;
    // Explorer announces a new notification area with this message; the icon
    // must then be added again or the program loses its only way in.
    taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
    HWND window = CreateWindowExA(0, windowClassName, windowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT,
        0, NULL, NULL, instance, NULL);
    if (!window)
        return 0;
    mainWindow = window;
    AddTrayIcon();
    ShowWindow(window, SW_HIDE);
    UpdateWindow(window);
    return 1;
}

int AddTrayIcon(void)
{
    HICON icon = (HICON)LoadImageA(appInstance, MAKEINTRESOURCEA(IDI_KESTRABIN), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE);
    NOTIFYICONDATAA record = {};
    record.cbSize = sizeof(record);
    record.hWnd = mainWindow;
    record.uID = TRAY_ICON_ID;
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;
    record.uCallbackMessage = WM_TRAYNOTIFY;
    record.hIcon = icon;
    lstrcpynA(record.szTip, TEXT_TOOLTIP, sizeof(record.szTip));
    record.uTimeout = 10000;
    trayIcon = record;
    Shell_NotifyIconA(NIM_ADD, &trayIcon);
    // The notification area keeps its own copy of the icon.
    if (icon)
        DestroyIcon(icon);
    return 1;
}

static void OpenSettingsDialog(HWND owner)
{
    HWND dialog = CreateDialogParamA(appInstance, MAKEINTRESOURCEA(IDD_SETTINGS), owner, SettingsDlgProc, 0);
    if (dialog)
        ShowWindow(dialog, SW_SHOW);
}

static void EjectCommand(WORD identifier)
{
    char driveString[4] = {};
    wsprintfA(driveString, "%c", 'A' + (identifier & 0x1F));
    EjectDrive(driveString);
}

static LRESULT HandleCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    // Only the identifier counts: accelerators send it with 1 in the high word.
    WORD identifier = LOWORD(wParam);
    if (identifier == CMD_ABOUT)
        MessageBoxA(NULL, TEXT_ABOUT, TEXT_ABOUT_CAPTION, MB_OK);
    else if (identifier == CMD_EXIT)
        DestroyWindow(mainWindow);
    else if (identifier == CMD_SETTINGS)
        OpenSettingsDialog(window);
    else if (identifier & CMD_EJECT_BASE)
        EjectCommand(identifier);
    else
        return DefWindowProcA(window, WM_COMMAND, wParam, lParam);
    return 0;
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        // Without the list the program cannot run: fail the window's creation.
        if (!CreateTrackedDriveList())
            return -1;
        ScanDrives();
        return 0;
    case WM_DESTROY:
        // However the window goes (Exit, WM_CLOSE, taskkill), the icon goes with it: Explorer
        // would show it until the pointer passes over it. A window that failed its creation has none.
        if (trayIcon.hWnd)
            Shell_NotifyIconA(NIM_DELETE, &trayIcon);
        PostQuitMessage(0);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint = {};
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_COMMAND:
        return HandleCommand(window, wParam, lParam);
    case WM_DEVICECHANGE:
        return HandleDeviceChange(window, wParam, lParam);
    case WM_TRAYNOTIFY:
        if (wParam != TRAY_ICON_ID)
            return 0;
        if (lParam == WM_RBUTTONUP) {
            ShowTrayMenu(window);
            return 0;
        }
        break;
    default:
        if (taskbarCreatedMessage && message == taskbarCreatedMessage) {
            AddTrayIcon();
            return 0;
        }
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
