#pragma once
#include "base/ScreenPoint.h"
#include "ui/ClassicControls.h"
#include "web/SettingsCallbacks.h"
#include "windows/WindowSystem.h"

#include <cstdint>
#include <vector>

namespace qv {

class SettingsSurface;
struct Config;

// The settings window used when the embedded browser is not available: the
// core preferences as check boxes, two drop-down lists and a column of
// buttons, in the program's dark look. Every change is stored in the
// settings and saved at once.
//
// This class holds the decisions: which controls, where, with which
// captions and states; where the window opens; what each command does.
// SettingsSurface carries them out. User-interface thread only.
class SettingsWindow {
public:
    // Control ids.
    static constexpr uint32_t kStartWithWindows = 1001;
    static constexpr uint32_t kAutoRestore = 1002;
    static constexpr uint32_t kAutoCheckUpdates = 1003;
    static constexpr uint32_t kAutoInstallUpdates = 1004;
    static constexpr uint32_t kMonochromeIcon = 1005;
    static constexpr uint32_t kDevChannel = 1006;
    static constexpr uint32_t kRecordingAudio = 1007;
    static constexpr uint32_t kMaxPreviews = 1008;
    static constexpr uint32_t kRecordingFps = 1009;
    static constexpr uint32_t kArrange = 1010;
    static constexpr uint32_t kCheckNow = 1011;
    static constexpr uint32_t kOpenConfigFolder = 1012;
    static constexpr uint32_t kRecordingFolder = 1013;
    static constexpr uint32_t kOpenRecordings = 1014;
    static constexpr uint32_t kClose = 1015;
    static constexpr uint32_t kRestoreWindows = 1016;

    // WM_COMMAND notification codes the window tells apart. winuser.h values,
    // learn.microsoft.com "BN_CLICKED notification code" and "CBN_SELCHANGE
    // notification code".
    static constexpr uint32_t kClicked = 0;   // BN_CLICKED
    static constexpr uint32_t kSelChange = 1; // CBN_SELCHANGE

    // Lengths in device-independent pixels.
    static constexpr int32_t kClientWidth = 460;
    static constexpr int32_t kMargin = 22;
    static constexpr int32_t kContentWidth = kClientWidth - 2 * kMargin;

    // The frame rates the list offers, in its order.
    static constexpr int32_t kFrameRates[4] = {15, 24, 30, 60};

    // Colours of this window's text, as 0xRRGGBB; the backgrounds are the
    // shared look's.
    static constexpr uint32_t kText = 0xF3F5F8;
    static constexpr uint32_t kDisabledText = 0x979EAD;
    // The corner ellipse of the owner-drawn buttons, in pixels.
    static constexpr int kButtonCorner = 9;

    explicit SettingsWindow(SettingsSurface& surface);
    // Destroys the window, if it is open.
    ~SettingsWindow();
    SettingsWindow(const SettingsWindow&) = delete;
    SettingsWindow& operator=(const SettingsWindow&) = delete;

    // Keeps the settings and the callbacks, replacing earlier ones. When the
    // window is open already it is only shown and brought to the front, with
    // its controls as they are. Otherwise the window is created with the
    // controls of the current settings and opened at the cursor, inside the
    // work area. False when the window cannot be created (logged).
    bool create(uint64_t instance, Config& config, SettingsCallbacks callbacks);
    bool isOpen() const;

    // --- Reported by the window procedure -----------------------------------
    // WM_COMMAND: the control id and the notification code.
    void onCommand(uint32_t id, uint32_t notification);
    // WM_CLOSE: destroys the window. Once it is gone the next create builds
    // a new one.
    void onClose();

    // The controls for these settings, top to bottom, with their rectangles.
    static std::vector<ClassicControl> controls(const Config& config, bool startsWithWindows);
    // The client area's height: the bottom of the last step.
    static int32_t clientHeight();
    // Where a window of the size opens: at the cursor, moved left and up so
    // that it ends inside the work area, then right and down so that it
    // starts inside it.
    static ScreenRect placement(ScreenPoint cursor, int32_t width, int32_t height, const ScreenRect& work);
    // How an owner-drawn button is painted.
    static ButtonPaint buttonPaint(bool pressed, bool enabled);

private:
    void save();
    void setStartWithWindows(bool on);
    static void call(const std::function<void()>& callback);

    SettingsSurface& surface_;
    Config* config_ = nullptr;
    SettingsCallbacks callbacks_;
};

} // namespace qv
