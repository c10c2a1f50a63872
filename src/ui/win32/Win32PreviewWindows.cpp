#include "ui/win32/Win32PreviewWindows.h"

#include "capture/win32/D3DPreviewGpu.h"
#include "capture/win32/Win32CaptureClock.h"
#include "ui/PreviewWindow.h"
#include "ui/win32/Win32PreviewSurface.h"

namespace qv {

std::unique_ptr<LivePreview> Win32PreviewWindows::open(uint64_t instance, const std::string& title,
                                                       const std::string& gdiName) {
    // GetTickCount64 and Sleep; nothing of it is per window.
    static Win32CaptureClock clock;
    auto window = std::make_unique<PreviewWindow>(std::make_unique<Win32PreviewSurface>(instance),
                                                  std::make_unique<D3DPreviewGpu>(), clock);
    if (!window->create(title, gdiName)) return nullptr;
    return window;
}

} // namespace qv
