#pragma once
#include "ui/PreviewSurface.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace qv::sim {

// A preview window on the simulated desktop. Records the calls made on the
// user-interface thread ("create QuorvanePreview", "button", "place
// 598,10 96x30", "show", "caption Name", "topmost 1", "framed 0", "menu",
// "postClose", "destroy"). Posted messages wait until deliver() hands them to
// the attached window, as a message loop would; destroying reports back at
// once, as WM_DESTROY does.
class SimPreviewSurface final : public PreviewSurface {
public:
    static constexpr WindowHandle kHandle = 0x5150;

    // --- Injected behaviour ---
    bool failCreate = false;
    uint32_t dpiOfWindow = 96;
    int32_t clientWidthOfWindow = 704;
    uint32_t menuChoice = 0; // what the next menus return

    // --- Observed state (user-interface thread) ---
    bool created = false;
    bool visible = false;
    bool topmost = false;
    bool framed = true;
    std::string caption;
    PreviewWindowClass windowClass;
    PreviewCloseButton button;
    PreviewButtonPlace buttonPlace;
    std::vector<MenuEntry> lastMenu;
    std::vector<std::string> calls;
    int count(const std::string& call) const;

    PreviewWindow* window = nullptr;

    // Hands every posted message to the window, in posting order; returns how
    // many there were.
    int deliver();
    // Waits until the render thread has posted this many caption changes in
    // all; false when that does not happen within seconds.
    bool waitForCaptionPosts(int total) const;

    // --- PreviewSurface ---
    void attach(PreviewWindow* w) override { window = w; }
    bool create(const PreviewWindowClass& windowClass) override;
    bool exists() const override { return created; }
    WindowHandle handle() const override { return created ? kHandle : 0; }
    uint32_t dpi() const override { return created ? dpiOfWindow : 0; }
    int32_t clientWidth() const override { return created ? clientWidthOfWindow : 0; }
    void createCloseButton(const PreviewCloseButton& closeButton) override;
    void placeCloseButton(const PreviewButtonPlace& place) override;
    void show() override;
    void destroy() override;
    void setCaption(const std::string& text) override;
    void postCaptionChange() override;
    void setTopmost(bool on) override;
    void setFramed(bool on) override;
    void postClose() override;
    uint32_t trackMenu(const std::vector<MenuEntry>& entries) override;

private:
    enum class Posted { Caption, Close };

    mutable std::mutex mutex_;
    mutable std::condition_variable posted_;
    std::vector<Posted> queue_;
    int captionPosts_ = 0;
    bool buttonMade_ = false;
};

} // namespace qv::sim
