#pragma once
#include "ui/ArrangementSurface.h"

#include <string>
#include <vector>

namespace qv::sim {

// The arrangement window on the simulated desktop. Records every call as a
// line ("create QuorvaneArrange", "layout 96 600x440", "show", "invalidate",
// "capture", "release", "destroy"); creation can be made to fail. Destroying
// reports back to the attached window, as WM_DESTROY does.
class SimArrangementSurface final : public ArrangementSurface {
public:
    // --- Injected behaviour ---
    bool failCreate = false;
    uint32_t dpiOfWindow = 96;

    // --- Observed state ---
    bool created = false;
    bool visible = false;
    bool captured = false;
    int creations = 0;
    ArrangementWindowClass windowClass;
    ArrangementLayout lastLayout;
    std::vector<std::string> calls;
    void clearCalls() { calls.clear(); }
    // How many calls of exactly this text were made.
    int count(const std::string& call) const;

    ArrangementWindow* window = nullptr;

    // --- ArrangementSurface ---
    void attach(ArrangementWindow* w) override { window = w; }
    bool create(const ArrangementWindowClass& c) override;
    bool exists() const override { return created; }
    void destroy() override;
    uint32_t dpi() const override { return created ? dpiOfWindow : 0; }
    void layout(const ArrangementLayout& l) override;
    void show() override;
    void invalidate() override;
    void captureMouse() override;
    void releaseMouse() override;
};

} // namespace qv::sim
