#pragma once
#include "capture/CapturePorts.h"
#include "capture/RecorderFrames.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace qv {

class NdiRuntime;

// Publishes one display, or a rectangle of it, as an NDI video source. A
// running share never ends by itself: lost duplication, mode changes and a
// region that stops fitting pause the frames until capture resumes.
class NdiStreamer {
public:
    NdiStreamer(CaptureBackend& backend, NdiRuntime& runtime);
    ~NdiStreamer();
    NdiStreamer(const NdiStreamer&) = delete;
    NdiStreamer& operator=(const NdiStreamer&) = delete;

    // Waits until the worker sends (true) or failed (false, with the reason
    // in status()). region is relative to the display; empty = whole display.
    bool start(const std::string& gdiName, const std::string& senderName, int32_t fps,
               const recorder::Region& region);
    void stop();
    bool isRunning() const { return running_.load(); }
    const std::string& senderName() const { return senderName_; }
    std::string status() const;

private:
    CaptureBackend& backend_;
    NdiRuntime& runtime_;
    std::thread worker_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stopRequested_{false};
    std::string gdiName_;
    std::string senderName_;
    int32_t fps_ = 30;
    recorder::Region region_;
    std::string status_;
};

} // namespace qv
