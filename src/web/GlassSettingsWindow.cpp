#include "web/GlassSettingsWindow.h"

#include "base/Dpi.h"
#include "base/Elevation.h"
#include "base/Log.h"
#include "base/Version.h"
#include "settings/Config.h"
#include "web/BrowserRuntime.h"
#include "web/MessageMembers.h"
#include "web/SettingsPageWindow.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <utility>

namespace qv {

namespace {

using nlohmann::json;

json devicesOf(const std::vector<DeviceEntry>& entries) {
    json list = json::array();
    for (const DeviceEntry& e : entries) {
        // Without an instance id a device cannot be switched, so it is not offered.
        if (e.instanceId.empty()) continue;
        list.push_back(json{{"id", e.instanceId}, {"name", e.name}, {"on", e.enabled}, {"present", e.present}});
    }
    return list;
}

void ignoreSpoiled(const std::string& type, const MessageMembers& m) {
    log::logf(log::Warn, "Settings message '%s' ignored: '%s' has the wrong type", type.c_str(), m.spoiled());
}

} // namespace

GlassSettingsWindow::GlassSettingsWindow(SettingsPageWindow& window, Devices devices)
    : window_(window), devices_(std::move(devices)) {
    window_.attach(this);
}

GlassSettingsWindow::~GlassSettingsWindow() {
    if (window_.exists()) window_.destroy();
    window_.attach(nullptr);
}

void GlassSettingsWindow::create(uint64_t instance, Config& config, SettingsCallbacks callbacks) {
    config_ = &config;
    callbacks_ = std::move(callbacks);
    if (window_.exists()) {
        window_.show();
        pushSettings();
        return;
    }
    createWindow(instance);
}

bool GlassSettingsWindow::isOpen() const { return window_.exists(); }

void GlassSettingsWindow::createWindow(uint64_t instance) {
    const ScreenPoint cursor = window_.cursor();
    if (!window_.create(instance, ScreenRect{cursor.x, cursor.y, cursor.x + kWidth, cursor.y + kHeight})) {
        log::write(log::Error, "GlassSettingsWindow: CreateWindowEx failed");
        return;
    }
    uint32_t dpi = window_.windowDpi();
    if (dpi == 0) dpi = 96;
    const int32_t w = dpiScale(kWidth, dpi);
    const int32_t h = dpiScale(kHeight, dpi);
    // Without monitor information the window stays at the cursor.
    const std::optional<ScreenRect> work = window_.workAreaNear(cursor);
    window_.move(work ? openedAt(cursor.x, cursor.y, w, h, *work)
                      : ScreenRect{cursor.x, cursor.y, cursor.x + w, cursor.y + h});
    window_.show();
    // A browser that does not start leaves the window open and empty: there
    // is no other settings window to fall back to once this one is open.
    if (!window_.createEnvironment(browserProfileFolder(window_.localAppData())))
        log::write(log::Error, "CreateCoreWebView2Environment call failed");
}

void GlassSettingsWindow::onEnvironmentCreated(bool ok) {
    if (!ok) return log::write(log::Error, "WebView2 environment failed");
    if (!window_.exists()) return;
    if (!window_.createController()) log::write(log::Error, "WebView2 controller failed");
}

void GlassSettingsWindow::onControllerCreated(bool ok) {
    if (!ok) return log::write(log::Error, "WebView2 controller failed");
    window_.startPage();
}

void GlassSettingsWindow::onNavigationCompleted() {
    ready_ = true;
    pushSettings();
}

GlassSettingsWindow::System GlassSettingsWindow::system() const {
    System s;
    s.startsWithWindows = startsWithWindows();
    s.elevated = isElevated();
    if (devices_.list) {
        s.cameras = devices_.list(DeviceKind::Camera);
        s.speakers = devices_.list(DeviceKind::Playback);
        s.microphones = devices_.list(DeviceKind::Recording);
    }
    return s;
}

std::string GlassSettingsWindow::document(const Config& config, const System& system) {
    json doc = json::object();
    doc["startup"] = system.startsWithWindows;
    doc["hotplug"] = config.autoRestoreOnHotplug;
    doc["restoreWindows"] = config.restoreWindowsOnReconnect;
    doc["autoCheck"] = config.autoCheckUpdates;
    doc["autoInstall"] = config.autoInstallUpdates;
    doc["dev"] = config.updateChannel == "dev";
    doc["mono"] = config.monochromeIcon;
    doc["maxPreviews"] = config.maxPreviews;
    doc["recFps"] = config.recordingFps;
    doc["recAudio"] = config.recordingAudio;
    doc["recDir"] = config.recordingDir;
    doc["version"] = kVersion;
    doc["elevated"] = system.elevated;
    doc["cams"] = devicesOf(system.cameras);
    doc["spkDevs"] = devicesOf(system.speakers);
    doc["micDevs"] = devicesOf(system.microphones);
    return compactJson(doc);
}

void GlassSettingsWindow::pushSettings() {
    if (!ready_ || !window_.hasWebView() || config_ == nullptr) return;
    window_.executeScript("window.qvInit(" + document(*config_, system()) + ")");
}

void GlassSettingsWindow::onSettingsMessage(const std::string& text) {
    if (config_ == nullptr) return;
    std::string type;
    const std::optional<json> message = MessageMembers::parse(text, type);
    if (!message) return;
    MessageMembers m(*message);

    if (type == "size") {
        // Any page height fits once clamped; far beyond a screen is as good as a screen.
        const int64_t h = std::clamp<int64_t>(m.wholeNumber("h", kHeight), 0, 100000);
        if (!m.ok()) return ignoreSpoiled(type, m);
        fitToPage(static_cast<int32_t>(h));
    } else if (type == "set") {
        const std::string key = m.text("key");
        if (!m.ok()) return ignoreSpoiled(type, m);
        set(key, m);
    } else if (type == "device") {
        const std::string id = m.text("id");
        const bool on = m.flag("on");
        if (!m.ok()) return ignoreSpoiled(type, m);
        device(id, on);
    } else if (type == "action") {
        const std::string name = m.text("name");
        if (!m.ok()) return ignoreSpoiled(type, m);
        action(name);
    }
}

void GlassSettingsWindow::set(const std::string& key, MessageMembers& m) {
    Config& config = *config_;
    // Each value is read and checked before anything changes: a value of the
    // wrong type leaves the settings as they were.
    const auto flag = [&](bool fallback, bool& target) {
        const bool value = m.flag("value", fallback);
        if (!m.ok()) return false;
        target = value;
        return true;
    };
    const auto clamped = [&](int64_t fallback, int32_t low, int32_t high, int32_t& target) {
        const int64_t value = m.wholeNumber("value", fallback);
        if (!m.ok()) return false;
        target = static_cast<int32_t>(std::clamp<int64_t>(value, low, high));
        return true;
    };

    bool changed = false;
    if (key == "startup") {
        const bool on = m.flag("value", false);
        if (m.ok()) return setStartWithWindows(on);
    } else if (key == "hotplug") {
        changed = flag(false, config.autoRestoreOnHotplug);
    } else if (key == "restoreWindows") {
        changed = flag(false, config.restoreWindowsOnReconnect);
    } else if (key == "autoCheck") {
        changed = flag(false, config.autoCheckUpdates);
    } else if (key == "autoInstall") {
        changed = flag(false, config.autoInstallUpdates);
    } else if (key == "dev") {
        bool dev = false;
        if ((changed = flag(false, dev))) config.updateChannel = dev ? "dev" : "stable";
    } else if (key == "mono") {
        if (flag(false, config.monochromeIcon)) {
            config.save();
            call(callbacks_.refreshTrayIcon);
            return;
        }
    } else if (key == "maxPreviews") {
        changed = clamped(1, 1, kMaxPreviewsLimit, config.maxPreviews);
    } else if (key == "recFps") {
        changed = clamped(30, kMinFps, kMaxFps, config.recordingFps);
    } else if (key == "recAudio") {
        changed = flag(true, config.recordingAudio);
    } else {
        return;
    }
    if (!m.ok()) return ignoreSpoiled("set", m);
    if (changed) config.save();
}

void GlassSettingsWindow::setStartWithWindows(bool on) {
    if (qv::setStartWithWindows(on)) {
        config_->startWithWindows = on;
        config_->save();
        return;
    }
    // The Run value is what decides. When it could not be changed, the
    // settings keep what it still says and the page's switch is put back,
    // rather than showing a wish as done.
    log::write(log::Error, Elevation::kStartupSettingFailed);
    config_->startWithWindows = startsWithWindows();
    config_->save();
    pushSettings();
}

void GlassSettingsWindow::device(const std::string& id, bool on) {
    std::string message;
    const bool ok = devices_.setEnabled ? devices_.setEnabled(id, on, message) : true;
    // Either way the rows show the devices' states again (a change Windows
    // finishes after a restart is listed as asked).
    pushSettings();
    // A refusal shows as an error; a change that went through may still come
    // with a word for the user, shown as information.
    if (!message.empty() && ready_ && window_.hasWebView())
        window_.executeScript("window.qvNotice&&window.qvNotice(" + compactJson(json(message)) +
                              (ok ? ",\"info\")" : ")"));
}

void GlassSettingsWindow::action(const std::string& name) {
    if (name == "checkUpdates") {
        call(callbacks_.checkForUpdates);
    } else if (name == "openFolder") {
        window_.openFolder(configDir());
    } else if (name == "arrange") {
        call(callbacks_.openArrangement);
    } else if (name == "recordingFolder") {
        // Pushed again even when the choice was cancelled.
        call(callbacks_.chooseRecordingsFolder);
        pushSettings();
    } else if (name == "openRecordings") {
        call(callbacks_.openRecordingsFolder);
    } else if (name == "close") {
        window_.postClose();
    }
}

void GlassSettingsWindow::call(const std::function<void()>& callback) {
    if (callback) callback();
}

void GlassSettingsWindow::fitToPage(int32_t pageHeight) {
    if (!window_.exists()) return;
    uint32_t dpi = window_.windowDpi();
    if (dpi == 0) dpi = 96;
    const ScreenRect now = window_.windowRect();
    const ScreenRect fit = fitted(now, window_.frameHeight(), pageHeight, dpi, window_.workAreaOfWindow());
    if (fit.top != now.top || fit.height() != now.height()) window_.move(fit);
}

ScreenRect GlassSettingsWindow::fitted(const ScreenRect& window, int32_t frameHeight, int32_t pageHeight,
                                       uint32_t dpi, const std::optional<ScreenRect>& work) {
    int32_t height = dpiScale(std::max(pageHeight, kMinPageHeight), dpi) + frameHeight;
    int32_t top = window.top;
    if (work) {
        height = std::min(height, work->height());
        if (top + height > work->bottom) top = work->bottom - height;
        if (top < work->top) top = work->top;
    }
    return ScreenRect{window.left, top, window.right, top + height};
}

void GlassSettingsWindow::onSize() { window_.updateBounds(); }

void GlassSettingsWindow::onClose() { window_.destroy(); }

void GlassSettingsWindow::onDpiChanged(const ScreenRect& suggested) {
    window_.move(suggested);
    // The page's height in pixels changed with the DPI: it reports it again.
    if (ready_ && window_.hasWebView()) window_.executeScript("window.qvPostSize&&window.qvPostSize()");
}

void GlassSettingsWindow::onDestroy() {
    window_.closeBrowser();
    ready_ = false;
}

} // namespace qv
