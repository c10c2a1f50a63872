#pragma once
#include "base/TickSource.h"

namespace qv::sim {

// The simulated desktop's clock: it stands still until a test moves it. It
// starts well after boot, as it would for a program started by a user.
class SimTickSource final : public TickSource {
public:
    static constexpr uint64_t kStart = 3600000;

    uint64_t milliseconds() override { return now_; }

    void advance(uint64_t ms) { now_ += ms; }
    void set(uint64_t ms) { now_ = ms; }

private:
    uint64_t now_ = kStart;
};

} // namespace qv::sim
