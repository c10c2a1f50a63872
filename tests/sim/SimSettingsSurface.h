#pragma once
#include "ui/SettingsSurface.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qv::sim {

// The classic settings window on the simulated desktop. Keeps the controls it
// was given with their live states, and records every call as a line
// ("create 0x140000000", "build 21 controls at 96", "move (100,200)-(...)",
// "show", "openFolder <path>", "destroy"). The user's hand is click() and
// choose(), which change a control as Windows would and report the command to
// the attached SettingsWindow; close() is the close box.
class SimSettingsSurface final : public SettingsSurface {
public:
    // --- Injected behaviour ---
    bool failCreate = false;
    uint32_t dpiOfWindow = 96;
    ScreenPoint cursorAt{100, 100};
    std::optional<ScreenRect> workArea = ScreenRect{0, 0, 1920, 1040};
    // The frame around the client area at 96 DPI, scaled with the DPI:
    // borders on the sides and at the bottom, borders and caption on top.
    int32_t border = 3;
    int32_t caption = 26;

    // --- Observed state ---
    bool created = false;
    bool visible = false;
    ScreenRect rect;
    std::vector<ClassicControl> controls; // as built, states live
    std::vector<std::string> calls;
    void clearCalls() { calls.clear(); }
    // The control with the id; null when there is none.
    const ClassicControl* control(uint32_t id) const { return findControl(controls, id); }

    // --- The user ---
    // Clicks a check box (its tick flips first) or a button. Nothing happens
    // for a control that is not there.
    void click(uint32_t id);
    // Picks an item of a drop-down list (-1: none), as a new choice.
    void choose(uint32_t id, int32_t item);
    // Sends any notification, as a control might.
    void notify(uint32_t id, uint32_t notification);
    // The close box.
    void close();

    SettingsWindow* window = nullptr;

    // --- SettingsSurface ---
    void attach(SettingsWindow* w) override { window = w; }
    bool create(uint64_t instance) override;
    bool exists() const override { return created; }
    void destroy() override;
    uint32_t dpi() const override { return dpiOfWindow; }
    void build(const std::vector<ClassicControl>& built, uint32_t dpi) override;
    ScreenRect frameFor(int32_t clientWidth, int32_t clientHeight, uint32_t dpi) const override;
    ScreenPoint cursor() const override { return cursorAt; }
    std::optional<ScreenRect> workAreaAt(ScreenPoint) const override { return workArea; }
    void move(const ScreenRect& r) override;
    void show() override;
    bool isChecked(uint32_t id) const override;
    void setChecked(uint32_t id, bool checked) override;
    int32_t selection(uint32_t id) const override;
    void openFolder(const std::string& path) override;

private:
    ClassicControl* find(uint32_t id);
};

} // namespace qv::sim
