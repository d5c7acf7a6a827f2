#include <gtest/gtest.h>

TEST(Placeholder, Integration) {}
