#pragma once
#include "base/WindowHandle.h"
#include "capture/RecorderFrames.h"

#include <cstdint>
#include <string>

namespace qv {

// Where a preview's image goes inside its window: a viewport in swap-chain
// pixels.
struct PreviewViewport {
    float x = 0.0f;
    float y = 0.0f;
    float width = 0.0f;
    float height = 0.0f;

    friend bool operator==(const PreviewViewport&, const PreviewViewport&) = default;
};

// A corner of the quad the image is drawn on: its place in the viewport
// (x right, y up, -1 to 1) and the point of the frame texture drawn there
// (u right, v down, 0 to 1).
struct PreviewVertex {
    float x = 0.0f;
    float y = 0.0f;
    float u = 0.0f;
    float v = 0.0f;

    friend bool operator==(const PreviewVertex&, const PreviewVertex&) = default;
};

// The GPU side of a live preview: a Direct3D 11 device on the adapter of one
// display's output, a swap chain on the preview window, the desktop
// duplication of that output and a sample texture holding the latest desktop
// frame, drawn as one textured quad. Each method is one step that
// CaptureEngine decides about; the engine keeps track of which resources
// exist. Codes are HRESULTs as unsigned 32-bit values. One thread (the
// preview's render thread) makes every call.
class PreviewGpu {
public:
    // The device set-up step that failed.
    enum class SetupStep {
        None,
        Factory,          // CreateDXGIFactory1
        OutputNotFound,   // no output has the device name (no code)
        Output1,          // the output has no IDXGIOutput1
        Device,           // D3D11CreateDevice
        SwapChain,        // CreateSwapChainForHwnd
        BackBuffer,       // GetBuffer(0)
        RenderTargetView, // CreateRenderTargetView
        VertexShader,     // compiling or creating the vertex shader
        PixelShader,      // compiling or creating the image pixel shader
    };
    struct Setup {
        SetupStep failed = SetupStep::None;
        uint32_t code = 0;
        // The output found: its desktop origin and size.
        int32_t desktopLeft = 0;
        int32_t desktopTop = 0;
        uint32_t width = 0;
        uint32_t height = 0;
    };

    enum class DuplicationOutcome {
        Started,
        Busy,   // E_ACCESSDENIED or DXGI_ERROR_NOT_CURRENTLY_AVAILABLE: no duplication
        Failed, // see step and code
    };
    enum class DuplicationStep {
        DuplicateOutput, // no duplication
        SampleTexture,   // the duplication exists; no sample texture, no view
        ResourceView,    // the duplication and the new sample texture exist; no view
    };
    struct Duplication {
        DuplicationOutcome outcome = DuplicationOutcome::Failed;
        DuplicationStep failedStep = DuplicationStep::DuplicateOutput;
        uint32_t code = 0;
        // Started: the duplicated mode's size, which frames arrive in (the
        // panel's own orientation), and how the desktop is turned on them;
        // the sample texture and its view were made anew at that size.
        uint32_t width = 0;
        uint32_t height = 0;
        recorder::Rotation rotation = recorder::Rotation::Identity;
    };

    enum class Acquired {
        Frame,      // a frame is held; its size is reported
        Timeout,    // nothing new within the time-out
        AccessLost, // DXGI_ERROR_ACCESS_LOST
        Failed,     // any other failure, with its code
    };
    struct Acquisition {
        Acquired result = Acquired::Failed;
        uint32_t code = 0;
        uint32_t width = 0; // Frame: the frame texture's size
        uint32_t height = 0;
    };

    virtual ~PreviewGpu() = default;

    // GetClientRect of the window: its client width and height.
    virtual void clientSize(WindowHandle window, uint32_t& width, uint32_t& height) = 0;
    // Device set-up, every step in order up to the first failure: the factory,
    // the output whose GDI device name (UTF-8) matches exactly, its adapter's
    // device, a swap chain of width × height on the window, the render target
    // view of back buffer 0, the shaders, input layout, quad vertex buffer
    // and sampler. What was made before a failure stays until release().
    virtual Setup setup(WindowHandle window, const std::string& deviceName, uint32_t width, uint32_t height) = 0;
    // Releases any duplication and duplicates the output afresh; once it is
    // made, replaces the sample texture and then its view. A busy or failed
    // DuplicateOutput keeps the old sample texture and view.
    virtual Duplication duplicate() = 0;
    virtual void releaseDuplication() = 0;
    // Waits up to timeoutMs for a new desktop frame.
    virtual Acquisition acquire(uint32_t timeoutMs) = 0;
    // Copies the held frame into the sample texture (on the GPU).
    virtual void copyFrame() = 0;
    // Hands the held frame back to the duplication.
    virtual void releaseFrame() = 0;
    virtual void releaseRenderTarget() = 0;
    // ResizeBuffers keeping the buffer count and format; false when it fails.
    virtual bool resizeBuffers(uint32_t width, uint32_t height) = 0;
    // A render target view of back buffer 0; false when it cannot be made.
    virtual bool createRenderTarget() = 0;
    // Binds the render target and clears it to opaque black.
    virtual void clear() = 0;
    // Draws the sample texture scaled into the viewport, on the quad of
    // CaptureEngine::quad(rotation): turned upright.
    virtual void drawImage(const PreviewViewport& viewport, recorder::Rotation rotation) = 0;
    // Present(1, 0): shows the frame at the next vertical blank. True when the
    // frame was queued for the screen; false when the window is occluded
    // (DXGI_STATUS_OCCLUDED: minimised, covered, a locked workstation) or
    // Present failed, that is when nothing waited for a vertical blank.
    virtual bool present() = 0;
    // Clears the context's state and releases every resource, last made first.
    virtual void release() = 0;
};

} // namespace qv
