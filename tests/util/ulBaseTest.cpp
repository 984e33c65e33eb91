#include "ulBase.h"

#include <gtest/gtest.h>

TEST(ulBase, DummyProcIsANoOpReturningZero) {
  EXPECT_EQ(ulDummyProc(), 0);
  EXPECT_EQ(ulDummyProc(1, "x", nullptr), 0);
}
