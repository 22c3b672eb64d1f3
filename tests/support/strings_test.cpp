#include "support/support.hpp"

#include <gtest/gtest.h>

TEST(StrNicmp, Placeholder)
{
    EXPECT_EQ(str_nicmp("Content-type: x", "Content-Type: ", 14), 0);
}
