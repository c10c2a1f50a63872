#pragma once
// The text prompt's geometry and colours, and where it opens. The Win32 view
// scales these lengths with the owner's DPI and asks Windows for the
// rectangles placement() chooses from.

#include "ui/ClassicControls.h"
#include "windows/WindowSystem.h"

#include <cstdint>
#include <optional>

namespace qv {

struct TextPromptLayout {
    // The window, in device-independent pixels.
    static constexpr int32_t kWidth = 380;
    static constexpr int32_t kHeight = 158;

    // The controls, relative to the client area.
    static constexpr DipRect kLabel{16, 12, kWidth - 16, 12 + 18};
    static constexpr DipRect kEdit{16, 36, kWidth - 16, 36 + 26};
    static constexpr DipRect kOk{kWidth - 186, 78, kWidth - 186 + 82, 78 + 30};
    static constexpr DipRect kCancel{kWidth - 96, 78, kWidth - 96 + 82, 78 + 30};
    // The dialog ids IDOK and IDCANCEL (winuser.h, learn.microsoft.com "MessageBox function").
    static constexpr uint32_t kOkId = 1;     // IDOK: Enter presses it
    static constexpr uint32_t kCancelId = 2; // IDCANCEL: Escape presses it

    // The font's character height in pixels, the same at every DPI.
    static constexpr int32_t kFontHeight = -15;

    // Colours as 0xRRGGBB.
    static constexpr uint32_t kBackground = 0x121318; // window, label and button backgrounds
    static constexpr uint32_t kEditBackground = 0x1C1E26;
    static constexpr uint32_t kText = 0xF3F5F8;

    // Where a window of the size goes: centred over the owner's window
    // rectangle when the owner is visible and that rectangle is not empty;
    // else centred on the work area of the monitor under the cursor; else
    // centred on the primary screen (origin at 0, 0). Centring divides the
    // room left over by two, truncating, so a window larger than the area
    // sticks out by the same amount on both sides.
    // owner: the owner's window rectangle, nothing when there is no owner or
    // it is hidden; cursorWork: nothing when Windows could not say.
    static ScreenRect placement(int32_t width, int32_t height, const std::optional<ScreenRect>& owner,
                                const std::optional<ScreenRect>& cursorWork, int32_t screenWidth,
                                int32_t screenHeight);
};

} // namespace qv
