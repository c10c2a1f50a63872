#pragma once
#include "base/WindowHandle.h"
#include "capture/CapturePorts.h"
#include "capture/PreviewGpu.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace qv {

// Shows the live image of one display inside one window: finds the display's
// output, attaches a swap chain to the window, duplicates the output and
// draws each new desktop frame scaled to fit with black bars. One engine per
// preview window, driven entirely from that window's render thread; no locks.
class CaptureEngine {
public:
    enum State : int32_t { Stopped = 0, Capturing = 1, Unavailable = 3, Failed = 4 };

    // The swap chain's size when the window's client area is empty.
    static constexpr uint32_t kDefaultWidth = 640;
    static constexpr uint32_t kDefaultHeight = 360;
    static constexpr uint32_t kAcquireTimeoutMs = 15;
    // The shortest pass while nothing else sets the pace: no duplication to
    // wait on, or a Present that did not wait for a vertical blank.
    static constexpr uint32_t kIdlePassMs = 15;

    // The clock times and waits out passes that nothing else paces.
    CaptureEngine(std::unique_ptr<PreviewGpu> gpu, CaptureClock& clock);
    ~CaptureEngine();
    CaptureEngine(const CaptureEngine&) = delete;
    CaptureEngine& operator=(const CaptureEngine&) = delete;

    // Sets up the device and swap chain for the window and starts the
    // duplication of the display with that GDI device name. False when set-up
    // failed or the duplication failed for good (state Failed, status says
    // why, logged). A busy output is not a failure: state Unavailable, retried
    // by every renderFrame.
    bool start(WindowHandle window, const std::string& deviceName);
    // One pass: a pending resize, (re)starting the duplication, taking a new
    // frame if there is one, drawing and presenting. A pass is paced by the
    // acquire's time-out and Present's vertical blank; while the duplication
    // is unavailable (a locked workstation, a UAC prompt) or Present does not
    // wait (an occluded window), it is stretched to kIdlePassMs instead, so
    // a preview left open never spins a core. False once the engine has
    // failed; the caller must stop.
    bool renderFrame();
    // Resizes the swap chain at the next pass. Zero sizes (a minimised
    // window) are ignored.
    void requestResize(uint32_t width, uint32_t height);
    // Releases everything; state Stopped. The status text stays.
    void stop();

    int32_t state() const { return state_; }
    const std::string& status() const { return status_; }
    uint32_t frameWidth() const { return frameWidth_; }
    uint32_t frameHeight() const { return frameHeight_; }
    int32_t desktopLeft() const { return desktopLeft_; }
    int32_t desktopTop() const { return desktopTop_; }
    // How the desktop is turned on the frames.
    recorder::Rotation rotation() const { return rotation_; }
    // The size of the image as the user sees it: the frame turned upright.
    uint32_t imageWidth() const;
    uint32_t imageHeight() const;

    // The largest rectangle of the frame's aspect that fits a window of
    // width × height, centred: bars left and right for a wide window, above
    // and below for a tall one. Empty when any size is zero.
    static PreviewViewport letterbox(uint32_t windowWidth, uint32_t windowHeight, uint32_t frameWidth,
                                     uint32_t frameHeight);
    // The four corners of the image's quad as a triangle strip: top left,
    // top right, bottom left, bottom right of the viewport, each with the
    // point of the frame that shows there once the frame is turned upright.
    static std::array<PreviewVertex, 4> quad(recorder::Rotation rotation);

private:
    bool startDuplication();
    // Draws and presents; true when the frame went to the screen.
    bool draw();
    void report(const std::string& text);
    void report(const char* step, uint32_t code);

    std::unique_ptr<PreviewGpu> gpu_;
    CaptureClock& clock_;
    WindowHandle window_ = 0;
    std::string deviceName_;
    int32_t state_ = Stopped;
    std::string status_;
    uint32_t frameWidth_ = 0;
    uint32_t frameHeight_ = 0;
    int32_t desktopLeft_ = 0;
    int32_t desktopTop_ = 0;
    recorder::Rotation rotation_ = recorder::Rotation::Identity;

    // Which GPU resources exist.
    bool resources_ = false;
    bool renderTarget_ = false;
    bool duplication_ = false;
    bool sample_ = false;
    bool sampleView_ = false;

    uint32_t swapWidth_ = 0;
    uint32_t swapHeight_ = 0;
    uint32_t pendingWidth_ = 0;
    uint32_t pendingHeight_ = 0;
    bool resizePending_ = false;
};

} // namespace qv
