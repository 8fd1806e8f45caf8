// Shared by the host tests: a fresh machine, registry and heap per test. Each test ends with no
// call refused, no handle, device set or registry key open and, once its tracked drives are
// removed, no heap block beyond the list's own.
#pragma once

#include <gtest/gtest.h>

#include "catalogue.h"

class HostTest : public ::testing::Test {
protected:
    void SetUp() override { Describe(""); }
    void TearDown() override
    {
        for (char letter : Tracked())
            RemoveTrackedDrive(std::string(1, letter).c_str());
        EXPECT_EQ(heap, HostHeapBlocks()) << "heap blocks left";
        EXPECT_EQ(0, SimOpen()) << "handles or device sets left open";
        EXPECT_EQ(0u, HostOpenKeys()) << "registry keys left open";
        EXPECT_EQ(std::string::npos, HostLog().find("refuse")) << HostLog();
    }

    // This machine, an empty registry, and a new empty tracked-drive list.
    void Describe(const std::string& machine)
    {
        HostReset(machine.c_str());
        CreateTrackedDriveList();
        heap = HostHeapBlocks();
    }

    size_t heap = 0;
};

// Rows of a table are named: ROW_NAMES gives their names to INSTANTIATE_TEST_SUITE_P.
#define ROW_NAMES [](const auto& row) { return std::string(row.param.name); }
