#include "sim/SimPreviewGpu.h"

#include "base/StrPrintf.h"
#include "capture/CaptureEngine.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <utility>

namespace qv::sim {

namespace {

constexpr auto kPatience = std::chrono::seconds(20);

} // namespace

void SimPreviewGpu::change(const std::function<void(SimPreviewScreen&)>& change) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        change(screen_);
    }
    changed_.notify_all();
}

SimPreviewScreen SimPreviewGpu::screen() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return screen_;
}

std::vector<std::string> SimPreviewGpu::calls() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return screen_.calls;
}

void SimPreviewGpu::clearCalls() {
    const std::lock_guard<std::mutex> lock(mutex_);
    screen_.calls.clear();
}

int SimPreviewGpu::count(const std::string& call) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(std::count(screen_.calls.begin(), screen_.calls.end(), call));
}

bool SimPreviewGpu::waitForCall(const std::string& call, int times) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, kPatience, [&] {
        return std::count(screen_.calls.begin(), screen_.calls.end(), call) >= times;
    });
}

void SimPreviewGpu::record(std::string call) {
    screen_.calls.push_back(std::move(call));
    changed_.notify_all();
}

void SimPreviewGpu::clientSize(WindowHandle, uint32_t& width, uint32_t& height) {
    const std::lock_guard<std::mutex> lock(mutex_);
    width = screen_.clientWidth;
    height = screen_.clientHeight;
}

PreviewGpu::Setup SimPreviewGpu::setup(WindowHandle, const std::string& deviceName, uint32_t width,
                                       uint32_t height) {
    const std::lock_guard<std::mutex> lock(mutex_);
    record(strprintf("setup %s %ux%u", deviceName.c_str(), width, height));
    screen_.device = true;
    Setup result;
    if (deviceName != screen_.gdiName) {
        result.failed = SetupStep::OutputNotFound;
        return result;
    }
    if (screen_.setupFailure != SetupStep::None) {
        result.failed = screen_.setupFailure;
        result.code = screen_.setupCode;
        return result;
    }
    result.desktopLeft = screen_.desktopLeft;
    result.desktopTop = screen_.desktopTop;
    result.width = screen_.width;
    result.height = screen_.height;
    return result;
}

PreviewGpu::Duplication SimPreviewGpu::duplicate() {
    const std::lock_guard<std::mutex> lock(mutex_);
    record("duplicate");
    screen_.duplication = false;
    Duplication result;
    if (screen_.busyDuplications != 0) {
        if (screen_.busyDuplications > 0) --screen_.busyDuplications;
        result.outcome = DuplicationOutcome::Busy;
        result.code = screen_.busyCode;
        return result;
    }
    if (screen_.duplicationCode != 0) {
        result.outcome = DuplicationOutcome::Failed;
        result.failedStep = screen_.duplicationFailure;
        result.code = screen_.duplicationCode;
        screen_.duplication = screen_.duplicationFailure != DuplicationStep::DuplicateOutput;
        return result;
    }
    screen_.duplication = true;
    result.outcome = DuplicationOutcome::Started;
    result.width = screen_.width;
    result.height = screen_.height;
    result.rotation = static_cast<recorder::Rotation>(screen_.rotation);
    return result;
}

void SimPreviewGpu::releaseDuplication() {
    const std::lock_guard<std::mutex> lock(mutex_);
    record("releaseDuplication");
    screen_.duplication = false;
}

PreviewGpu::Acquisition SimPreviewGpu::acquire(uint32_t) {
    std::unique_lock<std::mutex> lock(mutex_);
    record("acquire");
    Acquisition result;
    if (!screen_.duplication || screen_.frameHeld) {
        // The engine acquired without a duplication or without handing the
        // last frame back: a call Windows would refuse.
        result.result = Acquired::Failed;
        result.code = 0x887A0001; // DXGI_ERROR_INVALID_CALL
        return result;
    }
    if (screen_.acquireCode != 0) {
        result.code = screen_.acquireCode;
        return result;
    }
    if (screen_.loseAccess) {
        screen_.loseAccess = false;
        result.result = Acquired::AccessLost;
        return result;
    }
    if (screen_.pendingFrames == 0) {
        changed_.wait_for(lock, std::chrono::milliseconds(1), [&] { return screen_.pendingFrames > 0; });
        if (screen_.pendingFrames == 0) {
            result.result = Acquired::Timeout;
            return result;
        }
    }
    --screen_.pendingFrames;
    screen_.frameHeld = true;
    result.result = Acquired::Frame;
    result.width = screen_.width;
    result.height = screen_.height;
    return result;
}

void SimPreviewGpu::copyFrame() {
    const std::lock_guard<std::mutex> lock(mutex_);
    record(screen_.frameHeld ? "copy" : "copy without a frame");
}

void SimPreviewGpu::releaseFrame() {
    const std::lock_guard<std::mutex> lock(mutex_);
    record(screen_.duplication ? "releaseFrame" : "releaseFrame without a duplication");
    screen_.frameHeld = false;
}

void SimPreviewGpu::releaseRenderTarget() {
    const std::lock_guard<std::mutex> lock(mutex_);
    record("releaseRenderTarget");
}

bool SimPreviewGpu::resizeBuffers(uint32_t width, uint32_t height) {
    const std::lock_guard<std::mutex> lock(mutex_);
    record(strprintf("resize %ux%u", width, height));
    return !screen_.resizeFails;
}

bool SimPreviewGpu::createRenderTarget() {
    const std::lock_guard<std::mutex> lock(mutex_);
    record("createRenderTarget");
    return !screen_.renderTargetFails;
}

void SimPreviewGpu::clear() {
    const std::lock_guard<std::mutex> lock(mutex_);
    record("clear");
}

void SimPreviewGpu::drawImage(const PreviewViewport& v, recorder::Rotation rotation) {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::string call = strprintf("draw %g,%g %gx%g", v.x, v.y, v.width, v.height);
    // What the adapter draws: the engine's quad for the rotation.
    const std::array<PreviewVertex, 4> quad = CaptureEngine::quad(rotation);
    const std::array<PreviewVertex, 4> plain = CaptureEngine::quad(recorder::Rotation::Identity);
    if (quad != plain) {
        call += " uv";
        for (const PreviewVertex& corner : quad) call += strprintf(" %g,%g", corner.u, corner.v);
    }
    record(std::move(call));
}

bool SimPreviewGpu::present() {
    const std::lock_guard<std::mutex> lock(mutex_);
    record(screen_.occluded ? "present (occluded)" : "present");
    return !screen_.occluded;
}

void SimPreviewGpu::release() {
    const std::lock_guard<std::mutex> lock(mutex_);
    record("release");
    screen_.device = false;
    screen_.duplication = false;
    screen_.frameHeld = false;
}

} // namespace qv::sim
