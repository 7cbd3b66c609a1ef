#include "core/support/background_thread.h"

#include <gtest/gtest.h>

#include <thread>

#if defined(__linux__)
#include <sys/resource.h>
#include <unistd.h>

// Only the thread that asks gives way: the window's thread keeps its priority.
TEST(BackgroundThread, OnlyTheCallingThreadYields)
{
    const auto niceness = [] { return getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())); };
    const int before = niceness();
    if (before >= 10)
        GTEST_SKIP() << "the tests already run in the background";
    int background = before;
    std::thread([&] {
        BackgroundThread::yieldToWindows();
        background = niceness();
    }).join();
    EXPECT_GT(background, before);
    EXPECT_EQ(niceness(), before);
}
#endif
