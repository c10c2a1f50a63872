#pragma once
#include <cstdint>
#include <string>

namespace qv::vdisplay {

// Desktop duplication of one output, as far as the frame-rate probe needs
// it: start on a GDI name, then take frames one at a time. The Win32 version
// (DXGI and Direct3D 11) lives in vdisplay/win32/.
class DesktopDuplication {
public:
    enum class Start {
        Started,
        NoDxgi,          // no DXGI factory
        OutputNotFound,  // no output with that GDI name
        DeviceFailed,    // no Direct3D 11 device on the output's adapter
        DuplicateFailed, // DuplicateOutput refused; hresult tells why
    };
    enum class Frame {
        Presented,    // a frame whose last present time is non-zero
        NotPresented, // a frame without a new present (pointer moves only)
        TimedOut,     // nothing within the timeout
        Failed,       // AcquireNextFrame failed otherwise; hresult tells why
    };

    virtual ~DesktopDuplication() = default;
    virtual Start start(const std::string& gdiName, uint32_t& hresult) = 0;
    // Acquires the next frame, waiting at most timeoutMs, and releases it again.
    virtual Frame nextFrame(uint32_t timeoutMs, uint32_t& hresult) = 0;
    // Releases the duplication, the device and the output.
    virtual void stop() = 0;
};

} // namespace qv::vdisplay
