#include <gtest/gtest.h>

#include "framework/data/DataSet.h"

TEST(Fields, Placeholder) { EXPECT_TRUE(true); }
