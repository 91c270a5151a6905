#include "support/KSFormat.h"

#include <gtest/gtest.h>

TEST(Format, PlaceholderSmoke) { EXPECT_EQ(KSFormat(std::string_view("%d"), 5), "5"); }
