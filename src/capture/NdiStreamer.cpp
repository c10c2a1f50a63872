#include "capture/NdiStreamer.h"

#include "base/Log.h"
#include "capture/CaptureActivity.h"
#include "capture/NdiRuntime.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace qv {

namespace {

// A region must keep at least this many pixels each way once clamped.
constexpr int32_t kMinRegionSide = 8;
// The wait between attempts to duplicate the display again.
constexpr uint32_t kRetryMs = 250;

} // namespace

// What the worker captures with and what it sends.
struct NdiStreamer::Context {
    std::unique_ptr<ScreenCapture> capture;
    int32_t frameWidth = 0; // the size sent: the copied part of the display, upright
    int32_t frameHeight = 0;
    recorder::Crop box; // the copied part in the frames as delivered, when useRegion
    recorder::Rotation rotation = recorder::Rotation::Identity;
    bool useRegion = false;

    size_t frameBytes() const { return static_cast<size_t>(frameWidth) * static_cast<size_t>(frameHeight) * 4; }
};

NdiStreamer::NdiStreamer(CaptureBackend& backend, NdiRuntime& runtime) : backend_(backend), runtime_(runtime) {}

NdiStreamer::~NdiStreamer() { stop(); }

bool NdiStreamer::start(const std::string& gdiName, const std::string& senderName, int32_t fps,
                        const recorder::Region& region) {
    if (running_.load()) return false;
    // A worker that failed to start has been joined already; this only guards
    // against leaving one behind.
    if (worker_.joinable()) worker_.join();

    gdiName_ = gdiName;
    senderName_ = senderName;
    fps_ = fps < 1 ? 30 : fps;
    region_ = region;
    stopRequested_ = false;
    status_.clear();

    if (!runtime_.ensureRuntime(nullptr, &status_)) return false;

    std::promise<bool> result;
    std::future<bool> started = result.get_future();
    worker_ = std::thread([this, promise = std::move(result)]() mutable { run(std::move(promise)); });
    if (started.get()) {
        log::logf(log::Info, "NDI sharing started: %s", senderName_.c_str());
        return true;
    }
    if (worker_.joinable()) worker_.join();
    log::logf(log::Warn, "NdiStreamer start failed: %s", status_.c_str());
    return false;
}

void NdiStreamer::stop() {
    stopRequested_ = true;
    if (worker_.joinable()) worker_.join();
    running_ = false;
}

void NdiStreamer::run(std::promise<bool> result) {
    CaptureClock& clock = backend_.clock();
    clock.enterThread();
    bool started = false;
    {
        Context context;
        context.capture = backend_.screenCapture();
        NdiSender sender(runtime_);
        started = prepare(context);
        if (started && !sender.createSender(senderName_)) {
            status_ = sender.error();
            started = false;
        }
        if (started) {
            const CaptureActivity active;
            running_ = true;
            result.set_value(true);
            sendFrames(context, sender);
            sender.destroySender();
            running_ = false;
        }
        // The duplication, the staging texture and the device.
        context.capture->close();
    }
    clock.leaveThread();
    // A failure is reported once everything is released, so a caller that
    // sees it finds nothing of the worker left.
    if (!started) result.set_value(false);
}

// Opens the display and duplicates it; the text of a failure goes to status_.
bool NdiStreamer::prepare(Context& context) {
    const ScreenCapture::OpenResult opened = context.capture->open(gdiName_);
    if (opened != ScreenCapture::OpenResult::Ok) {
        status_ = ScreenCapture::openFailureText(opened, "Display not found for NDI sharing");
        return false;
    }
    return duplicate(context, status_);
}

// Duplicates the display afresh and works out what is copied and sent.
bool NdiStreamer::duplicate(Context& context, std::string& error) {
    ScreenCapture& capture = *context.capture;
    int32_t width = 0, height = 0;
    recorder::Rotation rotation = recorder::Rotation::Identity;
    if (capture.duplicate(width, height, rotation) != ScreenCapture::Duplicate::Ok) {
        error = "DuplicateOutput failed (another app may hold the display, or access was denied on a secure desktop)";
        return false;
    }
    if (width <= 0 || height <= 0) {
        capture.releaseDuplication();
        error = "Empty duplication mode";
        return false;
    }
    // What is sent is the display as the user sees it: a turned display's
    // frames go out upright, and the region is a part of that upright image.
    int32_t uprightWidth = 0, uprightHeight = 0;
    recorder::uprightSize(rotation, width, height, uprightWidth, uprightHeight);
    context.rotation = rotation;
    context.useRegion = false;
    context.box = recorder::Crop{0, 0, width, height};
    context.frameWidth = uprightWidth;
    context.frameHeight = uprightHeight;
    // Compared rather than subtracted, so no edge values can overflow.
    if (region_.right > region_.left && region_.bottom > region_.top) {
        const int32_t x0 = std::clamp(region_.left, 0, uprightWidth);
        const int32_t x1 = std::clamp(region_.right, 0, uprightWidth);
        const int32_t y0 = std::clamp(region_.top, 0, uprightHeight);
        const int32_t y1 = std::clamp(region_.bottom, 0, uprightHeight);
        if (x1 - x0 < kMinRegionSide || y1 - y0 < kMinRegionSide) {
            capture.releaseDuplication();
            error = "The selected region no longer fits on that display";
            return false;
        }
        context.box = recorder::frameBox(recorder::Crop{x0, y0, x1 - x0, y1 - y0}, rotation, width, height);
        context.useRegion = true;
        context.frameWidth = x1 - x0;
        context.frameHeight = y1 - y0;
    }
    if (!capture.createStaging(context.box.width, context.box.height)) {
        capture.releaseDuplication();
        error = "Staging texture failed";
        return false;
    }
    return true;
}

// Sends the display until stopped. Lost access, a mode change or a region
// that no longer fits only pause the frames: the display is duplicated again
// every 250 ms until that works or the share is stopped.
void NdiStreamer::sendFrames(Context& context, NdiSender& sender) {
    CaptureClock& clock = backend_.clock();
    ScreenCapture& capture = *context.capture;
    const uint32_t frameMs = static_cast<uint32_t>(1000 / fps_);
    std::vector<uint8_t> frame(context.frameBytes(), 0);
    bool haveFrame = false;

    while (!stopRequested_.load()) {
        if (!capture.hasDuplication()) {
            std::string ignored;
            bool duplicated = false;
            while (!(duplicated = duplicate(context, ignored))) {
                clock.sleepMs(kRetryMs);
                if (stopRequested_.load()) break;
            }
            if (!duplicated) break;
            // The stream goes on at whatever size the display has now.
            frame.assign(context.frameBytes(), 0);
        }

        const ScreenCapture::Acquire acquired =
            capture.acquire(frameMs, context.useRegion ? &context.box : nullptr, context.rotation, frame.data());
        if (acquired == ScreenCapture::Acquire::AccessLost) continue;
        if (acquired == ScreenCapture::Acquire::Frame) haveFrame = true;

        // A static screen is sent again from the buffer, with no new copy;
        // the runtime's video clock paces the sends.
        if (haveFrame) {
            sender.sendFrame(frame.data(), context.frameWidth, context.frameHeight, context.frameWidth * 4, fps_);
        } else {
            clock.sleepMs(frameMs);
        }
    }
}

} // namespace qv
