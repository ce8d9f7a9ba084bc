#include "Watchdog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

Watchdog::Watchdog(std::chrono::seconds deadline)
{
    // The name is taken now: when the deadline passes, the test's own thread is stuck.
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = test ? std::string(test->test_suite_name()) + '.' + test->name() : "The test";
    mThread = std::thread([this, deadline, name] {
        std::unique_lock lock(mMutex);
        if (mDisarmed.wait_for(lock, deadline, [this] { return mDone; }))
            return;
        std::fprintf(stderr, "%s did not finish within %lld s (a deadlock?); stopping.\n", name.c_str(),
                     static_cast<long long>(deadline.count()));
        std::fflush(stderr);
        std::abort();
    });
}

Watchdog::~Watchdog()
{
    {
        std::lock_guard lock(mMutex);
        mDone = true;
    }
    mDisarmed.notify_one();
    mThread.join();
}
