#pragma once
#include "capture/CapturePorts.h"
#include "capture/RecorderFrames.h"

#include <atomic>
#include <cstdint>
#include <future>
#include <string>
#include <thread>

namespace qv {

class NdiRuntime;
class NdiSender;

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
    // An fps below 1 means 30.
    bool start(const std::string& gdiName, const std::string& senderName, int32_t fps,
               const recorder::Region& region);
    // Ends the share and joins the worker.
    void stop();
    bool isRunning() const { return running_.load(); }
    const std::string& senderName() const { return senderName_; }
    // The last failure's text. The worker writes it only before it reports
    // how the start went, so reading it after start() returned is safe.
    std::string status() const { return status_; }

private:
    struct Context;
    void run(std::promise<bool> result);
    bool prepare(Context& context);
    void sendFrames(Context& context, NdiSender& sender);
    bool duplicate(Context& context, std::string& error);

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
