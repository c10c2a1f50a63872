#pragma once
#include "capture/PreviewGpu.h"

#include <d3d11.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

namespace qv {

// A preview's GPU side in Direct3D 11 and DXGI desktop duplication: the
// device on the output's adapter, a flip-less swap chain on the window, the
// duplication, the sample texture that holds the latest desktop frame and
// the shaders, buffer and sampler that draw it as one textured quad. The
// desktop image never leaves the GPU. Used from one thread only.
class D3DPreviewGpu final : public PreviewGpu {
public:
    D3DPreviewGpu() = default;
    ~D3DPreviewGpu() override { release(); }
    D3DPreviewGpu(const D3DPreviewGpu&) = delete;
    D3DPreviewGpu& operator=(const D3DPreviewGpu&) = delete;

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
    template <class T>
    using ComPtr = Microsoft::WRL::ComPtr<T>;

    HRESULT findOutput(IDXGIFactory2& factory, const std::wstring& deviceName, Setup& result);
    HRESULT makeRenderTarget();
    HRESULT makeShaders(SetupStep& failed);
    void makeDrawingState();

    // In the order they are made; released last first.
    ComPtr<ID3D11Device> device_;
    ComPtr<ID3D11DeviceContext> context_;
    ComPtr<IDXGIAdapter1> adapter_;
    ComPtr<IDXGIOutput1> output_;
    ComPtr<IDXGISwapChain1> swapChain_;
    ComPtr<ID3D11RenderTargetView> renderTarget_;
    ComPtr<IDXGIOutputDuplication> duplication_;
    ComPtr<ID3D11Texture2D> sample_;
    ComPtr<ID3D11ShaderResourceView> sampleView_;
    ComPtr<ID3D11VertexShader> vertexShader_;
    ComPtr<ID3D11PixelShader> imageShader_;
    ComPtr<ID3D11InputLayout> inputLayout_;
    ComPtr<ID3D11Buffer> quad_;
    ComPtr<ID3D11SamplerState> sampler_;
    // The acquired desktop frame, between acquire and releaseFrame.
    ComPtr<ID3D11Texture2D> frame_;
};

} // namespace qv
