#include "test_environment.h"

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    isolateTestEnvironment();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
