#pragma once
#include "ui/CaptureWindows.h"

#include <cstdint>

namespace qv {

// The region picker as a full-display layered window with per-pixel alpha:
// a top-down 32-bit DIB section holds the picture (RegionPickerCanvas), GDI
// paints its labels, and UpdateLayeredWindow shows it (with the changed
// rectangle as the dirty area after a mouse move). pick() runs its own
// message loop, in which every other window of the thread keeps getting
// its messages; a quit request that arrives meanwhile cancels the pick and
// is posted again for the program's main loop.
class Win32RegionPicker final : public RegionPicker {
public:
    static constexpr const wchar_t* kClassName = L"QuorvaneRegionPicker";
    static constexpr const wchar_t* kTitle = L"Select recording region";
    // Posted to itself after losing the keyboard focus (WM_APP + 31).
    static constexpr uint32_t kTakeFocusMessage = 0x8000 + 31;

    // instance: the module that registers the window class (HINSTANCE bits).
    bool pick(uint64_t instance, const ScreenRect& bounds, ScreenRect& result) override;
};

} // namespace qv
