// Every platform call that can fail, failed in turn: nothing crashes, nothing
// is misused, and everything opened is released.
#include "support.h"

using machine::Fault;
using machine::M;

namespace {

void ThreeDrivesTwoExclusions()
{
    machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
    machine::AddUsbDrive('F', 2, DISK_ID("ACME", "CARD"), USB_ID("ABCD", "EF01", "S2"));
    machine::AddUsbDrive('G', 3, DISK_ID("Other", "DISK"), USB_ID("1111", "2222", "S3"));
    for (int n = 0; n < 2; n++) {
        std::string path = "SOFTWARE\\Kestrabin\\" + std::to_string(n);
        machine::SetRegString(path, "VID", n ? "ABCD" : "1234");
        machine::SetRegString(path, "PID", n ? "EF01" : "5678");
        machine::SetRegString(path, "SEL", n ? "S2" : "S9");
    }
}

struct Scenario {
    const char* name;
    std::function<void()> run;
};

const Scenario SCENARIOS[] = {
    {"start-up and exit",
        [] {
            ThreeDrivesTwoExclusions();
            M().idleSteps.push_back([] {
                auto windows = machine::WindowsOfClass("MORVANTO");
                if (!windows.empty())
                    PostMessageA(windows[0], WM_COMMAND, CMD_EXIT, 0);
            });
            int code = WinMain(machine::Instance(), nullptr, (LPSTR) "", SW_SHOW);
            EXPECT_TRUE(code == 0 || M().starved) << "exit code " << code;
        }},
    {"tray menu",
        [] {
            ThreeDrivesTwoExclusions();
            HWND window = CreateProgramWindow();
            SendMessageA(window, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_RBUTTONUP);
        }},
    {"settings dialog and OK",
        [] {
            ThreeDrivesTwoExclusions();
            HWND window = CreateProgramWindow();
            HWND dialog =
                CreateDialogParamA(machine::Instance(), MAKEINTRESOURCEA(IDD_SETTINGS), window, SettingsDlgProc, 0);
            if (!dialog)
                return;
            machine::SetRowTicked(GetDlgItem(dialog, IDC_EXCLUSION_LIST), 0, true);
            machine::ClickButton(dialog, IDOK);
            EXPECT_EQ(nullptr, machine::FindWindowByHandle(dialog));
        }},
    {"eject",
        [] {
            machine::UsbDrive stick =
                machine::AddUsbDrive('E', 1, DISK_ID("ACME", "STICK"), USB_ID("1234", "5678", "S1"));
            M().nodes[stick.usb].removalAnswers = {CR_REMOVE_VETOED};
            int result = EjectDrive("E");
            size_t requests = machine::CallsNamed("CM_Request_Device_EjectA").size() +
                machine::CallsNamed("CM_Query_And_Remove_SubTreeA").size();
            EXPECT_EQ(result ? 2u : 0u, requests) << "a resolved drive takes two attempts here";
        }},
};

// A fresh machine; the program's list head is made anew, since a failed
// window creation would otherwise leave it pointing into the last machine.
const DriveList* harnessHead = nullptr;

void FreshMachine()
{
    machine::Reset();
    CreateTrackedDriveList();
    harnessHead = GetTrackedDriveList();
}

// Heap blocks that may outlive a scenario: the tracked list and its strings.
size_t TrackedListBlocks()
{
    const DriveList* list = GetTrackedDriveList();
    if (!list || M().heapBlocks.count((void*)list) == 0)
        return 0;
    size_t blocks = 1;
    for (const DriveNode* node = list->first; node; node = node->next)
        blocks += 2;
    return blocks;
}

void ExpectEverythingReleased(const std::string& where)
{
    for (const std::string& error : M().errors)
        ADD_FAILURE() << where << ": platform misuse: " << error;
    EXPECT_TRUE(M().openFiles.empty()) << where << ": open file handles";
    EXPECT_TRUE(M().openSets.empty()) << where << ": open device sets";
    EXPECT_TRUE(M().openKeys.empty()) << where << ": open registry keys";
    EXPECT_TRUE(M().loadedImages.empty()) << where << ": icons not destroyed";
    // Start-up makes its own head; the one made for the harness is left over.
    size_t harness = harnessHead != GetTrackedDriveList() && M().heapBlocks.count((void*)harnessHead) ? 1 : 0;
    EXPECT_EQ(TrackedListBlocks() + harness, M().heapBlocks.size()) << where << ": heap blocks";
    for (auto& menu : M().menus)
        EXPECT_TRUE(menu.second.destroyed) << where << ": menu not destroyed";
}

} // namespace

class Faults : public MachineTest { };

TEST_F(Faults, EveryFailingCallIsSurvivedAndReleased)
{
    int walked = 0;
    for (const Scenario& scenario : SCENARIOS) {
        FreshMachine();
        scenario.run();
        ExpectEverythingReleased(std::string(scenario.name) + ", no fault");
        std::map<Fault, int> counts = M().callCounts;
        for (auto& kind : counts) {
            for (int nth = 1; nth <= kind.second; nth++) {
                FreshMachine();
                machine::FailCall(kind.first, nth + (kind.first == Fault::HeapAlloc));
                scenario.run();
                ExpectEverythingReleased(std::string(scenario.name) + ", fault " + std::to_string((int)kind.first) +
                    " at call " + std::to_string(nth));
                walked++;
            }
        }
    }
    EXPECT_GT(walked, 100) << "the walk covered too few calls";
    machine::Reset();
}
