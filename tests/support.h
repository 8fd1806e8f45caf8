// Shared fixture: a fresh stand-in machine per test, and a check afterwards
// that the program used the platform correctly.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "../platform/host/machine.h"
#include "../app/app.h"
#include "../drives/drives.h"
#include "../device/device.h"
#include "../exclusions/exclusions.h"

class MachineTest : public ::testing::Test {
protected:
    void SetUp() override { machine::Reset(); }
    void TearDown() override
    {
        for (const std::string& error : machine::M().errors)
            ADD_FAILURE() << "platform misuse: " << error;
    }
};

// A window of the program's class, as start-up makes it; its creation makes
// the tracked list and scans the drives.
inline HWND CreateProgramWindow()
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.lpszClassName = "MORVANTO";
    RegisterClassExA(&windowClass);
    return CreateWindowExA(0, "MORVANTO", "Morvanto", 0, 0, 0, 0, 0, nullptr, nullptr, machine::Instance(), nullptr);
}

// Instance IDs of a typical USB stick.
#define DISK_ID(vendor, product) "USBSTOR\\DISK&VEN_" vendor "&PROD_" product "&REV_1.00\\0123456789&0"
#define USB_ID(vid, pid, serial) "USB\\VID_" vid "&PID_" pid "\\" serial

// The text as the program holds it: code page 932.
inline std::string Sjis(const char* utf8)
{
    return machine::Utf8ToCp932(utf8);
}

// Drive strings of the tracked list, in order.
inline std::string TrackedList()
{
    std::string text;
    const DriveList* list = GetTrackedDriveList();
    for (const DriveNode* node = list ? list->first : nullptr; node; node = node->next)
        text += std::string(text.empty() ? "" : " ") + (const char*)node->data;
    return text;
}
