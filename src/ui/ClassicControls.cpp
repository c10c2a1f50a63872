#include "ui/ClassicControls.h"

namespace qv {

ButtonPaint buttonPaint(ButtonStyle style, bool selected, bool pressed, bool enabled) {
    if (!enabled) return {look::kBackground, look::kLine, look::kMuted, style == ButtonStyle::Row};
    const uint32_t panel = pressed ? look::kPressed : look::kPanel;
    switch (style) {
    case ButtonStyle::Accent: {
        const uint32_t fill = pressed ? look::kAccentPressed : look::kAccent;
        return {fill, fill, look::kOnAccent, false};
    }
    case ButtonStyle::Toggle:
        if (selected) return {look::kAccent, look::kAccent, look::kOnAccent, false};
        return {panel, look::kLine, look::kAccent, false};
    case ButtonStyle::Row:
        return {panel, selected ? look::kAccent : look::kLine, look::kText, true};
    case ButtonStyle::Quiet:
        return {pressed ? look::kPressed : look::kBackground, look::kBackground, look::kMuted, false};
    case ButtonStyle::Danger:
        return {panel, look::kLine, look::kDanger, false};
    case ButtonStyle::Plain:
    default:
        return {panel, look::kLine, look::kText, false};
    }
}

const ClassicControl* findControl(const std::vector<ClassicControl>& controls, uint32_t id) {
    for (const ClassicControl& control : controls)
        if (control.id == id) return &control;
    return nullptr;
}

} // namespace qv
