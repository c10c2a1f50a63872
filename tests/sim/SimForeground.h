#pragma once
#include "sim/SimWindows.h"
#include "ui/ForegroundQuery.h"

namespace qv::sim {

// Who is in front on the simulated desktop: the foreground window of
// `windows`, its process and image. Counts its captures.
class SimForeground final : public ForegroundQuery {
public:
    explicit SimForeground(SimWindows& windows) : windows_(windows) {}

    ForegroundCapture capture() override {
        ++captures;
        ForegroundCapture out;
        out.window = windows_.foreground();
        if (out.window == 0) return out;
        const SimWindow& window = windows_.window(out.window);
        out.processId = window.processId;
        if (out.processId != 0) out.imagePath = window.imagePath;
        return out;
    }

    int captures = 0;

private:
    SimWindows& windows_;
};

} // namespace qv::sim
