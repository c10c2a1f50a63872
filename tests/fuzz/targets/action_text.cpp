// The text form of an action (hotkey bindings' keys and "--do"): "KindName",
// "TileWindows:COLSxROWS", "SnapWindow:COLSxROWS:CELL", "RestoreLayout:NAME".
// Whatever reads as an action carries only what its kind takes, within range,
// and its text form written back (by actionText) reads as the same action and
// writes as the same text.
#include "FuzzSupport.h"

#include "windows/Grid.h"

using namespace qv;

namespace {

bool same(const Action& a, const Action& b) {
    return a.kind == b.kind && a.display == b.display && a.displays == b.displays && a.width == b.width &&
           a.height == b.height && a.refreshHz == b.refreshHz && a.orientation == b.orientation &&
           a.name == b.name && a.window == b.window && a.cell == b.cell && a.placements == b.placements;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = fuzz::bytes(data, size);

    // The grid on its own, as the tiling actions and the page give it.
    if (const std::optional<Grid> grid = parseGrid(text)) {
        QV_FUZZ_CHECK(grid->valid(), fuzz::shown(text));
        QV_FUZZ_CHECK(parseGrid(grid->text()) == grid, fuzz::shown(text));
    }

    const Action action = parseAction(text);
    if (action.kind == ActionKind::None) return 0;
    const std::string detail = fuzz::shown(text) + " -> " + fuzz::shown(actionText(action));

    const bool gridKind = action.kind == ActionKind::TileWindows || action.kind == ActionKind::SnapWindow;
    QV_FUZZ_CHECK(std::string(actionKindName(action.kind)) != "?", detail);
    QV_FUZZ_CHECK(action.display.empty() && action.displays.empty() && action.placements.empty(), detail);
    QV_FUZZ_CHECK(action.width == 0 && action.height == 0 && action.refreshHz == 0 && action.orientation == 0, detail);
    if (gridKind) {
        const std::optional<Grid> grid = parseGrid(action.name);
        QV_FUZZ_CHECK(grid && grid->text() == action.name, detail);
        QV_FUZZ_CHECK(action.cell >= 0 && action.cell < grid->cellCount(), detail);
    } else if (action.kind == ActionKind::RestoreLayout) {
        // The whole rest of the text after the first colon, never empty when
        // there is a colon.
        const size_t colon = text.find(':');
        QV_FUZZ_CHECK(action.name == (colon == std::string::npos ? std::string() : text.substr(colon + 1)), detail);
        QV_FUZZ_CHECK(colon == std::string::npos || !action.name.empty(), detail);
        QV_FUZZ_CHECK(action.cell == 0, detail);
    } else {
        QV_FUZZ_CHECK(action.name.empty() && action.cell == 0, detail);
    }

    const std::string written = actionText(action);
    const Action again = parseAction(written);
    QV_FUZZ_CHECK(same(again, action), detail);
    QV_FUZZ_CHECK(actionText(again) == written, detail);
    return 0;
}
