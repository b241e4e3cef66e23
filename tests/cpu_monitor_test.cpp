#include <gtest/gtest.h>

#include "CPUMonitor.h"

TEST(CPUMonitor, Placeholder) { EXPECT_EQ(CPUMonitor::averageUsage(), 0.0); }
