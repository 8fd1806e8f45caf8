#include <gtest/gtest.h>
#include "../device/device.h"
TEST(Parse, Builds) { DiskIdentity d; EXPECT_TRUE(ParseDiskDeviceId("X&VEN_A&PROD_B&REV_C\\D", &d)); }
