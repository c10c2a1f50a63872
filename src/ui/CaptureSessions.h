#pragma once
#include "base/CrashApi.h"
#include "base/WindowHandle.h"
#include "capture/RecorderFrames.h"
#include "capture/ScreenRecorder.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qv {

class ActionBus;
class CaptureBackend;
class LivePreview;
class NdiRuntime;
class NdiStreamer;
class PreviewWindows;
class RegionPicker;
class ShellApi;
class TrayWindowApi;
struct Config;
struct DisplayInfo;

// The tray controller's live previews, recordings and NDI shares, each kept
// by display key in opening order. Previews and shares that have ended on
// their own (a closed preview window) are removed lazily, when the next one
// of the same kind is opened; a recording that ends by itself tells the
// controller window at once (kRecordingEndedMessage), and its entry is
// removed with the notice that says why. While any recording runs, the
// controller window holds a shutdown block reason, so Windows says what the
// program is finishing when the session ends. Runs on the user-interface
// thread.
class CaptureSessions {
public:
    // NDI's page for downloading the runtime, offered when it is missing.
    static constexpr const char* kNdiDownloadPage = "https://ndi.link/NDIRedistV6";
    // Posted to the owner window (WM_APP + 8, no parameters) by a recording's
    // worker when the recording has ended by itself.
    static constexpr uint32_t kRecordingEndedMessage = 0x8008;
    // What Windows shows for the program while a session ends during a
    // recording.
    static constexpr const char* kShutdownReason = "Finishing a recording\xE2\x80\xA6";

    struct Ports {
        TrayWindowApi& window;
        ShellApi* shell = nullptr;
        CaptureBackend* backend = nullptr;
        NdiRuntime* ndi = nullptr;
        PreviewWindows* previews = nullptr;
        RegionPicker* picker = nullptr;
        // Shows a notice from the tray icon.
        std::function<void(const std::string& title, const std::string& text, bool error)> notify;
        // The recordings folder, created when missing.
        std::function<std::string()> recordingsFolder;
        // The local time for file names.
        std::function<CrashApi::LocalTime()> localTime;
    };

    explicit CaptureSessions(Ports ports);
    // Finalises recordings and stops shares without notices, then closes the
    // previews.
    ~CaptureSessions();
    CaptureSessions(const CaptureSessions&) = delete;
    CaptureSessions& operator=(const CaptureSessions&) = delete;

    // What the sessions work with once the controller exists; bus and config
    // may be null (nothing starts without the bus; previews need both).
    void attach(uint64_t instance, WindowHandle owner, ActionBus* bus, Config* config);

    void togglePreview(const std::string& key);
    void toggleRecording(const std::string& key, bool region);
    void toggleNdi(const std::string& key, bool region);
    bool previewOpen(const std::string& key) const;
    bool recordingActive(const std::string& key) const;
    bool ndiActive(const std::string& key) const;

    // Reports every recording that has ended by itself ("Recording stopped:
    // " and the reason) and removes it; the answer to kRecordingEndedMessage.
    void reportEndedRecordings();

    // Teardown and session end: recordings are stopped (each file finalised)
    // and then shares, without notices; the shutdown block reason is dropped.
    void stopRecordingsAndShares();
    // Closes every preview window.
    void closePreviews();

    // "QV-yyyymmdd-hhmmss.mp4".
    static std::string recordingFileName(const CrashApi::LocalTime& time);
    // The display's name, " Region WxH" for a region, and the GDI name's last
    // part in parentheses: "DELL U2720Q (DISPLAY2)".
    static std::string ndiSourceName(const std::string& name, const std::string& gdiName, bool region,
                                     const recorder::Region& area);

private:
    struct PreviewEntry;
    struct RecordingEntry;
    struct NdiEntry;

    void openPreview(const std::string& key);
    void stopRecording(const std::string& key);
    void stopNdi(const std::string& key);
    bool findDisplay(const std::string& key, DisplayInfo& out);
    // Asks for a region on the display; false when the user cancelled.
    bool pickRegion(const DisplayInfo& display, recorder::Region& region);
    // A path in the folder that no file and no running recording has yet.
    std::string freshRecordingPath(const std::string& folder, const std::string& fileName);
    void noticeNotConnected();
    // "Recording saved" with the path for a finished file, else
    // "Recording stopped: " and the reason.
    void noticeOutcome(const ScreenRecorder::Outcome& outcome, const std::string& path);
    int32_t fps() const;
    // Holds the shutdown block reason while a recording is live, drops it
    // once none is.
    void updateShutdownBlock();

    Ports ports_;
    uint64_t instance_ = 0;
    WindowHandle owner_ = 0;
    ActionBus* bus_ = nullptr;
    Config* config_ = nullptr;
    std::vector<PreviewEntry> previews_;
    std::vector<RecordingEntry> recordings_;
    std::vector<NdiEntry> shares_;
    bool shutdownBlocked_ = false;
};

} // namespace qv
