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

// A USB stick at this letter, N = letter - 'A': its volume on disk N, the disk's interface, and
// its nodes: the disk 100 + N ("ACME STICK<letter>") under the USB device 200 + N (1234/5678,
// serial S<letter>) with this status.
inline std::string StickNodes(char letter, const std::string& status = "6000")
{
    std::string disk = std::to_string(100 + letter - 'A'), usb = std::to_string(200 + letter - 'A'), l(1, letter);
    return "node " + disk + " " + usb + " 0 USBSTOR\\DISK&VEN_ACME&PROD_STICK" + l + "&REV_1\\0\nnode " + usb + " 0 " +
        status + " USB\\VID_1234&PID_5678\\S" + l + "\n";
}
inline std::string Stick(char letter, const std::string& status = "6000")
{
    std::string n = std::to_string(letter - 'A');
    return "volume " + std::string(1, letter) + " disk " + n + "\niface disk " + n + " " +
        std::to_string(100 + letter - 'A') + " 1\n" + StickNodes(letter, status);
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
};
