#pragma once
#include "ui/FlyoutPanelSurface.h"
#include "ui/TextPrompt.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qv::sim {

// The classic flyout's window on the simulated desktop: keeps its rectangle,
// visibility and controls, answers menus through a chooser the test sets,
// and records the calls that matter ("show (x,y)-(r,b)", "hide", "menu",
// "quit").
class SimFlyoutPanelSurface final : public FlyoutPanelSurface {
public:
    bool failCreate = false;
    uint32_t dpiValue = 96;
    std::optional<ScreenRect> workArea = ScreenRect{0, 0, 1920, 1040};
    // Picks a command from a menu as it opens; 0 (the default) closes it.
    std::function<uint32_t(const std::vector<MenuEntry>&)> chooseFromMenu;

    bool created = false;
    bool visible = false;
    bool quitRequested = false;
    ScreenRect rect{0, 0, 318, 400};
    std::vector<ClassicControl> controls;
    std::vector<std::vector<MenuEntry>> menusShown;
    std::vector<std::string> calls;
    FlyoutPanel* panel = nullptr;

    void attach(FlyoutPanel* attached) override { panel = attached; }
    bool create() override;
    bool isVisible() const override { return visible; }
    WindowHandle handle() const override { return created ? 0x5150 : 0; }
    uint32_t dpi() const override { return dpiValue; }
    void moveTo(ScreenPoint point) override;
    void setControls(const std::vector<ClassicControl>& list) override { controls = list; }
    ScreenRect windowRect() const override { return rect; }
    void setWindowRect(const ScreenRect& r) override { rect = r; }
    void showAt(const ScreenRect& r) override;
    void hide() override;
    void redraw() override {}
    std::optional<ScreenRect> workAreaNear(ScreenPoint) const override { return workArea; }
    uint32_t trackMenu(const std::vector<MenuEntry>& entries) override;
    void quit() override;

    // The control with the caption; null when there is none.
    const ClassicControl* byCaption(const std::string& caption) const;
};

// A prompt that answers as the test says and remembers what it was asked.
class SimTextPrompt final : public TextPrompt {
public:
    bool accept = true;
    std::string typed;  // replaces the text when accepted; nullopt-like: keep when `keep` is set
    bool keep = false;
    std::vector<std::string> asked; // "title|label|initial text"
    WindowHandle lastOwner = 0;

    bool prompt(WindowHandle owner, const std::string& title, const std::string& label, std::string& text) override;
};

} // namespace qv::sim
