#include "platform/host/Classes.h"

#include <gtest/gtest.h>

TEST(ClassesTest, Placeholder) { SUCCEED(); }
