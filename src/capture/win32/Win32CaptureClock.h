#pragma once
#include "capture/CapturePorts.h"

namespace qv {

// The capture threads' clock over the performance counter, GetTickCount64 and
// Sleep; each capture thread lives in COM's multithreaded apartment.
class Win32CaptureClock final : public CaptureClock {
public:
    int64_t now100ns() override;
    uint64_t tickMs() override;
    void sleepMs(uint32_t milliseconds) override;
    // CoInitializeEx(COINIT_MULTITHREADED); leaveThread() undoes it only when
    // it succeeded (a thread already in another apartment keeps it).
    void enterThread() override;
    void leaveThread() override;
};

} // namespace qv
