// Shared by the host tests: a fresh machine, registry and heap per test, checked afterwards
// for calls the platform refused, and machines described in a line or two.
#pragma once

#include <gtest/gtest.h>

#include "../platform/host/host.h"
#include "../drives/drives.h"
#include "../device/device.h"
#include "../exclusions/exclusions.h"

using V = std::vector<long long>;
using S = std::vector<std::string>;

// A USB stick at this letter: disk number N = letter - 'A', disk node 100 + N ("ACME STICK<letter>")
// under USB node 200 + N (1234/5678, serial S<letter>) with this status and these removal answers.
inline std::string Stick(char letter, const char* status = "6000", const char* answers = "")
{
    int n = letter - 'A';
    char text[300];
    snprintf(text, sizeof(text),
        "volume %c disk %d\niface disk %d %d 1\nnode %d %d 0 USBSTOR\\DISK&VEN_ACME&PROD_STICK%c&REV_1\\0\n"
        "node %d 0 %s USB\\VID_1234&PID_5678\\S%c %s\n",
        letter, n, n, 100 + n, 100 + n, 200 + n, letter, 200 + n, status, letter, answers);
    return text;
}

class HostTest : public ::testing::Test {
protected:
    void SetUp() override { Describe(""); }
    void TearDown() override { EXPECT_EQ(std::string::npos, HostLog().find("refuse")) << HostLog(); }

    // A new machine and registry, and a new empty tracked-drive list.
    static void Describe(const std::string& machine)
    {
        HostReset(machine.c_str());
        CreateTrackedDriveList();
    }

    static void Exclude(int n, const std::string& serial, const std::string& vid = "1234", const char* pid = "5678")
    {
        std::string key = "SOFTWARE\\Kestrabin\\" + std::to_string(n);
        HostSetValue(key, "VID", REG_SZ, vid);
        HostSetValue(key, "PID", REG_SZ, pid);
        HostSetValue(key, "SEL", REG_SZ, serial);
    }

    static std::string Registry() { return HostRegistry("SOFTWARE\\Kestrabin"); }

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
};
