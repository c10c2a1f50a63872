#include "sim/SimSettingsSurface.h"

#include "base/Dpi.h"
#include "base/StrPrintf.h"
#include "ui/SettingsWindow.h"

namespace qv::sim {

namespace {

std::string text(const ScreenRect& r) { return strprintf("(%d,%d)-(%d,%d)", r.left, r.top, r.right, r.bottom); }

} // namespace

ClassicControl* SimSettingsSurface::find(uint32_t id) {
    for (ClassicControl& c : controls)
        if (c.id == id) return &c;
    return nullptr;
}

void SimSettingsSurface::click(uint32_t id) {
    ClassicControl* c = find(id);
    if (c == nullptr) return;
    if (c->kind == ControlKind::CheckBox) c->selected = !c->selected;
    notify(id, SettingsWindow::kClicked);
}

void SimSettingsSurface::choose(uint32_t id, int32_t item) {
    ClassicControl* c = find(id);
    if (c == nullptr) return;
    c->selectedItem = item;
    notify(id, SettingsWindow::kSelChange);
}

void SimSettingsSurface::notify(uint32_t id, uint32_t notification) {
    if (window != nullptr && created) window->onCommand(id, notification);
}

void SimSettingsSurface::close() {
    if (window != nullptr && created) window->onClose();
}

bool SimSettingsSurface::create(uint64_t instance) {
    calls.push_back(strprintf("create 0x%llx", static_cast<unsigned long long>(instance)));
    if (failCreate) return false;
    created = true;
    visible = false;
    controls.clear();
    return true;
}

void SimSettingsSurface::destroy() {
    calls.push_back("destroy");
    created = false;
    visible = false;
    controls.clear();
}

void SimSettingsSurface::build(const std::vector<ClassicControl>& built, uint32_t dpi) {
    calls.push_back(strprintf("build %zu controls at %u", built.size(), dpi));
    controls = built;
}

ScreenRect SimSettingsSurface::frameFor(int32_t clientWidth, int32_t clientHeight, uint32_t dpi) const {
    const int32_t side = dpiScale(border, dpi);
    const int32_t top = dpiScale(border + caption, dpi);
    return ScreenRect{-side, -top, clientWidth + side, clientHeight + side};
}

void SimSettingsSurface::move(const ScreenRect& r) {
    calls.push_back("move " + text(r));
    rect = r;
}

void SimSettingsSurface::show() {
    calls.push_back("show");
    visible = true;
}

bool SimSettingsSurface::isChecked(uint32_t id) const {
    const ClassicControl* c = findControl(controls, id);
    return c != nullptr && c->selected;
}

void SimSettingsSurface::setChecked(uint32_t id, bool checked) {
    calls.push_back(strprintf("setChecked %u %d", id, checked ? 1 : 0));
    if (ClassicControl* c = find(id)) c->selected = checked;
}

int32_t SimSettingsSurface::selection(uint32_t id) const {
    const ClassicControl* c = findControl(controls, id);
    return c != nullptr ? c->selectedItem : -1;
}

void SimSettingsSurface::openFolder(const std::string& path) { calls.push_back("openFolder " + path); }

} // namespace qv::sim
