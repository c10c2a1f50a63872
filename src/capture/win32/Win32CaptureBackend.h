#pragma once
#include "capture/CapturePorts.h"
#include "capture/win32/Win32CaptureClock.h"

#include <memory>

namespace qv {

// The capture services of Windows: one clock for every session and fresh
// duplication, writer and loopback objects for each recording or share.
class Win32CaptureBackend final : public CaptureBackend {
public:
    CaptureClock& clock() override { return clock_; }
    std::unique_ptr<ScreenCapture> screenCapture() override;
    std::unique_ptr<EncoderSink> encoder() override;
    std::unique_ptr<AudioLoopback> loopback() override;

private:
    Win32CaptureClock clock_;
};

} // namespace qv
