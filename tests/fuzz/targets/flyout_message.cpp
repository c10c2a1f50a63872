// The flyout page's messages (one JSON text per line), against the real
// action bus on a simulated docked laptop. Whatever the text, every action
// that reaches the bus and every callback the flyout makes carries values
// the page itself could send: sizes and refresh rates above zero, a grid of
// 1 to 8 by 1 to 8 with the cell inside it, a volume that is a number. A display
// key is the bus's to judge (a display may go between the page's state and
// the click): an action for a display that is not connected is refused,
// only a rename (which keeps the name for when it comes back) goes through.
#include "FuzzSupport.h"

#include "web/FlyoutCommands.h"
#include "windows/Grid.h"
#include "windows/WindowHomecoming.h"

#include <cmath>
#include <functional>
#include <set>

using namespace qv;

namespace {

struct Panel final : FlyoutCommands::Panel {
    void resize(int32_t) override {}
    void hide() override {}
    void post(std::function<void()> task) override { tasks.push_back(std::move(task)); }
    void pushState() override {}
    void quit(int) override {}
    std::vector<std::function<void()>> tasks;
};

struct Checker {
    std::set<std::string> keys;  // the connected displays'
    std::string message;

    void key(const std::string& key, const ActionResult& result) const {
        QV_FUZZ_CHECK(keys.count(key) == 1 || !result.ok,
                      "display key '" + fuzz::shown(key) + "' taken from " + fuzz::shown(message));
    }

    void action(const Action& a, const ActionResult& result) const {
        const auto key = [&](const std::string& k) { this->key(k, result); };
        const std::string detail = std::string(actionKindName(a.kind)) + " from " + fuzz::shown(message);
        switch (a.kind) {
        case ActionKind::SetResolution:
            key(a.display);
            QV_FUZZ_CHECK(a.width > 0 && a.height > 0, detail);
            break;
        case ActionKind::SetRefreshRate:
            key(a.display);
            QV_FUZZ_CHECK(a.refreshHz > 0, detail);
            break;
        case ActionKind::PushResolutionAll:
            QV_FUZZ_CHECK(a.width > 0 && a.height > 0, detail);
            break;
        case ActionKind::TileWindows:
        case ActionKind::SnapWindow: {
            if (!a.display.empty()) key(a.display);
            const std::optional<Grid> grid = parseGrid(a.name);
            QV_FUZZ_CHECK(grid.has_value(), detail);
            if (a.kind == ActionKind::SnapWindow) QV_FUZZ_CHECK(a.cell >= 0 && a.cell < grid->cellCount(), detail);
            break;
        }
        case ActionKind::SetPrimary:
        case ActionKind::EnableDisplay:
        case ActionKind::DisableDisplay:
        case ActionKind::ToggleHdr:
            key(a.display);
            break;
        case ActionKind::RotateNext:
            // Without a key it turns the primary display, as its hotkey does.
            if (!a.display.empty()) key(a.display);
            break;
        case ActionKind::GatherWindows:
            if (!a.display.empty()) key(a.display);
            break;
        case ActionKind::SetOrientation:
            key(a.display);
            QV_FUZZ_CHECK(a.orientation >= 0 && a.orientation <= 3, detail);
            break;
        case ActionKind::MirrorSpecific:
            for (const std::string& k : a.displays) key(k);
            break;
        case ActionKind::RestoreWindows:
        case ActionKind::RescueWindows:
            // They act on every display's windows; the page names none.
            QV_FUZZ_CHECK(a.display.empty() && a.displays.empty() && a.window == 0, detail);
            break;
        case ActionKind::ApplyArrangement:
            for (const DisplayPlacement& p : a.placements) {
                key(p.key);
                QV_FUZZ_CHECK(p.width > 0 && p.height > 0 && p.orientation <= 3, detail);
            }
            break;
        default:
            break;
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::World world;
    Checker check;
    for (const DisplayInfo& d : world.bus.displays()) check.keys.insert(d.key);

    FlyoutHooks hooks;
    const auto keyHook = [](const std::string&) {};
    hooks.togglePreview = keyHook;
    hooks.toggleRecording = keyHook;
    hooks.toggleNdi = keyHook;
    hooks.toggleRegionRecording = keyHook;
    hooks.toggleRegionNdi = keyHook;
    // The audio side holds a volume to 0..1 itself (AudioEndpoints::setVolume);
    // what it cannot take is a value that is no number.
    hooks.setVolume = [&](float volume, bool) {
        QV_FUZZ_CHECK(!std::isnan(volume), "volume from " + fuzz::shown(check.message));
    };
    hooks.foregroundWindow = [] { return uint64_t{0x1234}; };
    hooks.setDefaultAudio = [](const std::string&, bool) {};
    hooks.setMute = [](bool, bool) {};

    // The window actions run for real over the simulated desktop's windows.
    WindowHomecoming homecoming(world.windows, world.manager);
    homecoming.prime();
    world.bus.setWindowHomecoming(&homecoming);
    world.bus.setResultListener([&](const Action& a, const ActionResult& result) { check.action(a, result); });
    Panel panel;
    FlyoutCommands commands(&world.bus, &world.config, hooks, panel);
    for (const std::string& message : fuzz::lines(fuzz::bytes(data, size), 16)) {
        check.message = message;
        commands.onWebMessage(message);
        for (const auto& task : panel.tasks) task();
        panel.tasks.clear();
    }
    return 0;
}
