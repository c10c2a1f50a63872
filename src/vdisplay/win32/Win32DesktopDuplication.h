#pragma once
#include "vdisplay/DesktopDuplication.h"

#include <memory>

namespace qv::vdisplay {

// Desktop duplication through DXGI 1.2 and a Direct3D 11 device on the
// output's own adapter.
class Win32DesktopDuplication final : public DesktopDuplication {
public:
    Win32DesktopDuplication();
    ~Win32DesktopDuplication() override;

    Start start(const std::string& gdiName, uint32_t& hresult) override;
    Frame nextFrame(uint32_t timeoutMs, uint32_t& hresult) override;
    void stop() override;

private:
    struct Resources;
    std::unique_ptr<Resources> resources_;
};

} // namespace qv::vdisplay
