#include <gtest/gtest.h>
TEST(QbSim, Placeholder) {}
