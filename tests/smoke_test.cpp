#include "support.h"
class Smoke : public MachineTest {};
TEST_F(Smoke, Builds) { EXPECT_EQ(1, 1); }
