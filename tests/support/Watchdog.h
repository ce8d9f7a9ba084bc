#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// Ends the test process when the test that made it runs past its deadline. Tests that wait on
// worker threads would otherwise hang until the test runner gives up minutes later when a fault
// deadlocks them; this prints the test's name and aborts, so the fault fails within seconds.
// Disarmed when destroyed.
class Watchdog
{
public:
    explicit Watchdog(std::chrono::seconds deadline = std::chrono::seconds(30));
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex mMutex;
    std::condition_variable mDisarmed;
    bool mDone = false;
    std::thread mThread;
};
