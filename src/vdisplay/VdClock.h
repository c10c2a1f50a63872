#pragma once
#include <cstdint>

namespace qv::vdisplay {

// Monotonic time with sub-millisecond resolution, and sleeping.
class VdClock {
public:
    virtual ~VdClock() = default;
    virtual double milliseconds() = 0;
    virtual void sleep(uint32_t milliseconds) = 0;
};

// std::chrono::steady_clock and std::this_thread::sleep_for.
class SteadyVdClock final : public VdClock {
public:
    double milliseconds() override;
    void sleep(uint32_t milliseconds) override;
};

} // namespace qv::vdisplay
