#include "sim/SimPreviewSurface.h"

#include "base/StrPrintf.h"
#include "ui/PreviewWindow.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace qv::sim {

namespace {

constexpr auto kPatience = std::chrono::seconds(20);

} // namespace

int SimPreviewSurface::count(const std::string& call) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

int SimPreviewSurface::deliver() {
    std::vector<Posted> messages;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        messages.swap(queue_);
    }
    for (Posted message : messages) {
        // Messages to a destroyed window are dropped, as Windows drops them.
        if (!created || window == nullptr) continue;
        if (message == Posted::Caption) {
            window->onCaptionPosted();
        } else {
            window->onClose();
        }
    }
    return static_cast<int>(messages.size());
}

bool SimPreviewSurface::waitForCaptionPosts(int total) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return posted_.wait_for(lock, kPatience, [&] { return captionPosts_ >= total; });
}

bool SimPreviewSurface::create(const PreviewWindowClass& c) {
    calls.push_back("create " + c.className);
    windowClass = c;
    if (failCreate) return false;
    created = true;
    caption = c.title;
    return true;
}

void SimPreviewSurface::createCloseButton(const PreviewCloseButton& closeButton) {
    calls.push_back("button");
    button = closeButton;
    buttonMade_ = true;
}

void SimPreviewSurface::placeCloseButton(const PreviewButtonPlace& p) {
    if (!buttonMade_) return;
    calls.push_back(strprintf("place %d,%d %dx%d", p.x, p.y, p.width, p.height));
    buttonPlace = p;
}

void SimPreviewSurface::show() {
    calls.push_back("show");
    visible = true;
}

void SimPreviewSurface::destroy() {
    if (!created) return;
    calls.push_back("destroy");
    created = false;
    visible = false;
    buttonMade_ = false;
    if (window != nullptr) window->onDestroyed();
}

void SimPreviewSurface::setCaption(const std::string& text) {
    calls.push_back("caption " + text);
    caption = text;
}

void SimPreviewSurface::postCaptionChange() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(Posted::Caption);
        ++captionPosts_;
    }
    posted_.notify_all();
}

void SimPreviewSurface::setTopmost(bool on) {
    calls.push_back(strprintf("topmost %d", on ? 1 : 0));
    topmost = on;
}

void SimPreviewSurface::setFramed(bool on) {
    calls.push_back(strprintf("framed %d", on ? 1 : 0));
    framed = on;
}

void SimPreviewSurface::postClose() {
    calls.push_back("postClose");
    const std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(Posted::Close);
}

uint32_t SimPreviewSurface::trackMenu(const std::vector<MenuEntry>& entries) {
    calls.push_back("menu");
    lastMenu = entries;
    return menuChoice;
}

} // namespace qv::sim
