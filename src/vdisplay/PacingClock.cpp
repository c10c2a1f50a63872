#include "vdisplay/PacingClock.h"

#include <algorithm>
#include <chrono>

namespace qv::vdisplay {

uint64_t SteadyPacingClock::nowNs() {
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(since).count());
}

void SteadyPacingClock::sleepUntil(uint64_t deadlineNs, const std::atomic<bool>& stop) {
    // Waits in slices of at most a second, so a far deadline (up to the
    // largest value) never overflows the library's time arithmetic.
    constexpr uint64_t kSliceNs = 1'000'000'000;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (stop.load()) return;
        uint64_t now = nowNs();
        if (now >= deadlineNs) return;
        uint64_t wait = std::min(deadlineNs - now, kSliceNs);
        woken_.wait_for(lock, std::chrono::nanoseconds(static_cast<int64_t>(wait)));
    }
}

void SteadyPacingClock::wake() {
    std::lock_guard<std::mutex> lock(mutex_);
    woken_.notify_all();
}

} // namespace qv::vdisplay
