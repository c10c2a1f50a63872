#pragma once
#include "base/ScreenPoint.h"
#include "ui/ClassicControls.h"
#include "windows/WindowSystem.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace qv {

class ActionBus;
class FlyoutPanelSurface;
class TextPrompt;
struct Action;
struct Config;
struct DisplayInfo;
struct ModeChoices;

// The classic flyout: the native panel the tray icon opens when the web
// flyout cannot be shown. One column of owner-drawn buttons: the projection
// switch, resolution pushes, arrangement and layout tools, a row per display
// with its capture toggles, the selected display's own controls, and
// Refresh, Settings and Exit. Every action goes through the action bus;
// captures, previews, settings and the arrangement window go to the
// callbacks the tray controller installs. Rebuilt from scratch after every
// action and whenever the displays change.
//
// This class holds the decisions: the controls with their ids, places,
// captions and styles, what each id and menu entry does, and where the panel
// opens. FlyoutPanelSurface carries them out. User-interface thread only.
class FlyoutPanel {
public:
    // Control ids.
    enum : uint32_t {
        kInternal = 1,
        kMirror = 2,
        kExtend = 3,
        kExternal = 4,
        kPushNative = 5,
        kPushMax = 6,
        kPushHd = 7,
        kPush4k = 8,
        kFlip = 9,
        kMirrorTwo = 10,
        kLayouts = 11,
        kChooser = 12,
        kArrange = 13,
        kRefresh = 14,
        kSettings = 15,
        kExit = 16,
        kRecordings = 17,
        kMiniMap = 18,
        kResolution = 19,
        kRefreshRate = 20,
        kSetPrimary = 21,
        kRotate = 22,
        kHdr = 23,
        kEnable = 24,
        kPreview = 25,
        kGather = 26,
        kRename = 27,
        kMore = 28,
        kNdiRegion = 29,
        kTitle = 90,         // the title and the section label send nothing
        kSectionLabel = 91,
        kNoDisplays = 92,
        kRowBase = 100,      // + display index: select or collapse
        kRecordBase = 300,   // + index: record the display
        kRegionBase = 400,   // + index: record a region
        kNdiBase = 500,      // + index: share over NDI
    };

    static constexpr int32_t kWidth = 318; // device-independent pixels
    static constexpr int32_t kMargin = 14;
    static constexpr int32_t kGap = 7;
    static constexpr int32_t kButtonHeight = 32;
    static constexpr size_t kMaxMenuResolutions = 60;
    static constexpr size_t kMaxMenuWindows = 30;

    // What the tray controller does for the panel; a callback that is not
    // set does nothing.
    struct Callbacks {
        std::function<void(const std::string& key)> togglePreview;
        std::function<bool(const std::string& key)> previewOpen;
        std::function<void(const std::string& key)> toggleRecording;
        std::function<void(const std::string& key)> toggleRegionRecording;
        std::function<bool(const std::string& key)> recordingActive;
        std::function<void(const std::string& key)> toggleNdi;
        std::function<void(const std::string& key)> toggleRegionNdi;
        std::function<bool(const std::string& key)> ndiActive;
        std::function<void()> openRecordingsFolder;
        std::function<void()> openSettings;
        std::function<void()> openArrangement;
    };

    // What the window paints besides its controls, in device-independent
    // pixels: the accent bar under the title, the separator lines and the
    // mini-map of the selected display's block.
    struct Scene {
        DipRect accentBar;
        std::vector<int32_t> separators; // y of each line, from x 14 to W − 14
        DipRect miniMap;                 // empty without an expanded display
        struct Tile {
            DipRect rect;
            bool selected = false;
        };
        std::vector<Tile> tiles;
    };

    // A pop-up menu as data: its entries, and what each command runs
    // (command n runs run[n − 1]).
    struct Menu {
        std::vector<MenuEntry> entries;
        std::vector<std::function<void()>> run;

        // Appends an entry to `into` (these entries or a submenu's); with a
        // function it becomes a command that runs it.
        void add(std::vector<MenuEntry>& into, std::string text, std::function<void()> function = nullptr,
                 bool checked = false, bool grayed = false);
        static void separator(std::vector<MenuEntry>& into);
    };

    FlyoutPanel(FlyoutPanelSurface& surface, TextPrompt* prompt);
    ~FlyoutPanel();
    FlyoutPanel(const FlyoutPanel&) = delete;
    FlyoutPanel& operator=(const FlyoutPanel&) = delete;

    // Creates the (hidden) window. False, logged, when that fails.
    bool create(ActionBus& bus);
    void setCallbacks(Callbacks callbacks, Config* config);

    // Opens the panel against the point (the cursor, or the tray icon's centre).
    void showAt(ScreenPoint point);
    // Recreates every control from the current displays and state.
    void rebuild();
    void hide();

    // --- Reported by the window ----------------------------------------------
    void onCommand(uint32_t id);
    // Another window was activated, or Escape was pressed.
    void onDeactivate();
    void onEscape();
    void onDisplayChange();
    // The window moved to a monitor of another DPI; the suggested rectangle is
    // where Windows proposes it goes.
    void onDpiChanged(const ScreenRect& suggested);

    // --- What the window shows (device-independent pixels) --------------------
    const std::vector<ClassicControl>& controls() const { return controls_; }
    const Scene& scene() const { return scene_; }
    int32_t height() const { return height_; }
    const std::string& selectedKey() const { return selected_; }

    // The menus behind ids 10, 11, 12, 19, 20 and 28, as they would open now.
    Menu menu(uint32_t id);

    // A display row's caption: "▾" for the expanded display or "▸", "★ " for
    // the primary, the name, "   WxH · " and the refresh label, " · HDR" when
    // HDR is on, "  (off)" when the display is not active.
    static std::string rowCaption(const DisplayInfo& display, bool expanded);

    // Where a panel of that size in pixels opens for the point: left of and
    // above it where there is room, right of or below it where there is not,
    // then inside the work area (left and top first, then right and bottom).
    static ScreenRect placement(ScreenPoint point, const ScreenRect& work, int32_t width, int32_t height);

private:
    void dispatch(const Action& action);
    void layOut();
    int32_t addExpandedBlock(const DisplayInfo& display, int32_t y);
    void addButton(uint32_t id, DipRect rect, std::string caption, ButtonStyle style, bool selected = false,
                   bool enabled = true);
    void addRow(int32_t y, const std::vector<ClassicControl>& buttons);
    void resizeWindow();
    void rename(const std::string& key, const std::string& name);
    const DisplayInfo* selectedDisplay() const;
    Menu moreMenu(const DisplayInfo& display);
    // The display's sizes and the rates of its current size, each a command
    // setting it, the current one checked.
    void addSizes(Menu& menu, std::vector<MenuEntry>& into, const DisplayInfo& display, const ModeChoices& choices);
    void addRates(Menu& menu, std::vector<MenuEntry>& into, const DisplayInfo& display, const ModeChoices& choices);
    bool active(const std::function<bool(const std::string&)>& test, const std::string& key) const;

    FlyoutPanelSurface& surface_;
    TextPrompt* prompt_;
    ActionBus* bus_ = nullptr;
    Config* config_ = nullptr;
    Callbacks callbacks_;
    std::string selected_;
    std::vector<DisplayInfo> displays_;
    std::vector<ClassicControl> controls_;
    Scene scene_;
    std::map<uint32_t, std::string> keyById_; // row, record, region and NDI ids → display key
    int32_t height_ = 400;
};

} // namespace qv
