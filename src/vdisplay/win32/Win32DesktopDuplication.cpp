#include "vdisplay/win32/Win32DesktopDuplication.h"

#include "base/win32/Utf16.h"
#include "display/win32/DxgiOutputs.h"

#include <windows.h>

#include <d3d11.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

namespace qv::vdisplay {

using Microsoft::WRL::ComPtr;

struct Win32DesktopDuplication::Resources {
    ComPtr<IDXGIOutput1> output;
    ComPtr<ID3D11Device> device;
    ComPtr<IDXGIOutputDuplication> duplication;
};

Win32DesktopDuplication::Win32DesktopDuplication() : resources_(std::make_unique<Resources>()) {}

Win32DesktopDuplication::~Win32DesktopDuplication() { stop(); }

DesktopDuplication::Start Win32DesktopDuplication::start(const std::string& gdiName, uint32_t& hresult) {
    stop();
    Resources& r = *resources_;
    ComPtr<IDXGIFactory1> factory;
    HRESULT hr = CreateDXGIFactory1(IID_PPV_ARGS(&factory));
    if (FAILED(hr)) {
        hresult = static_cast<uint32_t>(hr);
        return Start::NoDxgi;
    }
    ComPtr<IDXGIAdapter1> adapter;
    ComPtr<IDXGIOutput> output;
    DXGI_OUTPUT_DESC desc{};
    if (!findDxgiOutput(*factory.Get(), widen(gdiName), adapter, output, desc) || FAILED(output.As(&r.output))) {
        r.output.Reset();
        return Start::OutputNotFound;
    }

    hr = D3D11CreateDevice(adapter.Get(), D3D_DRIVER_TYPE_UNKNOWN, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                           &r.device, nullptr, nullptr);
    if (FAILED(hr)) {
        hresult = static_cast<uint32_t>(hr);
        stop();
        return Start::DeviceFailed;
    }
    hr = r.output->DuplicateOutput(r.device.Get(), &r.duplication);
    if (FAILED(hr)) {
        hresult = static_cast<uint32_t>(hr);
        stop();
        return Start::DuplicateFailed;
    }
    return Start::Started;
}

DesktopDuplication::Frame Win32DesktopDuplication::nextFrame(uint32_t timeoutMs, uint32_t& hresult) {
    Resources& r = *resources_;
    if (!r.duplication) {
        hresult = static_cast<uint32_t>(E_POINTER);
        return Frame::Failed;
    }
    DXGI_OUTDUPL_FRAME_INFO info{};
    ComPtr<IDXGIResource> resource;
    const HRESULT hr = r.duplication->AcquireNextFrame(timeoutMs, &info, &resource);
    if (hr == DXGI_ERROR_WAIT_TIMEOUT) return Frame::TimedOut;
    if (FAILED(hr)) {
        hresult = static_cast<uint32_t>(hr);
        return Frame::Failed;
    }
    const bool presented = info.LastPresentTime.QuadPart != 0;
    resource.Reset();
    r.duplication->ReleaseFrame();
    return presented ? Frame::Presented : Frame::NotPresented;
}

void Win32DesktopDuplication::stop() {
    resources_->duplication.Reset();
    resources_->device.Reset();
    resources_->output.Reset();
}

} // namespace qv::vdisplay
