#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace qv::vdisplay {

// A monotonic clock in nanoseconds that a pacing thread sleeps on. Tests give
// the backends a clock that only moves when the test moves it.
class PacingClock {
public:
    virtual ~PacingClock() = default;
    virtual uint64_t nowNs() = 0;
    // Returns once the clock has reached deadlineNs, or earlier once stop is
    // set and wake() has been called.
    virtual void sleepUntil(uint64_t deadlineNs, const std::atomic<bool>& stop) = 0;
    // Wakes every sleeper so it looks at its stop flag again.
    virtual void wake() = 0;
};

// std::chrono::steady_clock.
class SteadyPacingClock final : public PacingClock {
public:
    uint64_t nowNs() override;
    void sleepUntil(uint64_t deadlineNs, const std::atomic<bool>& stop) override;
    void wake() override;

private:
    std::mutex mutex_;
    std::condition_variable woken_;
};

} // namespace qv::vdisplay
