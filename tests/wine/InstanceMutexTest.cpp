// The single-instance mutex as a real named kernel mutex.
#include "app/win32/Win32InstanceMutex.h"
#include "base/StrPrintf.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <future>
#include <string>
#include <thread>

namespace qv {
namespace {

using Created = InstanceMutex::CreateResult;
using Waited = InstanceMutex::WaitResult;

// A name of this test run only, so nothing else on the machine is touched.
std::string uniqueName() {
    static int counter = 0;
    return strprintf("Quorvane.InstanceMutexTest.%lu.%d", static_cast<unsigned long>(GetCurrentProcessId()),
                     ++counter);
}

TEST(InstanceMutexTest, SecondCreatorSeesItAlreadyExists) {
    const std::string name = uniqueName();
    Win32InstanceMutex first;
    Win32InstanceMutex second;
    EXPECT_EQ(first.create(name), Created::Owned);
    EXPECT_EQ(second.create(name), Created::AlreadyExists);
    second.release();
    first.release();

    // Once every handle is closed the name is free again.
    Win32InstanceMutex third;
    EXPECT_EQ(third.create(name), Created::Owned);
}

TEST(InstanceMutexTest, WaiterGetsTheMutexOnlyOnceTheOwnerLetsGo) {
    const std::string name = uniqueName();
    Win32InstanceMutex owner;
    ASSERT_EQ(owner.create(name), Created::Owned);

    // The waiter is another thread: a mutex is re-entrant for its owning thread.
    Win32InstanceMutex waiter;
    std::thread([&] {
        ASSERT_EQ(waiter.create(name), Created::AlreadyExists);
        EXPECT_EQ(waiter.wait(0), Waited::TimedOut);
    }).join();

    owner.release();
    std::thread([&] {
        EXPECT_EQ(waiter.wait(10000), Waited::Acquired);
        waiter.release();
    }).join();
}

TEST(InstanceMutexTest, OwnerThatEndsWithoutReleasingAbandonsIt) {
    const std::string name = uniqueName();
    Win32InstanceMutex waiter;
    std::promise<void> created;
    std::promise<void> seen;
    std::thread owner([&] {
        Win32InstanceMutex mutex;
        EXPECT_EQ(mutex.create(name), Created::Owned);
        created.set_value();
        seen.get_future().wait();
        // Ends owning it: the handle is closed without ReleaseMutex.
    });
    created.get_future().wait();
    EXPECT_EQ(waiter.create(name), Created::AlreadyExists);
    seen.set_value();
    owner.join();

    EXPECT_EQ(waiter.wait(10000), Waited::Abandoned);
    waiter.release();
}

} // namespace
} // namespace qv
