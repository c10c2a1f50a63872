// Live previews through real user32, DXGI and Direct3D 11: the window
// Windows creates and its close button, the engine reaching the duplication
// step on the one output Wine has (where Wine stops it), the caption the
// render thread hands over, the keys, and closing that leaves no thread
// behind.
#include "base/win32/Utf16.h"
#include "capture/win32/D3DPreviewGpu.h"
#include "ui/win32/Win32PreviewWindows.h"
#include "wine/WineTestSupport.h"

#include "wine/ThreadCount.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

namespace qv {
namespace {

uint64_t instance() { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr))); }

std::wstring textOf(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}


// Dispatches this thread's messages, at least once, until the condition
// holds; false after ten seconds without it.
bool pumpUntil(const std::function<bool()>& done) {
    const ULONGLONG deadline = GetTickCount64() + 10000;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) return true;
        if (GetTickCount64() > deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

const std::wstring kUnavailable = L"Wine screen \u2014 preview unavailable";

class PreviewWine : public ::testing::Test {
protected:
    void TearDown() override {
        preview.reset();
        pumpUntil([] { return true; });
    }

    bool open(const std::string& device) {
        preview = windows.open(instance(), "Wine screen", device);
        hwnd = FindWindowW(L"QuorvanePreview", nullptr);
        return preview != nullptr && hwnd != nullptr;
    }
    bool captionArrives(const std::wstring& caption) {
        return pumpUntil([&] { return textOf(hwnd) == caption; });
    }
    // Posts a key press to the window and lets it be handled.
    void press(WPARAM key) {
        PostMessageW(hwnd, WM_KEYDOWN, key, 1);
        pumpUntil([] { return true; });
    }
    std::string logText() const {
        std::string all;
        for (const std::string& line : log.lines) all += line;
        return all;
    }

    CapturedLog log;
    Win32PreviewWindows windows;
    std::unique_ptr<LivePreview> preview;
    HWND hwnd = nullptr;
};

TEST_F(PreviewWine, TheWindowAndItsCloseButton) {
    ASSERT_TRUE(open("\\\\.\\DISPLAY1"));
    wchar_t className[64] = {};
    GetClassNameW(hwnd, className, 64);
    EXPECT_STREQ(className, L"QuorvanePreview");
    EXPECT_TRUE(IsWindowVisible(hwnd));
    const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
    EXPECT_EQ(style & (WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN);
    RECT frame{};
    GetWindowRect(hwnd, &frame);
    EXPECT_EQ(frame.right - frame.left, 720);
    EXPECT_EQ(frame.bottom - frame.top, 440);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"QuorvanePreview", &windowClass));
    EXPECT_EQ(windowClass.style & CS_DBLCLKS, static_cast<UINT>(CS_DBLCLKS));
    EXPECT_EQ(windowClass.hCursor, LoadCursorW(nullptr, IDC_ARROW));
    EXPECT_EQ(windowClass.hbrBackground, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));

    HWND button = FindWindowExW(hwnd, nullptr, L"Button", L"\u2715 Close");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(GetDlgCtrlID(button), 3);
    EXPECT_EQ(GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    const UINT reported = GetDpiForWindow(hwnd);
    const int dpi = reported != 0 ? static_cast<int>(reported) : 96;
    RECT client{};
    GetClientRect(hwnd, &client);
    RECT place{};
    GetWindowRect(button, &place);
    MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&place), 2);
    EXPECT_EQ(place.right, client.right - MulDiv(10, dpi, 96));
    EXPECT_EQ(place.top, MulDiv(10, dpi, 96));
    EXPECT_EQ(place.right - place.left, MulDiv(96, dpi, 96));
    EXPECT_EQ(place.bottom - place.top, MulDiv(30, dpi, 96));

    // A resize keeps the button in the top right corner.
    SetWindowPos(hwnd, nullptr, 0, 0, 900, 500, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetClientRect(hwnd, &client);
    GetWindowRect(button, &place);
    MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&place), 2);
    EXPECT_EQ(place.right, client.right - MulDiv(10, dpi, 96));

    // The button's body is painted in the dark look.
    RedrawWindow(button, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    HDC dc = GetDC(button);
    EXPECT_EQ(GetPixel(dc, 4, 15), RGB(28, 30, 38));
    ReleaseDC(button, dc);

    // Clicking it closes the preview.
    SendMessageW(button, BM_CLICK, 0, 0);
    EXPECT_TRUE(pumpUntil([&] { return !IsWindow(hwnd); }));
    EXPECT_TRUE(preview->isClosed());
}

TEST_F(PreviewWine, WineStopsTheEngineAtTheDuplicationAndTheWindowSaysSo) {
    const int threadsBefore = test::stableThreadCount();
    ASSERT_TRUE(open("\\\\.\\DISPLAY1"));
    EXPECT_TRUE(captionArrives(kUnavailable)) << "caption: " << narrow(textOf(hwnd));
    // The render thread has ended; the window stays open and black.
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_FALSE(preview->isClosed());

    preview->close();
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_TRUE(preview->isClosed());
    EXPECT_LE(test::threadCountSettled(threadsBefore), threadsBefore);
    // Wine has DXGI and Direct3D 11 but no desktop duplication.
    EXPECT_TRUE(log.has("WRN", "Preview unavailable: DuplicateOutput failed 0x80004001")) << logText();
    EXPECT_TRUE(log.has("ERR", "CaptureEngine: DuplicateOutput failed 0x80004001")) << logText();
}

TEST_F(PreviewWine, AnUnknownDisplayIsNotFound) {
    ASSERT_TRUE(open("\\\\.\\DISPLAY9"));
    EXPECT_TRUE(captionArrives(kUnavailable));
    preview->close();
    EXPECT_TRUE(log.has("WRN", "Preview unavailable: Monitor output not found for preview")) << logText();
}

TEST_F(PreviewWine, ClosingAtOnceDoesNotWaitForTheCaption) {
    // The render thread posts its caption while this thread, without pumping,
    // joins it.
    const int threadsBefore = test::stableThreadCount();
    ASSERT_TRUE(open("\\\\.\\DISPLAY1"));
    preview->close();
    EXPECT_TRUE(preview->isClosed());
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_LE(test::threadCountSettled(threadsBefore), threadsBefore);
    EXPECT_EQ(log.count("[Quorvane][ERR] PreviewWindow: CreateWindowEx failed\n"), 0);
}

TEST_F(PreviewWine, KeysKeepOnTopHideTheTitleBarAndClose) {
    ASSERT_TRUE(open("\\\\.\\DISPLAY1"));
    auto topmost = [&] { return (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; };
    auto captioned = [&] { return (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CAPTION) == WS_CAPTION; };

    press('T');
    EXPECT_TRUE(topmost());
    press('B');
    EXPECT_FALSE(captioned());
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_THICKFRAME, 0);
    press('T');
    EXPECT_FALSE(topmost());
    press('B');
    EXPECT_TRUE(captioned());
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWL_STYLE) & (WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN),
              WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN);

    press(VK_ESCAPE);
    EXPECT_TRUE(pumpUntil([&] { return !IsWindow(hwnd); }));
    EXPECT_TRUE(preview->isClosed());
}

TEST_F(PreviewWine, TheFramesCloseBoxClosesIt) {
    ASSERT_TRUE(open("\\\\.\\DISPLAY1"));
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(pumpUntil([&] { return !IsWindow(hwnd); }));
    EXPECT_TRUE(preview->isClosed());
}

// The GPU side on its own, in a plain window with a white background: set-up
// on Wine's output, the duplication Wine refuses, clearing, presenting and
// resizing the swap chain.
class D3DPreviewGpuWine : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSEXW info{};
        info.cbSize = sizeof info;
        info.lpfnWndProc = DefWindowProcW;
        info.hInstance = GetModuleHandleW(nullptr);
        info.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        info.lpszClassName = L"QvPreviewGpuTest";
        RegisterClassExW(&info);
        hwnd = CreateWindowExW(0, L"QvPreviewGpuTest", L"gpu", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 500, 400,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(hwnd, nullptr);
        pumpUntil([] { return true; });
    }
    void TearDown() override {
        gpu.release();
        DestroyWindow(hwnd);
    }
    WindowHandle window() const { return static_cast<WindowHandle>(reinterpret_cast<uintptr_t>(hwnd)); }
    COLORREF pixel(int x, int y) const {
        HDC dc = GetDC(hwnd);
        const COLORREF color = GetPixel(dc, x, y);
        ReleaseDC(hwnd, dc);
        return color;
    }

    HWND hwnd = nullptr;
    D3DPreviewGpu gpu;
};

TEST_F(D3DPreviewGpuWine, SetsUpOnTheOutputAndDrawsIntoTheWindowUntilItIsResized) {
    ASSERT_TRUE(pumpUntil([&] { return pixel(10, 10) == RGB(255, 255, 255); }));
    uint32_t width = 0;
    uint32_t height = 0;
    gpu.clientSize(window(), width, height);
    RECT client{};
    GetClientRect(hwnd, &client);
    EXPECT_EQ(width, static_cast<uint32_t>(client.right));
    EXPECT_EQ(height, static_cast<uint32_t>(client.bottom));

    const PreviewGpu::Setup setup = gpu.setup(window(), "\\\\.\\DISPLAY1", width, height);
    ASSERT_EQ(setup.failed, PreviewGpu::SetupStep::None) << std::hex << setup.code;
    EXPECT_EQ(setup.width, static_cast<uint32_t>(GetSystemMetrics(SM_CXSCREEN)));
    EXPECT_EQ(setup.height, static_cast<uint32_t>(GetSystemMetrics(SM_CYSCREEN)));

    const PreviewGpu::Duplication duplication = gpu.duplicate();
    EXPECT_EQ(duplication.outcome, PreviewGpu::DuplicationOutcome::Failed);
    EXPECT_EQ(duplication.failedStep, PreviewGpu::DuplicationStep::DuplicateOutput);
    EXPECT_EQ(duplication.code, 0x80004001u);

    gpu.clear();
    // Queued for a visible window: the pass is paced by the vertical blank.
    EXPECT_TRUE(gpu.present());
    EXPECT_TRUE(pumpUntil([&] { return pixel(10, 10) == RGB(0, 0, 0); }));

    // Released, the render target lets the buffers take a new size.
    gpu.releaseRenderTarget();
    EXPECT_TRUE(gpu.resizeBuffers(300, 200));
    EXPECT_TRUE(gpu.createRenderTarget());
    gpu.clear();
    gpu.present();
}

TEST_F(D3DPreviewGpuWine, FindsOutputsByTheirExactName) {
    for (const char* name : {"\\\\.\\display1", "\\\\.\\DISPLAY", "\\\\.\\DISPLAY1 ", "DISPLAY1", ""}) {
        SCOPED_TRACE(name);
        D3DPreviewGpu other;
        EXPECT_EQ(other.setup(window(), name, 100, 100).failed, PreviewGpu::SetupStep::OutputNotFound);
    }
}

} // namespace
} // namespace qv
