#include "capture/win32/Win32ScreenCapture.h"

#include "base/win32/Utf16.h"
#include "display/win32/DxgiOutputs.h"

#include <windows.h>

#include <d3d11.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

namespace qv {

using Microsoft::WRL::ComPtr;

struct Win32ScreenCapture::Resources {
    ComPtr<ID3D11Device> device;
    ComPtr<ID3D11DeviceContext> context;
    ComPtr<IDXGIOutput1> output;
    ComPtr<IDXGIOutputDuplication> duplication;
    ComPtr<ID3D11Texture2D> staging;
    UINT stagingWidth = 0;
    UINT stagingHeight = 0;
};

Win32ScreenCapture::Win32ScreenCapture() : resources_(std::make_unique<Resources>()) {}

Win32ScreenCapture::~Win32ScreenCapture() { close(); }

ScreenCapture::OpenResult Win32ScreenCapture::open(const std::string& gdiName) {
    close();
    ComPtr<IDXGIFactory1> factory;
    HRESULT hr = CreateDXGIFactory1(IID_PPV_ARGS(&factory));
    if (FAILED(hr)) {
        lastError_ = static_cast<uint32_t>(hr);
        return OpenResult::FactoryFailed;
    }
    ComPtr<IDXGIAdapter1> adapter;
    ComPtr<IDXGIOutput> output;
    DXGI_OUTPUT_DESC desc{};
    if (!findDxgiOutput(*factory.Get(), widen(gdiName), adapter, output, desc)) return OpenResult::OutputNotFound;

    const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_1, D3D_FEATURE_LEVEL_11_0};
    hr = D3D11CreateDevice(adapter.Get(), D3D_DRIVER_TYPE_UNKNOWN, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT, levels,
                           ARRAYSIZE(levels), D3D11_SDK_VERSION, &resources_->device, nullptr, &resources_->context);
    if (FAILED(hr)) {
        lastError_ = static_cast<uint32_t>(hr);
        close();
        return OpenResult::DeviceFailed;
    }
    hr = output.As(&resources_->output);
    if (FAILED(hr)) {
        lastError_ = static_cast<uint32_t>(hr);
        close();
        return OpenResult::OutputFailed;
    }
    return OpenResult::Ok;
}

namespace {

// IDXGIOutput1::DuplicateOutput's answers that pass with time
// (learn.microsoft.com/windows/win32/api/dxgi1_2/nf-dxgi1_2-idxgioutput1-duplicateoutput):
// E_ACCESSDENIED while the secure desktop shows (a locked workstation, a UAC
// prompt), DXGI_ERROR_NOT_CURRENTLY_AVAILABLE while other programs hold every
// duplication, DXGI_ERROR_SESSION_DISCONNECTED while the session is
// disconnected.
bool unavailableForNow(HRESULT hr) {
    return hr == E_ACCESSDENIED || hr == DXGI_ERROR_NOT_CURRENTLY_AVAILABLE || hr == DXGI_ERROR_SESSION_DISCONNECTED;
}

} // namespace

// The core's rotation keeps DXGI_MODE_ROTATION's numbers
// (learn.microsoft.com, "DXGI_MODE_ROTATION enumeration"), so
// DXGI_OUTDUPL_DESC.Rotation passes through unchanged; mingw's header agrees.
static_assert(static_cast<uint32_t>(recorder::Rotation::Unspecified) == DXGI_MODE_ROTATION_UNSPECIFIED);
static_assert(static_cast<uint32_t>(recorder::Rotation::Identity) == DXGI_MODE_ROTATION_IDENTITY);
static_assert(static_cast<uint32_t>(recorder::Rotation::Rotate90) == DXGI_MODE_ROTATION_ROTATE90);
static_assert(static_cast<uint32_t>(recorder::Rotation::Rotate180) == DXGI_MODE_ROTATION_ROTATE180);
static_assert(static_cast<uint32_t>(recorder::Rotation::Rotate270) == DXGI_MODE_ROTATION_ROTATE270);

ScreenCapture::Duplicate Win32ScreenCapture::duplicate(int32_t& width, int32_t& height, recorder::Rotation& rotation) {
    Resources& r = *resources_;
    r.duplication.Reset();
    if (!r.output || !r.device) return Duplicate::Failed;
    const HRESULT hr = r.output->DuplicateOutput(r.device.Get(), &r.duplication);
    if (FAILED(hr)) {
        lastError_ = static_cast<uint32_t>(hr);
        r.duplication.Reset();
        return unavailableForNow(hr) ? Duplicate::Unavailable : Duplicate::Failed;
    }
    DXGI_OUTDUPL_DESC desc{};
    r.duplication->GetDesc(&desc);
    // learn.microsoft.com, "DXGI_OUTDUPL_DESC structure": ModeDesc is the
    // duplicated output's mode, the size frames arrive in; Rotation is how
    // the desktop is turned on them.
    width = static_cast<int32_t>(desc.ModeDesc.Width);
    height = static_cast<int32_t>(desc.ModeDesc.Height);
    rotation = static_cast<recorder::Rotation>(desc.Rotation);
    return Duplicate::Ok;
}

bool Win32ScreenCapture::hasDuplication() const { return resources_->duplication != nullptr; }

void Win32ScreenCapture::releaseDuplication() { resources_->duplication.Reset(); }

bool Win32ScreenCapture::createStaging(int32_t width, int32_t height) {
    Resources& r = *resources_;
    r.staging.Reset();
    r.stagingWidth = r.stagingHeight = 0;
    if (!r.device || width <= 0 || height <= 0) return false;
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = static_cast<UINT>(width);
    desc.Height = static_cast<UINT>(height);
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_STAGING;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    const HRESULT hr = r.device->CreateTexture2D(&desc, nullptr, &r.staging);
    if (FAILED(hr)) {
        lastError_ = static_cast<uint32_t>(hr);
        return false;
    }
    r.stagingWidth = desc.Width;
    r.stagingHeight = desc.Height;
    return true;
}

ScreenCapture::Acquire Win32ScreenCapture::acquire(uint32_t timeoutMs, const recorder::Crop* box,
                                                   recorder::Rotation rotation, uint8_t* destination) {
    Resources& r = *resources_;
    if (!r.duplication || !r.staging || destination == nullptr) return Acquire::Failed;

    DXGI_OUTDUPL_FRAME_INFO info{};
    ComPtr<IDXGIResource> resource;
    HRESULT hr = r.duplication->AcquireNextFrame(timeoutMs, &info, &resource);
    if (hr == DXGI_ERROR_WAIT_TIMEOUT) return Acquire::Timeout;
    // A switch to the secure desktop answers DXGI_ERROR_ACCESS_LOST
    // (learn.microsoft.com/windows/win32/api/dxgi1_2/nf-dxgi1_2-idxgioutputduplication-acquirenextframe:
    // "Desktop switch"); E_ACCESSDENIED, which the page leaves among "other
    // error codes", means the same desktop is out of reach. Either way the
    // duplication is made again, and DuplicateOutput then says whether the
    // desktop is back.
    if (hr == DXGI_ERROR_ACCESS_LOST || hr == E_ACCESSDENIED) {
        lastError_ = static_cast<uint32_t>(hr);
        r.duplication.Reset();
        return Acquire::AccessLost;
    }
    if (FAILED(hr)) {
        lastError_ = static_cast<uint32_t>(hr);
        return Acquire::Failed;
    }

    ComPtr<ID3D11Texture2D> frame;
    hr = resource.As(&frame);
    if (FAILED(hr)) {
        lastError_ = static_cast<uint32_t>(hr);
        r.duplication->ReleaseFrame();
        return Acquire::Failed;
    }
    D3D11_TEXTURE2D_DESC frameDesc{};
    frame->GetDesc(&frameDesc);

    const UINT left = box ? static_cast<UINT>(box->left) : 0;
    const UINT top = box ? static_cast<UINT>(box->top) : 0;
    const UINT width = box ? static_cast<UINT>(box->width) : frameDesc.Width;
    const UINT height = box ? static_cast<UINT>(box->height) : frameDesc.Height;
    if (box && (box->left < 0 || box->top < 0 || box->width <= 0 || box->height <= 0)) {
        r.duplication->ReleaseFrame();
        return Acquire::Failed;
    }
    // The staging texture must hold the box, or the rows read from its
    // mapping would run past it.
    if (box && (width > r.stagingWidth || height > r.stagingHeight)) {
        r.duplication->ReleaseFrame();
        return Acquire::Failed;
    }
    // A frame that no longer holds the box, or no longer has the staging
    // texture's size, belongs to another display mode: the duplication is as
    // good as lost.
    const bool fits = box ? left + width <= frameDesc.Width && top + height <= frameDesc.Height
                          : width == r.stagingWidth && height == r.stagingHeight;
    if (!fits) {
        r.duplication->ReleaseFrame();
        r.duplication.Reset();
        return Acquire::AccessLost;
    }

    if (box) {
        const D3D11_BOX source{left, top, 0, left + width, top + height, 1};
        r.context->CopySubresourceRegion(r.staging.Get(), 0, 0, 0, 0, frame.Get(), 0, &source);
    } else {
        r.context->CopyResource(r.staging.Get(), frame.Get());
    }
    frame.Reset();
    resource.Reset();
    r.duplication->ReleaseFrame();

    D3D11_MAPPED_SUBRESOURCE mapped{};
    hr = r.context->Map(r.staging.Get(), 0, D3D11_MAP_READ, 0, &mapped);
    if (FAILED(hr)) {
        lastError_ = static_cast<uint32_t>(hr);
        return Acquire::Failed;
    }
    recorder::copyUpright(destination, static_cast<const uint8_t*>(mapped.pData), mapped.RowPitch, width, height,
                          rotation);
    r.context->Unmap(r.staging.Get(), 0);
    return Acquire::Frame;
}

void Win32ScreenCapture::close() {
    Resources& r = *resources_;
    if (r.context) r.context->ClearState();
    r.staging.Reset();
    r.stagingWidth = r.stagingHeight = 0;
    r.duplication.Reset();
    r.output.Reset();
    r.context.Reset();
    r.device.Reset();
}

} // namespace qv
