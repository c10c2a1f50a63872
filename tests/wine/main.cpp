// Adapter tests: run the Win32 adapters for real under Wine. A test that needs
// something Wine does not implement calls GTEST_SKIP() with the reason.
#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    std::fflush(stdout);
    return rc;
}
