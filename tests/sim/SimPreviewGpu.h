#pragma once
#include "capture/PreviewGpu.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace qv::sim {

// A display as a preview's GPU side sees it, and what it was asked to do.
struct SimPreviewScreen {
    // The window's client area.
    uint32_t clientWidth = 1280;
    uint32_t clientHeight = 720;
    // The one output there is.
    std::string gdiName = "\\\\.\\DISPLAY1";
    int32_t desktopLeft = 0;
    int32_t desktopTop = 0;
    uint32_t width = 1920; // the mode's size; frames and duplications have it
    uint32_t height = 1080;
    // How the desktop is turned on the frames, as DXGI_MODE_ROTATION numbers
    // it (sim::dxgi_rotation in SimCapture.h).
    uint32_t rotation = 1;
    // Device set-up fails at this step with this code.
    PreviewGpu::SetupStep setupFailure = PreviewGpu::SetupStep::None;
    uint32_t setupCode = 0;
    // The next this many duplications answer busy with busyCode; -1: all of them.
    int busyDuplications = 0;
    uint32_t busyCode = 0x80070005; // E_ACCESSDENIED
    // Duplications fail at this step with this code (DuplicateOutput's step
    // with code 0: they do not fail).
    PreviewGpu::DuplicationStep duplicationFailure = PreviewGpu::DuplicationStep::DuplicateOutput;
    uint32_t duplicationCode = 0;
    // New desktop frames waiting; each acquire takes one at the desktop's
    // current size. With none waiting an acquire times out.
    int pendingFrames = 0;
    bool loseAccess = false;   // the next acquire reports lost access
    uint32_t acquireCode = 0;  // non-zero: acquires fail with this code
    bool resizeFails = false;
    bool renderTargetFails = false;
    // The window is covered or minimised, or the workstation locked: Present
    // shows nothing and returns at once.
    bool occluded = false;

    // Every call as a line: "setup \\.\DISPLAY1 1280x720", "duplicate",
    // "acquire", "copy", "releaseFrame", "releaseDuplication",
    // "releaseRenderTarget", "resize 800x600", "createRenderTarget",
    // "clear", "draw 0,0 1920x1080", "present", "release"; a draw of a
    // turned frame ends in the corners' texture points, top left, top
    // right, bottom left, bottom right: "draw 0,0 1080x1920 uv 0,1 0,0 1,1 1,0".
    std::vector<std::string> calls;
    // Resources that exist now.
    bool device = false;
    bool duplication = false;
    bool frameHeld = false;
};

// The GPU side of a preview on the simulated desktop. A test may change the
// screen while a render thread drives the engine: every access goes through
// the mutex. An acquire with no frame waiting blocks for at most a
// millisecond (less when a frame is queued), so a render loop does not spin.
class SimPreviewGpu final : public PreviewGpu {
public:
    // Runs change on the screen under the lock and wakes a waiting acquire.
    void change(const std::function<void(SimPreviewScreen&)>& change);
    SimPreviewScreen screen() const;
    std::vector<std::string> calls() const;
    void clearCalls();
    int count(const std::string& call) const;
    // Waits until the call has been made at least `times` times; false when
    // that does not happen within seconds (the test then fails, it does not hang).
    bool waitForCall(const std::string& call, int times = 1) const;

    void clientSize(WindowHandle window, uint32_t& width, uint32_t& height) override;
    Setup setup(WindowHandle window, const std::string& deviceName, uint32_t width, uint32_t height) override;
    Duplication duplicate() override;
    void releaseDuplication() override;
    Acquisition acquire(uint32_t timeoutMs) override;
    void copyFrame() override;
    void releaseFrame() override;
    void releaseRenderTarget() override;
    bool resizeBuffers(uint32_t width, uint32_t height) override;
    bool createRenderTarget() override;
    void clear() override;
    void drawImage(const PreviewViewport& viewport, recorder::Rotation rotation) override;
    bool present() override;
    void release() override;

private:
    void record(std::string call);

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    SimPreviewScreen screen_;
};

} // namespace qv::sim
