// Shared by the host tests: a fresh stand-in machine per test, checked
// afterwards for misuse, the program run from its entry point, and short
// views of what it left behind.
#pragma once

#include <gtest/gtest.h>

#include "../platform/host/machine.h"
#include "../app/app.h"
#include "../drives/drives.h"
#include "../device/device.h"
#include "../exclusions/exclusions.h"

using machine::M;
using V = std::vector<long long>;
using S = std::vector<std::string>;

class MachineTest : public ::testing::Test {
protected:
    void SetUp() override { machine::Reset(); }
    void TearDown() override
    {
        for (const std::string& error : M().errors)
            ADD_FAILURE() << "platform misuse: " << error;
    }

    static std::string Registry() { return machine::ExportRegistry("SOFTWARE\\Kestrabin"); }
    static std::string Sjis(const char* utf8) { return machine::Utf8ToCp932(utf8); }

    // A USB stick: disk "ACME STICK<letter>" numbered by its letter, USB device 1234/5678 with serial S<letter>.
    static machine::UsbDrive Stick(char letter, ULONG status = DN_REMOVABLE | DN_DISABLEABLE)
    {
        std::string l(1, letter), disk = "USBSTOR\\DISK&VEN_ACME&PROD_STICK" + l + "&REV_1\\0";
        return machine::AddUsbDrive(
            letter, letter - 'A', disk.c_str(), ("USB\\VID_1234&PID_5678\\S" + l).c_str(), status);
    }

    static void Exclude(int n, const std::string& serial, const std::string& vid = "1234", const char* pid = "5678")
    {
        std::string key = "SOFTWARE\\Kestrabin\\" + std::to_string(n);
        machine::SetRegString(key, "VID", vid);
        machine::SetRegString(key, "PID", pid);
        machine::SetRegString(key, "SEL", serial);
    }

    // The tracked drive strings; a list whose backward links disagree says so.
    static std::string Tracked()
    {
        std::string forward, backward;
        for (const DriveNode* node = GetTrackedDriveList()->first; node; node = node->next)
            forward += std::string((const char*)node->data) + " ";
        for (const DriveNode* node = GetTrackedDriveList()->last; node; node = node->prev)
            backward = std::string((const char*)node->data) + " " + backward;
        return forward == backward ? forward : forward + "but backwards " + backward;
    }

    // Runs the program from WinMain; each step runs, with the main window, when the queue is empty.
    static int RunProgram(std::vector<std::function<void(HWND)>> steps)
    {
        for (auto& step : steps)
            M().idleSteps.push_back([step] { step(machine::WindowsOfClass("MORVANTO").at(0)); });
        return WinMain(machine::Instance(), nullptr, (LPSTR) "", SW_SHOW);
    }

    // A tray menu: its drive entries, then whether the fixed items followed them.
    static S Menu(HWND main)
    {
        SendMessageA(main, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_RBUTTONUP);
        S lines = machine::MenuLines(M().shownMenus.at(M().shownMenus.size() - 1).items);
        S fixed = {"2048 0 -", Sjis("0 106 設定"), "2048 0 -", Sjis("0 104 Kestrabinについて"), "2048 0 -",
            Sjis("0 105 終了")};
        bool ends = lines.size() >= 6 && std::equal(fixed.begin(), fixed.end(), lines.end() - 6);
        lines.resize(ends ? lines.size() - 6 : lines.size());
        lines.push_back(ends ? "and the fixed items" : "without the fixed items");
        return lines;
    }
};
