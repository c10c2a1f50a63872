#include "ui/PreviewWindow.h"

#include "base/Dpi.h"
#include "base/Log.h"
#include "base/StrPrintf.h"

#include <utility>

namespace qv {

namespace {

uint32_t knownDpi(uint32_t dpi) { return dpi != 0 ? dpi : 96; }

} // namespace

PreviewWindow::PreviewWindow(std::unique_ptr<PreviewSurface> surface, std::unique_ptr<PreviewGpu> gpu,
                             CaptureClock& clock)
    : surface_(std::move(surface)), engine_(std::move(gpu), clock) {
    surface_->attach(this);
}

PreviewWindow::~PreviewWindow() {
    close();
    surface_->attach(nullptr);
}

bool PreviewWindow::create(const std::string& title, const std::string& deviceName) {
    // One window per object: a second create would orphan the first.
    if (surface_->exists() || renderThread_.joinable()) return false;
    title_ = title;
    deviceName_ = deviceName;
    PreviewWindowClass windowClass;
    windowClass.className = kWindowClass;
    windowClass.title = title;
    windowClass.style = kStyle;
    windowClass.width = kWidth;
    windowClass.height = kHeight;
    windowClass.iconResource = kIconResource;
    if (!surface_->create(windowClass)) {
        log::write(log::Error, "PreviewWindow: CreateWindowEx failed");
        return false;
    }
    window_ = surface_->handle();

    PreviewCloseButton button;
    button.caption = kCloseCaption;
    button.id = kCloseButtonId;
    button.fontHeight = fontHeight(surface_->dpi());
    button.fontWeight = kFontWeight;
    surface_->createCloseButton(button);
    placeCloseButton(surface_->clientWidth());

    surface_->show();
    closed_ = false;
    running_ = true;
    renderThread_ = std::thread([this] { run(); });
    return true;
}

void PreviewWindow::close() {
    stopRendering();
    if (surface_->exists()) surface_->destroy();
    closed_ = true;
}

void PreviewWindow::stopRendering() {
    running_ = false;
    if (renderThread_.joinable()) renderThread_.join();
}

void PreviewWindow::run() {
    if (!engine_.start(window_, deviceName_)) {
        postCaption(title_ + kUnavailableSuffix);
        log::write(log::Warn, "Preview unavailable: " + engine_.status());
        // The window stays open and black; what set-up made goes now, on the
        // thread that made it.
        engine_.stop();
        return;
    }
    uint32_t shownWidth = 0;
    uint32_t shownHeight = 0;
    while (running_.load()) {
        if (sizeChanged_.exchange(false)) engine_.requestResize(clientWidth_.load(), clientHeight_.load());
        if (!engine_.renderFrame()) break;
        // The size the user sees: a turned display's upright size.
        if (engine_.imageWidth() != shownWidth || engine_.imageHeight() != shownHeight) {
            shownWidth = engine_.imageWidth();
            shownHeight = engine_.imageHeight();
            postCaption(strprintf("%s \xE2\x80\x94 %ux%u", title_.c_str(), shownWidth, shownHeight));
        }
    }
    engine_.stop();
}

void PreviewWindow::postCaption(std::string text) {
    {
        const std::lock_guard<std::mutex> lock(captionMutex_);
        pendingCaption_ = std::move(text);
        captionPending_ = true;
    }
    // A posted message: the render thread never waits for the user-interface
    // thread, which may itself be waiting to join it.
    surface_->postCaptionChange();
}

void PreviewWindow::onCaptionPosted() {
    std::string text;
    {
        const std::lock_guard<std::mutex> lock(captionMutex_);
        if (!captionPending_) return;
        text = std::move(pendingCaption_);
        captionPending_ = false;
    }
    surface_->setCaption(text);
}

void PreviewWindow::onSize(uint32_t width, uint32_t height) {
    clientWidth_ = width;
    clientHeight_ = height;
    sizeChanged_ = true;
    placeCloseButton(static_cast<int32_t>(width));
}

void PreviewWindow::onClose() {
    stopRendering();
    surface_->destroy();
}

void PreviewWindow::onDestroyed() { closed_ = true; }

void PreviewWindow::onKey(uint32_t virtualKey) {
    switch (virtualKey) {
    case kKeyT:
        toggleTopmost();
        break;
    case kKeyB:
        toggleFrame();
        break;
    case kKeyEscape:
        surface_->postClose();
        break;
    default:
        break;
    }
}

void PreviewWindow::onCommand(uint32_t id) {
    if (id == kCloseButtonId) surface_->postClose();
}

std::vector<MenuEntry> PreviewWindow::menu() const {
    std::vector<MenuEntry> entries(4);
    entries[0].text = "Always on top";
    entries[0].command = kMenuTopmost;
    entries[0].checked = topmost_;
    entries[1].text = "Hide title bar";
    entries[1].command = kMenuHideFrame;
    entries[1].checked = !framed_;
    entries[2].separator = true;
    entries[3].text = "Close preview";
    entries[3].command = kMenuClose;
    return entries;
}

void PreviewWindow::onContextMenu() {
    switch (surface_->trackMenu(menu())) {
    case kMenuTopmost:
        toggleTopmost();
        break;
    case kMenuHideFrame:
        toggleFrame();
        break;
    case kMenuClose:
        surface_->postClose();
        break;
    default:
        break;
    }
}

void PreviewWindow::toggleTopmost() {
    topmost_ = !topmost_;
    surface_->setTopmost(topmost_);
}

void PreviewWindow::toggleFrame() {
    framed_ = !framed_;
    surface_->setFramed(framed_);
}

ButtonPaint PreviewWindow::closeButtonPaint(bool pressed, bool enabled) {
    ButtonPaint paint;
    paint.fill = pressed ? look::kPressed : look::kPanel;
    paint.border = look::kLine;
    paint.text = enabled ? look::kText : look::kMuted;
    return paint;
}

PreviewButtonPlace PreviewWindow::closeButtonPlace(int32_t clientWidth, uint32_t dpi) {
    const uint32_t d = knownDpi(dpi);
    const int32_t width = dpiScale(96, d);
    const int32_t margin = dpiScale(10, d);
    return {clientWidth - margin - width, dpiScale(10, d), width, dpiScale(30, d)};
}

int32_t PreviewWindow::fontHeight(uint32_t dpi) { return -(kFontSize * static_cast<int32_t>(knownDpi(dpi)) / 96); }

void PreviewWindow::placeCloseButton(int32_t clientWidth) {
    surface_->placeCloseButton(closeButtonPlace(clientWidth, surface_->dpi()));
}

} // namespace qv
