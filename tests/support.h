// Shared by the host tests: a fresh machine, registry and heap per test, checked afterwards for
// calls the platform refused, handles and keys left open and heap blocks beyond the drive list's.
#pragma once

#include <gtest/gtest.h>

#include <fstream>

#include "../platform/host/host.h"
#include "../drives/drives.h"
#include "../device/device.h"
#include "../exclusions/exclusions.h"

// The description of these devices of the catalogue, tests/devices.txt.
inline std::string Machine(const std::string& names)
{
    std::ifstream catalogue(KESTRABIN_DEVICES);
    std::string machine;
    bool named = false;
    for (std::string line; std::getline(catalogue, line);) {
        if (!line.compare(0, 7, "device "))
            named = (" " + names + " ").find(" " + line.substr(7) + " ") != std::string::npos;
        else if (named && !line.empty() && line[0] != '#')
            machine += line + "\n";
    }
    return machine;
}

// The tracked drives' letters.
inline std::string Tracked()
{
    char letters[TRACKED_LETTERS_SIZE] = {};
    GetTrackedLetters(letters, TRACKED_LETTERS_SIZE);
    return letters;
}

class HostTest : public ::testing::Test {
protected:
    void SetUp() override { Describe(""); }
    void TearDown() override
    {
        EXPECT_EQ(std::string::npos, HostLog().find("refuse")) << HostLog();
        EXPECT_EQ(0, SimOpen()) << "handles or device sets left open";
        EXPECT_EQ(0u, HostOpenKeys()) << "registry keys left open";
        EXPECT_EQ(1 + 2 * Tracked().size(), HostHeapBlocks()) << "heap blocks beyond the drive list's";
    }

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

// Rows of a table are named: NAME(row) gives the name for INSTANTIATE_TEST_SUITE_P.
#define ROW_NAMES [](const auto& row) { return std::string(row.param.name); }
