#include "vdisplay/PendingCompletion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <thread>

namespace qv::vdisplay {
namespace {

constexpr int32_t Failed = static_cast<int32_t>(0x80004005); // E_FAIL
constexpr uint32_t Forever = 24u * 60u * 60u * 1000u;

TEST(PendingCompletionTest, TheWaiterSeesTheDeliveredResult) {
    PendingCompletion early(Failed);
    PendingCompletion::deliver(early.deliveryToken(), 0);
    EXPECT_TRUE(early.wait(0));
    EXPECT_EQ(early.result(), 0);

    // Delivered from another thread while the waiter waits.
    PendingCompletion pending(Failed);
    void* token = pending.deliveryToken();
    std::thread callback([token] { PendingCompletion::deliver(token, 7); });
    EXPECT_TRUE(pending.wait(Forever));
    callback.join();
    EXPECT_EQ(pending.result(), 7);

    // Only the first of two deliveries counts.
    PendingCompletion twice(Failed);
    void* first = twice.deliveryToken();
    void* second = twice.deliveryToken();
    PendingCompletion::deliver(first, 1);
    PendingCompletion::deliver(second, 2);
    EXPECT_EQ(twice.result(), 1);
}

TEST(PendingCompletionTest, ALateDeliveryAfterTheWaiterGaveUpTouchesOnlyLiveMemory) {
    void* token = nullptr;
    {
        PendingCompletion pending(Failed);
        token = pending.deliveryToken();
        EXPECT_FALSE(pending.wait(0));
        EXPECT_FALSE(pending.delivered());
        EXPECT_EQ(pending.result(), Failed);
    } // the waiter has returned and dropped its reference

    // The callback arrives afterwards, on another thread, as the system's
    // callbacks do; the shared state it writes into must still be alive and
    // is freed by this delivery (AddressSanitizer checks both).
    std::thread late([token] { PendingCompletion::deliver(token, 0); });
    late.join();
}

TEST(PendingCompletionTest, AnAbandonedTokenFreesItsReferenceAndLeavesTheResult) {
    PendingCompletion pending(Failed);
    PendingCompletion::abandon(pending.deliveryToken());
    EXPECT_FALSE(pending.wait(0));
    EXPECT_EQ(pending.result(), Failed);

    // A token abandoned after the waiter is gone is freed as well (the leak
    // checker would report it otherwise).
    void* token = nullptr;
    {
        PendingCompletion gone(Failed);
        token = gone.deliveryToken();
    }
    PendingCompletion::abandon(token);
}

} // namespace
} // namespace qv::vdisplay
