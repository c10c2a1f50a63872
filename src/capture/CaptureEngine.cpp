#include "capture/CaptureEngine.h"

#include "base/Log.h"
#include "base/StrPrintf.h"

#include <utility>

namespace qv {

namespace {

using Step = PreviewGpu::SetupStep;

// The status text's lead for a failed set-up step; the code follows it.
const char* setupStepText(Step step) {
    switch (step) {
    case Step::Factory:
        return "CreateDXGIFactory1 failed ";
    case Step::Output1:
        return "QI IDXGIOutput1 ";
    case Step::Device:
        return "D3D11CreateDevice failed ";
    case Step::SwapChain:
        return "CreateSwapChainForHwnd ";
    case Step::BackBuffer:
        return "GetBuffer ";
    case Step::RenderTargetView:
        return "CreateRenderTargetView ";
    case Step::VertexShader:
        return "VS compile ";
    case Step::PixelShader:
        return "PS compile ";
    case Step::None:
    case Step::OutputNotFound:
        break;
    }
    return "";
}

const char* duplicationStepText(PreviewGpu::DuplicationStep step) {
    switch (step) {
    case PreviewGpu::DuplicationStep::SampleTexture:
        return "CreateTexture2D(sample) ";
    case PreviewGpu::DuplicationStep::ResourceView:
        return "CreateSRV ";
    case PreviewGpu::DuplicationStep::DuplicateOutput:
        break;
    }
    return "DuplicateOutput failed ";
}

std::string hresultText(uint32_t code) { return strprintf("0x%08lX", static_cast<unsigned long>(code)); }

} // namespace

CaptureEngine::CaptureEngine(std::unique_ptr<PreviewGpu> gpu, CaptureClock& clock)
    : gpu_(std::move(gpu)), clock_(clock) {}

CaptureEngine::~CaptureEngine() { stop(); }

bool CaptureEngine::start(WindowHandle window, const std::string& deviceName) {
    // A second start replaces the first set of resources rather than leaking it.
    stop();
    window_ = window;
    deviceName_ = deviceName;
    status_.clear();
    resources_ = true;
    gpu_->clientSize(window, swapWidth_, swapHeight_);
    if (swapWidth_ == 0) swapWidth_ = kDefaultWidth;
    if (swapHeight_ == 0) swapHeight_ = kDefaultHeight;

    const PreviewGpu::Setup setup = gpu_->setup(window, deviceName, swapWidth_, swapHeight_);
    if (setup.failed != Step::None) {
        if (setup.failed == Step::OutputNotFound) {
            report("Monitor output not found for preview");
        } else {
            report(setupStepText(setup.failed), setup.code);
        }
        return false;
    }
    renderTarget_ = true;
    desktopLeft_ = setup.desktopLeft;
    desktopTop_ = setup.desktopTop;
    // The output's desktop size, upright, until the duplication tells the
    // frames' own size and turn.
    frameWidth_ = setup.width;
    frameHeight_ = setup.height;
    rotation_ = recorder::Rotation::Identity;

    if (startDuplication()) {
        state_ = Capturing;
        return true;
    }
    return state_ != Failed;
}

bool CaptureEngine::startDuplication() {
    duplication_ = false; // any previous one is released first
    const PreviewGpu::Duplication result = gpu_->duplicate();
    switch (result.outcome) {
    case PreviewGpu::DuplicationOutcome::Started:
        duplication_ = true;
        sample_ = true;
        sampleView_ = true;
        frameWidth_ = result.width;
        frameHeight_ = result.height;
        rotation_ = result.rotation;
        return true;
    case PreviewGpu::DuplicationOutcome::Busy:
        // Another program holds the output, or a secure desktop is shown:
        // not an error, tried again on the next pass.
        state_ = Unavailable;
        status_ = "Output busy/unavailable (" + hresultText(result.code) + ")";
        return false;
    case PreviewGpu::DuplicationOutcome::Failed:
        break;
    }
    switch (result.failedStep) {
    case PreviewGpu::DuplicationStep::DuplicateOutput:
        break;
    case PreviewGpu::DuplicationStep::SampleTexture:
        duplication_ = true;
        sample_ = false;
        sampleView_ = false;
        break;
    case PreviewGpu::DuplicationStep::ResourceView:
        duplication_ = true;
        sample_ = true;
        sampleView_ = false;
        break;
    }
    report(duplicationStepText(result.failedStep), result.code);
    return false;
}

bool CaptureEngine::renderFrame() {
    if (state_ == Failed || !resources_) return false;
    const uint64_t passStart = clock_.tickMs();

    if (resizePending_) {
        resizePending_ = false;
        if (pendingWidth_ != swapWidth_ || pendingHeight_ != swapHeight_) {
            gpu_->releaseRenderTarget();
            renderTarget_ = false;
            if (gpu_->resizeBuffers(pendingWidth_, pendingHeight_)) {
                swapWidth_ = pendingWidth_;
                swapHeight_ = pendingHeight_;
                renderTarget_ = gpu_->createRenderTarget();
            }
        }
    }

    if (!duplication_ && !startDuplication() && state_ == Failed) return false;

    if (duplication_) {
        const PreviewGpu::Acquisition frame = gpu_->acquire(kAcquireTimeoutMs);
        switch (frame.result) {
        case PreviewGpu::Acquired::Timeout:
            break;
        case PreviewGpu::Acquired::AccessLost:
            gpu_->releaseDuplication();
            duplication_ = false;
            state_ = Unavailable;
            break;
        case PreviewGpu::Acquired::Failed:
            report("AcquireNextFrame ", frame.code);
            return false;
        case PreviewGpu::Acquired::Frame:
            if (frame.width == frameWidth_ && frame.height == frameHeight_ && sample_) {
                gpu_->copyFrame();
                gpu_->releaseFrame();
                state_ = Capturing;
            } else {
                // The desktop changed size: duplicate again at the new size on
                // the next pass. The frame goes back before its duplication goes.
                gpu_->releaseFrame();
                gpu_->releaseDuplication();
                duplication_ = false;
                state_ = Unavailable;
            }
            break;
        }
    }

    const bool shown = draw();
    if (state_ == Unavailable || !shown) {
        const uint64_t now = clock_.tickMs();
        const uint64_t elapsed = now > passStart ? now - passStart : 0;
        if (elapsed < kIdlePassMs) clock_.sleepMs(static_cast<uint32_t>(kIdlePassMs - elapsed));
    }
    return true;
}

bool CaptureEngine::draw() {
    if (!renderTarget_) return false;
    gpu_->clear();
    // The window shows the desktop as the user sees it: the frame turned
    // upright, fitted by its upright size.
    if (sampleView_ && frameWidth_ != 0 && frameHeight_ != 0)
        gpu_->drawImage(letterbox(swapWidth_, swapHeight_, imageWidth(), imageHeight()), rotation_);
    return gpu_->present();
}

void CaptureEngine::requestResize(uint32_t width, uint32_t height) {
    if (!resources_ || width == 0 || height == 0) return;
    pendingWidth_ = width;
    pendingHeight_ = height;
    resizePending_ = true;
}

void CaptureEngine::stop() {
    if (!resources_) return;
    gpu_->release();
    resources_ = false;
    renderTarget_ = false;
    duplication_ = false;
    sample_ = false;
    sampleView_ = false;
    resizePending_ = false;
    state_ = Stopped;
}

PreviewViewport CaptureEngine::letterbox(uint32_t windowWidth, uint32_t windowHeight, uint32_t frameWidth,
                                         uint32_t frameHeight) {
    if (windowWidth == 0 || windowHeight == 0 || frameWidth == 0 || frameHeight == 0) return {};
    const float w = static_cast<float>(windowWidth);
    const float h = static_cast<float>(windowHeight);
    const float aspect = static_cast<float>(frameWidth) / static_cast<float>(frameHeight);
    float drawnWidth = w;
    float drawnHeight = w / aspect;
    if (w / h > aspect) {
        drawnWidth = h * aspect;
        drawnHeight = h;
    }
    return {(w - drawnWidth) * 0.5f, (h - drawnHeight) * 0.5f, drawnWidth, drawnHeight};
}

uint32_t CaptureEngine::imageWidth() const {
    return recorder::quarterTurns(rotation_) % 2 == 1 ? frameHeight_ : frameWidth_;
}

uint32_t CaptureEngine::imageHeight() const {
    return recorder::quarterTurns(rotation_) % 2 == 1 ? frameWidth_ : frameHeight_;
}

std::array<PreviewVertex, 4> CaptureEngine::quad(recorder::Rotation rotation) {
    // The frame point (u, v) that shows at the upright point (X, Y), both
    // from 0 to 1: the inverse of turning the frame clockwise by the
    // rotation's quarter turns (see recorder::Rotation).
    const auto frameAt = [turns = recorder::quarterTurns(rotation)](float x, float y, float& u, float& v) {
        switch (turns) {
        case 1:
            u = y;
            v = 1.0f - x;
            break;
        case 2:
            u = 1.0f - x;
            v = 1.0f - y;
            break;
        case 3:
            u = 1.0f - y;
            v = x;
            break;
        default:
            u = x;
            v = y;
            break;
        }
    };
    std::array<PreviewVertex, 4> corners{{{-1, 1, 0, 0}, {1, 1, 1, 0}, {-1, -1, 0, 1}, {1, -1, 1, 1}}};
    for (PreviewVertex& corner : corners) {
        const float x = corner.u;
        const float y = corner.v;
        frameAt(x, y, corner.u, corner.v);
    }
    return corners;
}

void CaptureEngine::report(const std::string& text) {
    status_ = text;
    state_ = Failed;
    log::write(log::Error, "CaptureEngine: " + text);
}

void CaptureEngine::report(const char* step, uint32_t code) { report(step + hresultText(code)); }

} // namespace qv
