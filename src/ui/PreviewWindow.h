#pragma once
#include "capture/CaptureEngine.h"
#include "ui/CaptureWindows.h"
#include "ui/ClassicControls.h"
#include "ui/PreviewSurface.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qv {

// A resizable top-level window that shows one display live. It owns a
// capture engine and one render thread that drives it; the image is
// letterboxed by the engine. A context menu and three keys keep it on top
// (T), hide its title bar (B) and close it (Esc); an owner-drawn button in
// the top right corner closes it too.
//
// Two threads touch it: the user-interface thread (create, close and every
// window message) and the render thread (the engine and the caption text).
// They share running, closed, the client size and sizeChanged, all atomic,
// and the pending caption under a mutex that neither holds while waiting.
class PreviewWindow final : public LivePreview {
public:
    static constexpr const char* kWindowClass = "QuorvanePreview";
    // WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN; winuser.h values, learn.microsoft.com "Window Styles".
    static constexpr uint32_t kStyle = 0x00CF0000 | 0x02000000;
    static constexpr int32_t kWidth = 720;
    static constexpr int32_t kHeight = 440;
    static constexpr int kIconResource = 101;
    static constexpr const char* kUnavailableSuffix = " \xE2\x80\x94 preview unavailable";

    static constexpr uint32_t kCloseButtonId = 3;
    static constexpr const char* kCloseCaption = "\xE2\x9C\x95 Close";
    static constexpr int32_t kFontSize = 14;
    static constexpr int32_t kFontWeight = 400;

    // Context menu commands.
    static constexpr uint32_t kMenuTopmost = 1;
    static constexpr uint32_t kMenuHideFrame = 2;
    static constexpr uint32_t kMenuClose = 4;

    // Virtual-key codes: letters are their upper-case ASCII codes, VK_ESCAPE
    // 0x1B (winuser.h, learn.microsoft.com "Virtual-Key Codes").
    static constexpr uint32_t kKeyT = 'T';
    static constexpr uint32_t kKeyB = 'B';
    static constexpr uint32_t kKeyEscape = 0x1B;

    // The clock paces the render thread while nothing else does.
    PreviewWindow(std::unique_ptr<PreviewSurface> surface, std::unique_ptr<PreviewGpu> gpu, CaptureClock& clock);
    // Closes the window (stopping the render thread) if that has not happened.
    ~PreviewWindow() override;
    PreviewWindow(const PreviewWindow&) = delete;
    PreviewWindow& operator=(const PreviewWindow&) = delete;

    // Creates and shows the window titled with the display's name and starts
    // the render thread on the display with that GDI device name. False, with
    // "PreviewWindow: CreateWindowEx failed" logged, when the window cannot
    // be created.
    bool create(const std::string& title, const std::string& deviceName);
    bool isClosed() const override { return closed_.load(); }
    // Stops the render thread, then destroys the window if it still exists.
    void close() override;

    // --- Reported by the window (user-interface thread) ----------------------
    void onSize(uint32_t width, uint32_t height);
    // WM_CLOSE: stop the render thread and destroy the window.
    void onClose();
    void onDestroyed();
    void onKey(uint32_t virtualKey);
    void onCommand(uint32_t id);
    void onContextMenu();
    // The render thread asked for a new caption.
    void onCaptionPosted();

    // --- What the window shows -----------------------------------------------
    bool topmost() const { return topmost_; }
    bool framed() const { return framed_; }
    std::vector<MenuEntry> menu() const;
    static ButtonPaint closeButtonPaint(bool pressed, bool enabled);
    static constexpr int32_t kCloseButtonCorner = 9;
    // The close button: 96 × 30, 10 from the top and right edges, scaled to
    // the DPI (96 when unknown).
    static PreviewButtonPlace closeButtonPlace(int32_t clientWidth, uint32_t dpi);
    static int32_t fontHeight(uint32_t dpi);

private:
    void run();
    void stopRendering();
    void toggleTopmost();
    void toggleFrame();
    void placeCloseButton(int32_t clientWidth);
    // Render thread: hands the caption to the user-interface thread.
    void postCaption(std::string text);

    std::unique_ptr<PreviewSurface> surface_;
    CaptureEngine engine_;
    std::string title_;
    std::string deviceName_;
    WindowHandle window_ = 0; // the handle the engine draws into, fixed before the thread starts
    std::thread renderThread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> closed_{true};
    std::atomic<uint32_t> clientWidth_{0};
    std::atomic<uint32_t> clientHeight_{0};
    std::atomic<bool> sizeChanged_{false};
    bool topmost_ = false;
    bool framed_ = true;

    std::mutex captionMutex_;
    std::string pendingCaption_;
    bool captionPending_ = false;
};

} // namespace qv
