#include "capture/win32/D3DPreviewGpu.h"

#include "base/win32/Utf16.h"
#include "capture/CaptureEngine.h"
#include "display/win32/DxgiOutputs.h"

#include <d3dcompiler.h>

#include <array>
#include <cstring>
#include <iterator>
#include <string>

namespace qv {

namespace {

HWND toHwnd(WindowHandle window) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(window)); }

uint32_t code(HRESULT hr) { return static_cast<uint32_t>(hr); }

// Position and texture coordinate: two float2 at bytes 0 and 8.
struct Vertex {
    float x, y, u, v;
};
static_assert(sizeof(Vertex) == 16);

// The quad buffer holds one quad per number of quarter turns, in that order;
// a draw starts at its rotation's quad.
constexpr recorder::Rotation kQuadTurns[4] = {recorder::Rotation::Identity, recorder::Rotation::Rotate90,
                                              recorder::Rotation::Rotate180, recorder::Rotation::Rotate270};

constexpr char kVertexShader[] = R"(
struct VsIn { float2 pos : POSITION; float2 uv : TEXCOORD0; };
struct VsOut { float4 pos : SV_POSITION; float2 uv : TEXCOORD0; };
VsOut main(VsIn input) {
    VsOut output;
    output.pos = float4(input.pos, 0.0, 1.0);
    output.uv = input.uv;
    return output;
}
)";

constexpr char kImageShader[] = R"(
Texture2D image : register(t0);
SamplerState linearClamp : register(s0);
float4 main(float4 pos : SV_POSITION, float2 uv : TEXCOORD0) : SV_TARGET {
    return image.Sample(linearClamp, uv);
}
)";

// The shader compiler is loaded when the first preview starts, from the
// system folder only, rather than with the program at every start; once
// loaded it stays for the life of the process.
using CompileFunction = decltype(&D3DCompile);

CompileFunction shaderCompiler() {
    static const CompileFunction function = [] {
        HMODULE module = LoadLibraryExW(L"d3dcompiler_47.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (module == nullptr) return CompileFunction{};
        return reinterpret_cast<CompileFunction>(reinterpret_cast<void*>(GetProcAddress(module, "D3DCompile")));
    }();
    return function;
}

HRESULT compile(const char* source, const char* profile, Microsoft::WRL::ComPtr<ID3DBlob>& bytecode) {
    const CompileFunction compileShader = shaderCompiler();
    if (compileShader == nullptr) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    Microsoft::WRL::ComPtr<ID3DBlob> errors;
    return compileShader(source, std::strlen(source), nullptr, nullptr, nullptr, "main", profile, 0, 0,
                      bytecode.ReleaseAndGetAddressOf(), errors.GetAddressOf());
}

} // namespace

void D3DPreviewGpu::clientSize(WindowHandle window, uint32_t& width, uint32_t& height) {
    RECT client{};
    if (!GetClientRect(toHwnd(window), &client)) client = RECT{};
    width = static_cast<uint32_t>(client.right > client.left ? client.right - client.left : 0);
    height = static_cast<uint32_t>(client.bottom > client.top ? client.bottom - client.top : 0);
}

HRESULT D3DPreviewGpu::findOutput(IDXGIFactory2& factory, const std::wstring& deviceName, Setup& result) {
    ComPtr<IDXGIOutput> output;
    DXGI_OUTPUT_DESC desc{};
    if (!findDxgiOutput(factory, deviceName, adapter_, output, desc)) {
        result.failed = SetupStep::OutputNotFound;
        return DXGI_ERROR_NOT_FOUND;
    }
    const HRESULT hr = output.As(&output_);
    if (FAILED(hr)) {
        result.failed = SetupStep::Output1;
        result.code = code(hr);
        return hr;
    }
    const RECT& r = desc.DesktopCoordinates;
    result.desktopLeft = r.left;
    result.desktopTop = r.top;
    result.width = static_cast<uint32_t>(r.right - r.left);
    result.height = static_cast<uint32_t>(r.bottom - r.top);
    return S_OK;
}

PreviewGpu::Setup D3DPreviewGpu::setup(WindowHandle window, const std::string& deviceName, uint32_t width,
                                       uint32_t height) {
    Setup result;
    auto fail = [&result](SetupStep step, HRESULT hr) {
        result.failed = step;
        result.code = code(hr);
        return result;
    };

    ComPtr<IDXGIFactory2> factory;
    HRESULT hr = CreateDXGIFactory1(IID_PPV_ARGS(&factory));
    if (FAILED(hr)) return fail(SetupStep::Factory, hr);
    if (FAILED(findOutput(*factory.Get(), widen(deviceName), result))) return result;

    const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_0, D3D_FEATURE_LEVEL_10_1, D3D_FEATURE_LEVEL_10_0};
    hr = D3D11CreateDevice(adapter_.Get(), D3D_DRIVER_TYPE_UNKNOWN, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT, levels,
                           static_cast<UINT>(std::size(levels)), D3D11_SDK_VERSION, &device_, nullptr, &context_);
    if (FAILED(hr)) return fail(SetupStep::Device, hr);

    DXGI_SWAP_CHAIN_DESC1 desc{};
    desc.Width = width;
    desc.Height = height;
    desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    desc.Stereo = FALSE;
    desc.SampleDesc.Count = 1;
    desc.SampleDesc.Quality = 0;
    desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    desc.BufferCount = 2;
    desc.Scaling = DXGI_SCALING_STRETCH;
    desc.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
    desc.AlphaMode = DXGI_ALPHA_MODE_IGNORE;
    desc.Flags = 0;
    hr = factory->CreateSwapChainForHwnd(device_.Get(), toHwnd(window), &desc, nullptr, nullptr, &swapChain_);
    if (FAILED(hr)) return fail(SetupStep::SwapChain, hr);

    ComPtr<ID3D11Texture2D> backBuffer;
    hr = swapChain_->GetBuffer(0, IID_PPV_ARGS(&backBuffer));
    if (FAILED(hr)) return fail(SetupStep::BackBuffer, hr);
    hr = device_->CreateRenderTargetView(backBuffer.Get(), nullptr, &renderTarget_);
    if (FAILED(hr)) return fail(SetupStep::RenderTargetView, hr);

    SetupStep failedShader = SetupStep::None;
    hr = makeShaders(failedShader);
    if (FAILED(hr)) return fail(failedShader, hr);
    makeDrawingState();
    return result;
}

HRESULT D3DPreviewGpu::makeShaders(SetupStep& failed) {
    ComPtr<ID3DBlob> vertexCode;
    failed = SetupStep::VertexShader;
    HRESULT hr = compile(kVertexShader, "vs_4_0", vertexCode);
    if (SUCCEEDED(hr))
        hr = device_->CreateVertexShader(vertexCode->GetBufferPointer(), vertexCode->GetBufferSize(), nullptr,
                                         &vertexShader_);
    if (FAILED(hr)) return hr;

    ComPtr<ID3DBlob> imageCode;
    failed = SetupStep::PixelShader;
    hr = compile(kImageShader, "ps_4_0", imageCode);
    if (SUCCEEDED(hr))
        hr = device_->CreatePixelShader(imageCode->GetBufferPointer(), imageCode->GetBufferSize(), nullptr,
                                        &imageShader_);
    if (FAILED(hr)) return hr;

    const D3D11_INPUT_ELEMENT_DESC layout[] = {
        {"POSITION", 0, DXGI_FORMAT_R32G32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0},
        {"TEXCOORD", 0, DXGI_FORMAT_R32G32_FLOAT, 0, 8, D3D11_INPUT_PER_VERTEX_DATA, 0},
    };
    // A missing layout, buffer or sampler shows as a black window, not an error.
    device_->CreateInputLayout(layout, static_cast<UINT>(std::size(layout)), vertexCode->GetBufferPointer(),
                               vertexCode->GetBufferSize(), &inputLayout_);
    failed = SetupStep::None;
    return S_OK;
}

void D3DPreviewGpu::makeDrawingState() {
    // The whole viewport as a triangle strip: top left, top right, bottom
    // left, bottom right, with the texture's corners that show there once
    // the frame is turned upright, for each number of quarter turns.
    Vertex quad[4 * 4]{};
    for (size_t turns = 0; turns < 4; ++turns) {
        const std::array<PreviewVertex, 4> corners = CaptureEngine::quad(kQuadTurns[turns]);
        for (size_t i = 0; i < 4; ++i)
            quad[turns * 4 + i] = Vertex{corners[i].x, corners[i].y, corners[i].u, corners[i].v};
    }
    D3D11_BUFFER_DESC buffer{};
    buffer.ByteWidth = sizeof quad;
    buffer.Usage = D3D11_USAGE_IMMUTABLE;
    buffer.BindFlags = D3D11_BIND_VERTEX_BUFFER;
    D3D11_SUBRESOURCE_DATA data{};
    data.pSysMem = quad;
    device_->CreateBuffer(&buffer, &data, &quad_);

    D3D11_SAMPLER_DESC sampler{};
    sampler.Filter = D3D11_FILTER_MIN_MAG_MIP_LINEAR;
    sampler.AddressU = D3D11_TEXTURE_ADDRESS_CLAMP;
    sampler.AddressV = D3D11_TEXTURE_ADDRESS_CLAMP;
    sampler.AddressW = D3D11_TEXTURE_ADDRESS_CLAMP;
    sampler.MipLODBias = 0;
    sampler.MaxAnisotropy = 0;
    sampler.ComparisonFunc = static_cast<D3D11_COMPARISON_FUNC>(0);
    sampler.MinLOD = 0;
    sampler.MaxLOD = D3D11_FLOAT32_MAX;
    device_->CreateSamplerState(&sampler, &sampler_);
}

PreviewGpu::Duplication D3DPreviewGpu::duplicate() {
    Duplication result;
    frame_.Reset();
    duplication_.Reset();
    if (!output_ || !device_) {
        result.code = code(E_POINTER);
        return result;
    }
    HRESULT hr = output_->DuplicateOutput(device_.Get(), &duplication_);
    if (hr == E_ACCESSDENIED || hr == DXGI_ERROR_NOT_CURRENTLY_AVAILABLE) {
        result.outcome = DuplicationOutcome::Busy;
        result.code = code(hr);
        return result;
    }
    if (FAILED(hr)) {
        result.code = code(hr);
        return result;
    }

    // learn.microsoft.com, "DXGI_OUTDUPL_DESC structure": ModeDesc is the
    // mode frames arrive in, Rotation (a DXGI_MODE_ROTATION, whose numbers
    // recorder::Rotation keeps) how the desktop is turned on them.
    DXGI_OUTDUPL_DESC desc{};
    duplication_->GetDesc(&desc);
    result.width = desc.ModeDesc.Width;
    result.height = desc.ModeDesc.Height;
    result.rotation = static_cast<recorder::Rotation>(desc.Rotation);

    // The view goes with the texture it shows.
    sampleView_.Reset();
    sample_.Reset();
    D3D11_TEXTURE2D_DESC texture{};
    texture.Width = result.width;
    texture.Height = result.height;
    texture.MipLevels = 1;
    texture.ArraySize = 1;
    texture.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    texture.SampleDesc.Count = 1;
    texture.Usage = D3D11_USAGE_DEFAULT;
    texture.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    hr = device_->CreateTexture2D(&texture, nullptr, &sample_);
    if (FAILED(hr)) {
        result.failedStep = DuplicationStep::SampleTexture;
        result.code = code(hr);
        return result;
    }
    hr = device_->CreateShaderResourceView(sample_.Get(), nullptr, &sampleView_);
    if (FAILED(hr)) {
        result.failedStep = DuplicationStep::ResourceView;
        result.code = code(hr);
        return result;
    }
    result.outcome = DuplicationOutcome::Started;
    return result;
}

void D3DPreviewGpu::releaseDuplication() {
    frame_.Reset();
    duplication_.Reset();
}

PreviewGpu::Acquisition D3DPreviewGpu::acquire(uint32_t timeoutMs) {
    Acquisition result;
    if (!duplication_) {
        result.code = code(DXGI_ERROR_INVALID_CALL);
        return result;
    }
    DXGI_OUTDUPL_FRAME_INFO info{};
    ComPtr<IDXGIResource> resource;
    const HRESULT hr = duplication_->AcquireNextFrame(timeoutMs, &info, &resource);
    if (hr == DXGI_ERROR_WAIT_TIMEOUT) {
        result.result = Acquired::Timeout;
        return result;
    }
    if (hr == DXGI_ERROR_ACCESS_LOST) {
        result.result = Acquired::AccessLost;
        return result;
    }
    if (FAILED(hr)) {
        result.code = code(hr);
        return result;
    }
    result.result = Acquired::Frame;
    // A frame that is no texture counts as a frame of no size: the engine
    // then duplicates afresh.
    if (resource && SUCCEEDED(resource.As(&frame_))) {
        D3D11_TEXTURE2D_DESC desc{};
        frame_->GetDesc(&desc);
        result.width = desc.Width;
        result.height = desc.Height;
    }
    return result;
}

void D3DPreviewGpu::copyFrame() {
    if (context_ && frame_ && sample_) context_->CopyResource(sample_.Get(), frame_.Get());
}

void D3DPreviewGpu::releaseFrame() {
    frame_.Reset();
    if (duplication_) duplication_->ReleaseFrame();
}

void D3DPreviewGpu::releaseRenderTarget() {
    // The context holds the bound view too; ResizeBuffers fails while any
    // reference to a back buffer remains.
    if (context_) context_->OMSetRenderTargets(0, nullptr, nullptr);
    renderTarget_.Reset();
}

bool D3DPreviewGpu::resizeBuffers(uint32_t width, uint32_t height) {
    return swapChain_ && SUCCEEDED(swapChain_->ResizeBuffers(0, width, height, DXGI_FORMAT_UNKNOWN, 0));
}

HRESULT D3DPreviewGpu::makeRenderTarget() {
    if (!swapChain_ || !device_) return E_POINTER;
    ComPtr<ID3D11Texture2D> backBuffer;
    const HRESULT hr = swapChain_->GetBuffer(0, IID_PPV_ARGS(&backBuffer));
    if (FAILED(hr)) return hr;
    return device_->CreateRenderTargetView(backBuffer.Get(), nullptr, renderTarget_.ReleaseAndGetAddressOf());
}

bool D3DPreviewGpu::createRenderTarget() { return SUCCEEDED(makeRenderTarget()); }

void D3DPreviewGpu::clear() {
    if (!context_ || !renderTarget_) return;
    ID3D11RenderTargetView* targets[] = {renderTarget_.Get()};
    context_->OMSetRenderTargets(1, targets, nullptr);
    const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    context_->ClearRenderTargetView(renderTarget_.Get(), black);
}

void D3DPreviewGpu::drawImage(const PreviewViewport& viewport, recorder::Rotation rotation) {
    if (!context_) return;
    const D3D11_VIEWPORT area{viewport.x, viewport.y, viewport.width, viewport.height, 0.0f, 1.0f};
    context_->RSSetViewports(1, &area);
    context_->IASetInputLayout(inputLayout_.Get());
    ID3D11Buffer* buffers[] = {quad_.Get()};
    const UINT stride = sizeof(Vertex);
    const UINT offset = 0;
    context_->IASetVertexBuffers(0, 1, buffers, &stride, &offset);
    context_->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP);
    context_->VSSetShader(vertexShader_.Get(), nullptr, 0);
    context_->PSSetShader(imageShader_.Get(), nullptr, 0);
    ID3D11ShaderResourceView* views[] = {sampleView_.Get()};
    context_->PSSetShaderResources(0, 1, views);
    ID3D11SamplerState* samplers[] = {sampler_.Get()};
    context_->PSSetSamplers(0, 1, samplers);
    context_->Draw(4, static_cast<UINT>(4 * recorder::quarterTurns(rotation)));
}

bool D3DPreviewGpu::present() {
    // S_OK only: DXGI_STATUS_OCCLUDED is a success code that presented nothing.
    return swapChain_ && swapChain_->Present(1, 0) == S_OK;
}

void D3DPreviewGpu::release() {
    if (context_) context_->ClearState();
    frame_.Reset();
    sampler_.Reset();
    quad_.Reset();
    inputLayout_.Reset();
    imageShader_.Reset();
    vertexShader_.Reset();
    sampleView_.Reset();
    sample_.Reset();
    duplication_.Reset();
    renderTarget_.Reset();
    swapChain_.Reset();
    output_.Reset();
    adapter_.Reset();
    context_.Reset();
    device_.Reset();
}

} // namespace qv
