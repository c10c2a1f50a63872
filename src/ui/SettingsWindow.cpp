#include "ui/SettingsWindow.h"

#include "base/Dpi.h"
#include "base/Elevation.h"
#include "base/Log.h"
#include "base/StrPrintf.h"
#include "base/Version.h"
#include "settings/Config.h"
#include "ui/Notices.h"
#include "ui/SettingsSurface.h"

#include <algorithm>
#include <string>
#include <utility>

namespace qv {

namespace {

constexpr int32_t kTop = 18;
constexpr int32_t kCheckHeight = 24;
constexpr int32_t kCheckStep = 30;
constexpr int32_t kLabelHeight = 20;
constexpr int32_t kListOffset = 24; // from a list's label to the list
constexpr int32_t kListWidth = 90;
constexpr int32_t kListHeight = 24; // the closed list; its drop-down is the view's
constexpr int32_t kListStep = 40;
constexpr int32_t kButtonHeight = 30;
constexpr int32_t kButtonStep = 38;
constexpr int32_t kButtonGap = 12;
constexpr int32_t kHalfWidth = (SettingsWindow::kContentWidth - kButtonGap) / 2;
constexpr int32_t kCloseWidth = 110;
constexpr int32_t kMaxPreviewsLimit = 8;

DipRect row(int32_t x, int32_t y, int32_t width, int32_t height) { return DipRect{x, y, x + width, y + height}; }

// The controls top to bottom; bottom receives the end of the last step.
std::vector<ClassicControl> layout(const Config& config, bool startsWithWindows, int32_t& bottom) {
    using W = SettingsWindow;
    constexpr int32_t x = W::kMargin;
    constexpr int32_t width = W::kContentWidth;
    std::vector<ClassicControl> out;
    int32_t y = kTop;

    ClassicControl title;
    title.kind = ControlKind::Static;
    title.rect = row(x, y, width, 28);
    title.caption = "Settings";
    title.font = FontRole::Title;
    out.push_back(title);
    y += 42;

    const struct {
        uint32_t id;
        const char* caption;
        bool checked;
    } checks[] = {
        {W::kStartWithWindows, "Start with Windows", startsWithWindows},
        {W::kAutoRestore, "Re-apply matching layout on hotplug (silent)", config.autoRestoreOnHotplug},
        {W::kRestoreWindows, "Put windows back when a display returns", config.restoreWindowsOnReconnect},
        {W::kAutoCheckUpdates, "Check for updates on startup", config.autoCheckUpdates},
        {W::kAutoInstallUpdates, "Install updates automatically (restarts the app)", config.autoInstallUpdates},
        {W::kMonochromeIcon, "Use monochrome (white) tray icon", config.monochromeIcon},
        {W::kDevChannel, "Receive dev (pre-release) updates", config.updateChannel == "dev"},
        {W::kRecordingAudio, "Capture system audio in recordings", config.recordingAudio},
    };
    for (const auto& check : checks) {
        ClassicControl box;
        box.id = check.id;
        box.kind = ControlKind::CheckBox;
        box.rect = row(x, y, width, kCheckHeight);
        box.caption = check.caption;
        box.selected = check.checked;
        out.push_back(box);
        y += kCheckStep;
    }

    // A label, and the list it names 24 further down; the list carries the
    // label's text as its own name.
    const auto list = [&](uint32_t id, const char* caption, std::vector<std::string> items, int selected) {
        ClassicControl label;
        label.kind = ControlKind::Static;
        label.rect = row(x, y, width, kLabelHeight);
        label.caption = caption;
        out.push_back(label);
        y += kListOffset;
        ClassicControl box;
        box.id = id;
        box.kind = ControlKind::ComboBox;
        box.rect = row(x, y, kListWidth, kListHeight);
        box.caption = caption;
        box.items = std::move(items);
        box.selectedItem = selected;
        out.push_back(box);
        y += kListStep;
    };

    y += 6;
    std::vector<std::string> counts;
    for (int n = 1; n <= kMaxPreviewsLimit; ++n) counts.push_back(std::to_string(n));
    list(W::kMaxPreviews, "Maximum simultaneous previews", std::move(counts),
         std::clamp(config.maxPreviews - 1, 0, kMaxPreviewsLimit - 1));

    std::vector<std::string> rates;
    int rateItem = 2; // the 30 fps item, for a rate the list does not offer
    for (int i = 0; i < 4; ++i) {
        rates.push_back(strprintf("%d fps", W::kFrameRates[i]));
        if (W::kFrameRates[i] == config.recordingFps) rateItem = i;
    }
    list(W::kRecordingFps, "Recording frame rate", std::move(rates), rateItem);

    const auto button = [&](uint32_t id, const char* caption, const DipRect& rect) {
        ClassicControl b;
        b.id = id;
        b.kind = ControlKind::Button;
        b.rect = rect;
        b.caption = caption;
        out.push_back(b);
    };
    button(W::kArrange, "Arrange displays\xE2\x80\xA6  (layout wizard)", row(x, y, width, kButtonHeight));
    y += kButtonStep;
    button(W::kRecordingFolder, "Recording folder\xE2\x80\xA6", row(x, y, kHalfWidth, kButtonHeight));
    button(W::kOpenRecordings, "Open recordings", row(x + kHalfWidth + kButtonGap, y, kHalfWidth, kButtonHeight));
    y += kButtonStep;
    button(W::kCheckNow, "Check for updates now", row(x, y, kHalfWidth, kButtonHeight));
    button(W::kOpenConfigFolder, "Open config folder", row(x + kHalfWidth + kButtonGap, y, kHalfWidth, kButtonHeight));
    y += kButtonStep;
    button(W::kClose, "Close", row(x + width - kCloseWidth, y, kCloseWidth, kButtonHeight));
    y += 40;

    ClassicControl version;
    version.kind = ControlKind::Static;
    version.rect = row(x, y, width, 18);
    version.caption = std::string("Quorvane v") + kVersion;
    out.push_back(version);
    y += 28;

    bottom = y;
    return out;
}

} // namespace

SettingsWindow::SettingsWindow(SettingsSurface& surface) : surface_(surface) { surface_.attach(this); }

SettingsWindow::~SettingsWindow() {
    if (surface_.exists()) surface_.destroy();
    surface_.attach(nullptr);
}

bool SettingsWindow::create(uint64_t instance, Config& config, SettingsCallbacks callbacks) {
    config_ = &config;
    callbacks_ = std::move(callbacks);
    if (surface_.exists()) {
        surface_.show();
        return true;
    }
    if (!surface_.create(instance)) {
        log::write(log::Error, "SettingsWindow: CreateWindowEx failed");
        return false;
    }

    uint32_t dpi = surface_.dpi();
    if (dpi == 0) dpi = 96;
    surface_.build(controls(config, startsWithWindows()), dpi);

    const ScreenRect frame = surface_.frameFor(dpiScale(kClientWidth, dpi), dpiScale(clientHeight(), dpi), dpi);
    const ScreenPoint cursor = surface_.cursor();
    const int32_t w = frame.width();
    const int32_t h = frame.height();
    // Without monitor information the window opens at the cursor as it is.
    const ScreenRect work =
        surface_.workAreaAt(cursor).value_or(ScreenRect{cursor.x, cursor.y, cursor.x + w, cursor.y + h});
    surface_.move(placement(cursor, w, h, work));
    surface_.show();
    return true;
}

bool SettingsWindow::isOpen() const { return surface_.exists(); }

void SettingsWindow::onCommand(uint32_t id, uint32_t notification) {
    if (config_ == nullptr) return;
    Config& config = *config_;
    // The lists act on a new choice only; buttons and check boxes on a click,
    // so a double click on a button does not run its command twice.
    if (id == kMaxPreviews || id == kRecordingFps) {
        if (notification != kSelChange) return;
    } else if (notification != kClicked) {
        return;
    }

    switch (id) {
    case kStartWithWindows:
        setStartWithWindows(surface_.isChecked(id));
        break;
    case kAutoRestore:
        config.autoRestoreOnHotplug = surface_.isChecked(id);
        save();
        break;
    case kRestoreWindows:
        config.restoreWindowsOnReconnect = surface_.isChecked(id);
        save();
        break;
    case kAutoCheckUpdates:
        config.autoCheckUpdates = surface_.isChecked(id);
        save();
        break;
    case kAutoInstallUpdates:
        config.autoInstallUpdates = surface_.isChecked(id);
        save();
        break;
    case kMonochromeIcon:
        config.monochromeIcon = surface_.isChecked(id);
        save();
        call(callbacks_.refreshTrayIcon);
        break;
    case kDevChannel:
        config.updateChannel = surface_.isChecked(id) ? "dev" : "stable";
        save();
        break;
    case kRecordingAudio:
        config.recordingAudio = surface_.isChecked(id);
        save();
        break;
    case kMaxPreviews: {
        const int32_t item = surface_.selection(id);
        config.maxPreviews = item < 0 ? 1 : std::min(item + 1, kMaxPreviewsLimit);
        save();
        break;
    }
    case kRecordingFps: {
        const int32_t item = surface_.selection(id);
        if (item < 0 || item > 3) return;
        config.recordingFps = std::clamp(kFrameRates[item], 5, 60);
        save();
        break;
    }
    case kArrange:
        call(callbacks_.openArrangement);
        break;
    case kCheckNow:
        call(callbacks_.checkForUpdates);
        break;
    case kOpenConfigFolder:
        surface_.openFolder(configDir());
        break;
    case kRecordingFolder:
        call(callbacks_.chooseRecordingsFolder);
        break;
    case kOpenRecordings:
        call(callbacks_.openRecordingsFolder);
        break;
    case kClose:
        surface_.destroy();
        break;
    default:
        break;
    }
}

void SettingsWindow::setStartWithWindows(bool on) {
    if (qv::setStartWithWindows(on)) {
        config_->startWithWindows = on;
    } else {
        // The Run value is what decides; when it could not be changed, the
        // box and the settings show what it still says rather than a wish.
        log::write(log::Error, Notices::kStartupSettingFailed);
        const bool actual = startsWithWindows();
        config_->startWithWindows = actual;
        surface_.setChecked(kStartWithWindows, actual);
    }
    save();
}

void SettingsWindow::save() { config_->save(); }

void SettingsWindow::call(const std::function<void()>& callback) {
    if (callback) callback();
}

void SettingsWindow::onClose() { surface_.destroy(); }

std::vector<ClassicControl> SettingsWindow::controls(const Config& config, bool startsWithWindows) {
    int32_t bottom = 0;
    return layout(config, startsWithWindows, bottom);
}

int32_t SettingsWindow::clientHeight() {
    int32_t bottom = 0;
    layout(Config{}, false, bottom);
    return bottom;
}

ScreenRect SettingsWindow::placement(ScreenPoint cursor, int32_t width, int32_t height, const ScreenRect& work) {
    return openedAt(cursor.x, cursor.y, width, height, work);
}

ButtonPaint SettingsWindow::buttonPaint(bool pressed, bool enabled) {
    return ButtonPaint{pressed ? look::kPressed : look::kPanel, look::kLine, enabled ? kText : kDisabledText, false};
}

} // namespace qv
