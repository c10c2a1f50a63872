#pragma once
#include <cstdint>

namespace qv {

// Milliseconds since the system started (GetTickCount64 on Windows): a
// monotonic count for measuring intervals, never for telling the time.
class TickSource {
public:
    virtual ~TickSource() = default;
    virtual uint64_t milliseconds() = 0;
};

} // namespace qv
