// The shared header's records as the build sees them.
#include <gtest/gtest.h>
#include "vm_abi.h"

TEST(Abi, PointersAreFourBytes)
{
    EXPECT_EQ(sizeof(void*), 4u);
    EXPECT_EQ(sizeof(methodblock), 100u);
    EXPECT_EQ(sizeof(classblock), 0x90u);
}
