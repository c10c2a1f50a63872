#pragma once
#include "capture/CapturePorts.h"
#include "capture/RecorderFrames.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace qv {

// Records one display, or a rectangle of it, to an MP4 file: H.264 video at a
// fixed frame rate and, when asked and the playback device suits, AAC audio
// from the default speakers' loopback. One recorder per recording. While the
// desktop cannot be duplicated (locked, a UAC prompt) the recording pauses on
// its last image; a mode change, a duplication that keeps failing or a
// sample the writer refuses ends it, with the file finished as far as it can
// be.
class ScreenRecorder {
public:
    // How a recording came out.
    struct Outcome {
        // The file was finished and kept.
        bool saved = false;
        // Why the recording ended by itself or its file is not whole: a lost
        // display mode, a failed write, a file that could not be finished or
        // holds nothing. Empty after a stop on request that saved the file.
        std::string reason;
    };

    explicit ScreenRecorder(CaptureBackend& backend);
    // Stops and finalises a running recording.
    ~ScreenRecorder();
    ScreenRecorder(const ScreenRecorder&) = delete;
    ScreenRecorder& operator=(const ScreenRecorder&) = delete;

    // Starts the worker and waits until it has begun writing (true) or failed
    // (false, with the reason in status()). region is relative to the
    // display's top-left corner; an empty one records the whole display.
    bool start(const std::string& gdiName, const std::string& outputPathUtf8, int32_t fps, bool audio,
               const recorder::Region& region);
    // True from the start of writing until the file is finalised; drops by
    // itself when the recording ends on its own.
    bool isRecording() const { return recording_.load(); }
    // Ends the recording; the file is finalised before this returns.
    void stop();
    // The last error text.
    std::string status() const;
    // How the last recording came out; meaningful once isRecording() has
    // dropped after a successful start.
    Outcome outcome() const;
    // Called on the recording's worker thread when a recording ends without
    // stop() having been asked, once outcome() and isRecording() tell so.
    // Set before start().
    void onEnded(std::function<void()> ended) { ended_ = std::move(ended); }

private:
    struct Session;
    void run(Session& session);

    CaptureBackend& backend_;
    std::thread worker_;
    std::atomic<bool> recording_{false};
    std::atomic<bool> stopRequested_{false};
    std::string gdiName_;
    std::string outputPath_;
    int32_t fps_ = 30;
    bool audio_ = true;
    recorder::Region region_;
    std::string status_;
    std::function<void()> ended_;
    mutable std::mutex outcomeLock_;
    Outcome outcome_;
};

} // namespace qv
