#include "ui/CaptureSessions.h"

#include "actions/ActionBus.h"
#include "base/Log.h"
#include "base/ShellApi.h"
#include "base/StrPrintf.h"
#include "capture/NdiRuntime.h"
#include "capture/NdiStreamer.h"
#include "capture/ScreenRecorder.h"
#include "display/DisplayInfo.h"
#include "settings/Config.h"
#include "ui/CaptureWindows.h"
#include "ui/MessageBoxFlags.h"
#include "ui/TrayWindowApi.h"

#include <algorithm>
#include <utility>

namespace qv {

namespace {

constexpr const char* kTitle = "Quorvane";
constexpr const char* kNotConnected = "That monitor is no longer connected.";
// Numbered names tried after the plain one before giving up on a fresh name.
constexpr int kMaxNameSuffix = 999;

} // namespace

struct CaptureSessions::PreviewEntry {
    std::string key;
    std::unique_ptr<LivePreview> window;

    bool live() const { return window && !window->isClosed(); }
};

struct CaptureSessions::RecordingEntry {
    std::string key;
    std::unique_ptr<ScreenRecorder> recorder;
    std::string path;

    bool live() const { return recorder && recorder->isRecording(); }
};

struct CaptureSessions::NdiEntry {
    std::string key;
    std::unique_ptr<NdiStreamer> streamer;

    bool live() const { return streamer && streamer->isRunning(); }
};

namespace {

template <typename Entry>
bool anyLive(const std::vector<Entry>& entries, const std::string& key) {
    return std::any_of(entries.begin(), entries.end(),
                       [&](const Entry& entry) { return entry.key == key && entry.live(); });
}

template <typename Entry>
void removeEnded(std::vector<Entry>& entries) {
    std::erase_if(entries, [](const Entry& entry) { return !entry.live(); });
}

} // namespace

CaptureSessions::CaptureSessions(Ports ports) : ports_(std::move(ports)) {}

CaptureSessions::~CaptureSessions() {
    stopRecordingsAndShares();
    closePreviews();
}

void CaptureSessions::attach(uint64_t instance, WindowHandle owner, ActionBus* bus, Config* config) {
    instance_ = instance;
    owner_ = owner;
    bus_ = bus;
    config_ = config;
}

bool CaptureSessions::previewOpen(const std::string& key) const { return anyLive(previews_, key); }
bool CaptureSessions::recordingActive(const std::string& key) const { return anyLive(recordings_, key); }
bool CaptureSessions::ndiActive(const std::string& key) const { return anyLive(shares_, key); }

int32_t CaptureSessions::fps() const { return config_ ? config_->recordingFps : 30; }

void CaptureSessions::noticeNotConnected() { ports_.notify(kTitle, kNotConnected, true); }

bool CaptureSessions::findDisplay(const std::string& key, DisplayInfo& out) {
    for (DisplayInfo& display : bus_->displays()) {
        if (display.key != key) continue;
        if (display.gdiName.empty()) break;
        out = std::move(display);
        return true;
    }
    return false;
}

bool CaptureSessions::pickRegion(const DisplayInfo& display, recorder::Region& region) {
    const ScreenRect bounds{display.posX, display.posY, display.posX + static_cast<int32_t>(display.width),
                            display.posY + static_cast<int32_t>(display.height)};
    ScreenRect picked;
    if (!ports_.picker || !ports_.picker->pick(instance_, bounds, picked)) return false;
    region = recorder::Region{picked.left - bounds.left, picked.top - bounds.top, picked.right - bounds.left,
                              picked.bottom - bounds.top};
    return true;
}

void CaptureSessions::togglePreview(const std::string& key) {
    if (previewOpen(key)) {
        for (PreviewEntry& entry : previews_) {
            if (entry.key == key && entry.window) entry.window->close();
        }
        removeEnded(previews_);
        return;
    }
    openPreview(key);
}

void CaptureSessions::openPreview(const std::string& key) {
    if (!bus_ || !config_) return;
    removeEnded(previews_);
    if (previews_.size() >= static_cast<size_t>(std::max(config_->maxPreviews, 0))) {
        ports_.notify(kTitle, strprintf("Preview limit reached (%d). Close one first.", config_->maxPreviews), true);
        return;
    }
    DisplayInfo display;
    if (!findDisplay(key, display)) return noticeNotConnected();
    std::unique_ptr<LivePreview> window;
    if (ports_.previews) window = ports_.previews->open(instance_, display.name, display.gdiName);
    if (!window) {
        ports_.notify(kTitle, "Could not open preview window.", true);
        return;
    }
    previews_.push_back(PreviewEntry{key, std::move(window)});
}

std::string CaptureSessions::recordingFileName(const CrashApi::LocalTime& time) {
    return strprintf("QV-%04u%02u%02u-%02u%02u%02u.mp4", time.year, time.month, time.day, time.hour, time.minute,
                     time.second);
}

std::string CaptureSessions::freshRecordingPath(const std::string& folder, const std::string& fileName) {
    // The sink writer replaces an existing file, so a second recording in the
    // same second (another display, a quick stop and start) gets "-2", "-3", …
    const std::string stem = fileName.substr(0, fileName.size() - 4);
    std::string path = folder + "\\" + fileName;
    for (int suffix = 2; suffix <= kMaxNameSuffix; ++suffix) {
        const bool taken = (ports_.shell && ports_.shell->pathExists(path)) ||
                           std::any_of(recordings_.begin(), recordings_.end(),
                                       [&](const RecordingEntry& entry) { return entry.path == path; });
        if (!taken) return path;
        path = folder + "\\" + stem + "-" + std::to_string(suffix) + ".mp4";
    }
    return {};
}

void CaptureSessions::toggleRecording(const std::string& key, bool region) {
    if (recordingActive(key)) return stopRecording(key);
    if (!bus_) return;
    // Recordings that ended by themselves stay until their notice is shown.
    DisplayInfo display;
    if (!findDisplay(key, display)) return noticeNotConnected();
    recorder::Region area;
    if (region && !pickRegion(display, area)) return;

    const std::string folder = ports_.recordingsFolder();
    const std::string fileName = recordingFileName(ports_.localTime());
    const std::string path = freshRecordingPath(folder, fileName);
    if (path.empty() || !ports_.backend) {
        ports_.notify("Recording failed", "Could not create the output file", true);
        return;
    }
    auto recorder = std::make_unique<ScreenRecorder>(*ports_.backend);
    // From the recording's worker: only a post, the notice follows on this
    // thread. The recorder is joined before this object goes.
    TrayWindowApi& window = ports_.window;
    const WindowHandle owner = owner_;
    recorder->onEnded([&window, owner] { window.postMessage(owner, kRecordingEndedMessage, 0, 0); });
    const bool audio = config_ ? config_->recordingAudio : true;
    if (!recorder->start(display.gdiName, path, fps(), audio, area)) {
        ports_.notify("Recording failed", recorder->status(), true);
        return;
    }
    const std::string shownName = path.substr(folder.size() + 1);
    recordings_.push_back(RecordingEntry{key, std::move(recorder), path});
    updateShutdownBlock();
    ports_.notify("Recording started",
                  display.name + (region ? " (region)" : "") + "  \xE2\x86\x92  " + shownName, false);
}

void CaptureSessions::stopRecording(const std::string& key) {
    // An entry of the key that ended by itself may still wait for its notice.
    auto it = std::find_if(recordings_.begin(), recordings_.end(),
                           [&](const RecordingEntry& entry) { return entry.key == key && entry.live(); });
    if (it == recordings_.end()) return;
    const std::string path = it->path;
    it->recorder->stop();
    const ScreenRecorder::Outcome outcome = it->recorder->outcome();
    recordings_.erase(it);
    updateShutdownBlock();
    noticeOutcome(outcome, path);
}

void CaptureSessions::noticeOutcome(const ScreenRecorder::Outcome& outcome, const std::string& path) {
    // "Recording saved" only for a file that was really finished.
    if (outcome.saved && outcome.reason.empty()) {
        ports_.notify("Recording saved", path, false);
    } else {
        ports_.notify("Recording stopped", "Recording stopped: " + outcome.reason, true);
    }
}

void CaptureSessions::reportEndedRecordings() {
    std::vector<std::pair<ScreenRecorder::Outcome, std::string>> ended;
    std::erase_if(recordings_, [&](const RecordingEntry& entry) {
        if (entry.live()) return false;
        ended.emplace_back(entry.recorder->outcome(), entry.path);
        return true;
    });
    updateShutdownBlock();
    for (const auto& [outcome, path] : ended) noticeOutcome(outcome, path);
}

void CaptureSessions::updateShutdownBlock() {
    if (owner_ == 0) return;
    const bool recording = std::any_of(recordings_.begin(), recordings_.end(),
                                       [](const RecordingEntry& entry) { return entry.live(); });
    if (recording && !shutdownBlocked_) {
        shutdownBlocked_ = ports_.window.shutdownBlockReasonCreate(owner_, kShutdownReason);
    } else if (!recording && shutdownBlocked_) {
        ports_.window.shutdownBlockReasonDestroy(owner_);
        shutdownBlocked_ = false;
    }
}

std::string CaptureSessions::ndiSourceName(const std::string& name, const std::string& gdiName, bool region,
                                           const recorder::Region& area) {
    std::string source = name;
    if (region) source += strprintf(" Region %dx%d", area.right - area.left, area.bottom - area.top);
    const size_t cut = gdiName.find_last_of("\\/");
    source += " (" + (cut == std::string::npos ? gdiName : gdiName.substr(cut + 1)) + ")";
    return source;
}

void CaptureSessions::toggleNdi(const std::string& key, bool region) {
    if (ndiActive(key)) return stopNdi(key);
    if (!bus_ || !ports_.ndi) return;
    bool missing = false;
    std::string error;
    if (!ports_.ndi->ensureRuntime(&missing, &error)) {
        if (missing) {
            const int answer = ports_.window.ownedMessageBox(
                owner_,
                "Sharing a display over NDI needs the free NDI Runtime, which isn't installed on this PC (or is "
                "too old).\n\nOpen the official download page now? After installing, just click NDI again "
                "\xE2\x80\x94 no restart needed.",
                "NDI Runtime required", kMbYesNo | kMbIconInformation | kMbSetForeground);
            if (answer == kIdYes && ports_.shell)
                ports_.shell->shellExecuteEx("open", kNdiDownloadPage, "", 0, ShellApi::kSwShowNormal);
        } else {
            ports_.notify("NDI sharing unavailable", error, true);
        }
        return;
    }
    removeEnded(shares_);
    DisplayInfo display;
    if (!findDisplay(key, display)) return noticeNotConnected();
    recorder::Region area;
    if (region && !pickRegion(display, area)) return;
    if (!ports_.backend) return;

    const std::string source = ndiSourceName(display.name, display.gdiName, region, area);
    auto streamer = std::make_unique<NdiStreamer>(*ports_.backend, *ports_.ndi);
    if (!streamer->start(display.gdiName, source, fps(), area)) {
        ports_.notify("NDI sharing failed", streamer->status(), true);
        return;
    }
    shares_.push_back(NdiEntry{key, std::move(streamer)});
    ports_.notify("NDI sharing started", source, false);
}

void CaptureSessions::stopNdi(const std::string& key) {
    auto it = std::find_if(shares_.begin(), shares_.end(), [&](const NdiEntry& entry) { return entry.key == key; });
    if (it == shares_.end()) return;
    const std::string source = it->streamer->senderName();
    it->streamer->stop();
    shares_.erase(it);
    ports_.notify("NDI sharing stopped", source, false);
}

void CaptureSessions::stopRecordingsAndShares() {
    for (RecordingEntry& entry : recordings_) entry.recorder->stop();
    recordings_.clear();
    updateShutdownBlock();
    for (NdiEntry& entry : shares_) entry.streamer->stop();
    shares_.clear();
}

void CaptureSessions::closePreviews() {
    for (PreviewEntry& entry : previews_) {
        if (entry.window) entry.window->close();
    }
    previews_.clear();
}

} // namespace qv
