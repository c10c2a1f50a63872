#pragma once
#include "ui/CaptureWindows.h"

namespace qv {

// Opens live preview windows: each is a PreviewWindow over a Win32 window and
// a Direct3D GPU side of its own. Stateless; the controller keeps what it
// opens.
class Win32PreviewWindows final : public PreviewWindows {
public:
    std::unique_ptr<LivePreview> open(uint64_t instance, const std::string& title,
                                      const std::string& gdiName) override;
};

} // namespace qv
