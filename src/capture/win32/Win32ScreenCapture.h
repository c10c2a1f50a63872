#pragma once
#include "capture/CapturePorts.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qv {

// DXGI desktop duplication of one output with frames copied through a
// staging texture into memory. Every call comes from the one thread that
// made it, inside a COM apartment.
class Win32ScreenCapture final : public ScreenCapture {
public:
    Win32ScreenCapture();
    ~Win32ScreenCapture() override;
    Win32ScreenCapture(const Win32ScreenCapture&) = delete;
    Win32ScreenCapture& operator=(const Win32ScreenCapture&) = delete;

    OpenResult open(const std::string& gdiName) override;
    Duplicate duplicate(int32_t& width, int32_t& height, recorder::Rotation& rotation) override;
    bool hasDuplication() const override;
    void releaseDuplication() override;
    bool createStaging(int32_t width, int32_t height) override;
    Acquire acquire(uint32_t timeoutMs, const recorder::Crop* box, recorder::Rotation rotation,
                    uint8_t* destination) override;
    void close() override;

    // The HRESULT of the last call that failed, 0 when none has.
    uint32_t lastError() const { return lastError_; }

private:
    struct Resources;
    std::unique_ptr<Resources> resources_;
    uint32_t lastError_ = 0;
};

} // namespace qv
