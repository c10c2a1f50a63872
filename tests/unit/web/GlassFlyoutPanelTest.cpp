// The web flyout's decisions: where it opens, how its browser is started and
// given up, what its window messages do, and when the page gets its documents.
#include "web/GlassFlyoutPanel.h"

#include "base/StrPrintf.h"
#include "sim/SimFlyoutWindow.h"
#include "unit/CoreWorld.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv::test {
namespace {

std::string text(const ScreenRect& r) { return strprintf("(%d,%d)-(%d,%d)", r.left, r.top, r.right, r.bottom); }

TEST(FlyoutPlacement, OpensFromTheAnchorWhereThereIsRoomAndStaysInTheWorkArea) {
    const ScreenRect screen{0, 0, 1920, 1040}; // a taskbar of 40 pixels below
    const ScreenRect left{-2560, 0, 0, 1400};
    struct Case {
        const char* what;
        ScreenPoint anchor;
        ScreenRect work;
        uint32_t dpi;
        int32_t height;
        const char* rect;
    };
    const Case cases[] = {
        {"taskbar corner: above and left", {1900, 1030}, screen, 96, 520, "(1548,510)-(1900,1030)"},
        {"top-left corner: below and right", {10, 10}, screen, 96, 520, "(10,10)-(362,530)"},
        {"top-right corner: below and left", {1910, 10}, screen, 96, 520, "(1558,10)-(1910,530)"},
        {"bottom-left corner: above and right", {10, 1030}, screen, 96, 520, "(10,510)-(362,1030)"},
        {"taller than the work area: its height less 24", {1900, 1030}, screen, 96, 2000, "(1548,14)-(1900,1030)"},
        {"lower than 200: 200", {1900, 1030}, screen, 96, 100, "(1548,830)-(1900,1030)"},
        {"150 %: every size scaled", {1900, 1030}, screen, 144, 520, "(1372,250)-(1900,1030)"},
        {"150 %, taller than the work area", {1900, 1030}, screen, 144, 2000, "(1372,26)-(1900,1030)"},
        {"a monitor left of the primary", {-100, 1390}, left, 96, 520, "(-452,870)-(-100,1390)"},
        {"anchor beyond the work area's right edge", {2000, 500}, screen, 96, 520, "(1568,500)-(1920,1020)"},
        {"a work area narrower than the flyout", {100, 500}, {0, 0, 300, 1040}, 96, 520, "(0,500)-(352,1020)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(text(GlassFlyoutPanel::placement(c.anchor, c.work, c.dpi, c.height)), c.rect);
    }
}

TEST(FlyoutPlacement, ProfileFolderUnderLocalAppData) {
    EXPECT_EQ(GlassFlyoutPanel::profileFolder("C:\\Users\\ana\\AppData\\Local"),
              "C:\\Users\\ana\\AppData\\Local\\Quorvane\\WebView2");
    EXPECT_EQ(GlassFlyoutPanel::profileFolder(""), ".\\Quorvane\\WebView2");
}

class GlassFlyoutPanelTest : public CoreWorld {
protected:
    void SetUp() override { desk.displays.laptopWithTwoDocked(); }

    // Starts the browser as it would come up: environment, controller, page.
    void load() {
        panel.onEnvironmentCreated(true);
        panel.onControllerCreated(true);
        panel.onNavigationCompleted();
    }

    static bool isState(const std::string& script) { return script.rfind("window.qvState({", 0) == 0; }

    std::vector<std::string> fallbackLines() const {
        std::vector<std::string> out;
        for (const std::string& line : desk.debug.lines())
            if (line.find("GlassFlyoutPanel") != std::string::npos) out.push_back(line);
        return out;
    }

    sim::SimFlyoutWindow window;
    GlassFlyoutPanel::Hooks hooks;
    GlassFlyoutPanel panel{window, &bus, &config, hooks};
};

TEST_F(GlassFlyoutPanelTest, FirstShowCreatesTheWindowAndTheBrowserThenThePageGetsItsState) {
    EXPECT_TRUE(panel.show({1900, 1030}));
    const std::vector<std::string> first = {
        "create (1548,510)-(1900,1030)",
        "createEnvironment C:\\Users\\sim\\AppData\\Local\\Quorvane\\WebView2",
        "showAt (1548,510)-(1900,1030)",
        "setTimer 1 50",
    };
    EXPECT_EQ(window.calls, first);

    // Before the page has loaded nothing is sent.
    window.clearCalls();
    panel.refreshIfVisible();
    panel.pushLevels();
    EXPECT_TRUE(window.calls.empty());

    panel.onEnvironmentCreated(true);
    panel.onControllerCreated(true);
    EXPECT_EQ(window.calls, (std::vector<std::string>{"createController", "startPage"}));
    panel.onNavigationCompleted();
    EXPECT_TRUE(panel.ready());
    ASSERT_EQ(window.scripts().size(), 1u);
    EXPECT_TRUE(isState(window.scripts()[0])) << window.scripts()[0];

    // Hidden and shown again: the same window and page, told that it is shown.
    panel.hide();
    window.clearCalls();
    EXPECT_TRUE(panel.show({1900, 1030}));
    ASSERT_EQ(window.calls.size(), 4u);
    EXPECT_EQ(window.calls[0], "showAt (1548,510)-(1900,1030)");
    EXPECT_EQ(window.calls[1], "script window.qvShown&&window.qvShown()");
    EXPECT_TRUE(isState(window.calls[2].substr(7)));
    EXPECT_EQ(window.calls[3], "setTimer 1 50");
}

// Each way the browser can fail to start: one line in the log, the window
// gone, and from then on the classic flyout without a word.
TEST_F(GlassFlyoutPanelTest, ABrowserThatCannotStartFallsBackOnceForGood) {
    struct Case {
        const char* what;
        std::function<void(sim::SimFlyoutWindow&)> arrange;
        std::function<void(GlassFlyoutPanel&)> events;
        bool firstShow;
        const char* reason;
    };
    const auto none = [](GlassFlyoutPanel&) {};
    const Case cases[] = {
        {"environment call", [](sim::SimFlyoutWindow& w) { w.failEnvironmentCall = true; }, none, false,
         "environment create call failed"},
        {"environment completion", nullptr, [](GlassFlyoutPanel& p) { p.onEnvironmentCreated(false); }, true,
         "WebView2 environment failed"},
        {"controller call", [](sim::SimFlyoutWindow& w) { w.failControllerCall = true; },
         [](GlassFlyoutPanel& p) { p.onEnvironmentCreated(true); }, true, "WebView2 controller failed"},
        {"controller completion", nullptr,
         [](GlassFlyoutPanel& p) {
             p.onEnvironmentCreated(true);
             p.onControllerCreated(false);
         },
         true, "WebView2 controller failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::SimFlyoutWindow w;
        if (c.arrange) c.arrange(w);
        GlassFlyoutPanel p(w, &bus, &config, hooks);
        desk.debug.clear();
        EXPECT_EQ(p.show({1900, 1030}), c.firstShow);
        c.events(p);
        EXPECT_TRUE(p.fellBack());
        EXPECT_FALSE(w.exists());
        EXPECT_EQ(w.calls.back(), "destroy");
        EXPECT_EQ(fallbackLines(), std::vector<std::string>{std::string("[Quorvane][ERR] GlassFlyoutPanel: ") + c.reason +
                                                            " \xE2\x80\x94 falling back to the classic flyout\n"});
        w.clearCalls();
        EXPECT_FALSE(p.show({1900, 1030}));
        EXPECT_FALSE(p.show({10, 10}));
        EXPECT_TRUE(w.calls.empty());
        EXPECT_EQ(fallbackLines().size(), 1u);
    }
}

TEST_F(GlassFlyoutPanelTest, AWindowThatCannotBeCreatedIsLoggedAndFallsBack) {
    window.failCreate = true;
    EXPECT_FALSE(panel.show({1900, 1030}));
    EXPECT_TRUE(panel.fellBack());
    EXPECT_EQ(fallbackLines(), std::vector<std::string>{"[Quorvane][ERR] GlassFlyoutPanel: CreateWindowEx failed\n"});
    EXPECT_EQ(window.calls, std::vector<std::string>{"create (1548,510)-(1900,1030)"});
    EXPECT_FALSE(panel.show({1900, 1030}));
    EXPECT_EQ(window.calls.size(), 1u);
}

TEST_F(GlassFlyoutPanelTest, WindowMessages) {
    hooks.audioLevel = [](bool capture) { return GlassFlyoutPanel::Hooks::Level{true, capture ? 0.25f : 0.5f, false, 0}; };
    GlassFlyoutPanel withLevels(window, &bus, &config, hooks);
    ASSERT_TRUE(withLevels.show({1900, 1030}));
    withLevels.onEnvironmentCreated(true);
    withLevels.onControllerCreated(true);
    withLevels.onNavigationCompleted();

    struct Step {
        const char* what;
        std::function<void()> message;
        std::vector<std::string> calls; // scripts shortened to their function
    };
    const auto shorten = [](std::vector<std::string> calls) {
        for (std::string& call : calls)
            if (call.rfind("script ", 0) == 0) call = call.substr(0, call.find('('));
        return calls;
    };
    const std::vector<Step> steps = {
        {"level tick while visible", [&] { withLevels.onTimer(1); }, {"script window.qvLevels&&window.qvLevels"}},
        {"another timer", [&] { withLevels.onTimer(2); }, {}},
        {"activation moving into its own browser", [&] { withLevels.onActivate(true, true); }, {}},
        {"activation of the flyout", [&] { withLevels.onActivate(false, false); }, {}},
        {"size", [&] { withLevels.onSize(); }, {"updateBounds"}},
        {"another application activated", [&] { withLevels.onActivate(true, false); }, {"killTimer 1", "hide"}},
        {"level tick while hidden stops the timer", [&] { withLevels.onTimer(1); }, {"killTimer 1"}},
        {"close hides", [&] { withLevels.onClose(); }, {"killTimer 1", "hide"}},
        {"destroyed", [&] { withLevels.onDestroy(); }, {"closeBrowser"}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        window.clearCalls();
        step.message();
        EXPECT_EQ(shorten(window.calls), step.calls);
    }
    EXPECT_FALSE(withLevels.ready());
    window.visible = true;
    window.clearCalls();
    withLevels.refreshIfVisible();
    withLevels.pushLevels();
    EXPECT_TRUE(window.calls.empty());
}

TEST_F(GlassFlyoutPanelTest, DeferredTasksRunInOrderOnePerMessage) {
    std::vector<int> ran;
    panel.post([&] { ran.push_back(1); }); // no window yet: queued, nothing posted
    EXPECT_TRUE(window.calls.empty());
    ASSERT_TRUE(panel.show({1900, 1030}));
    panel.post([&] { ran.push_back(2); });
    EXPECT_EQ(window.postedTasks, 1);
    panel.onTaskMessage();
    EXPECT_EQ(ran, std::vector<int>{1});
    panel.onTaskMessage();
    panel.onTaskMessage(); // nothing left: nothing happens
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
}

TEST_F(GlassFlyoutPanelTest, ADpiChangeReplacesTheVisibleFlyoutAfterwards) {
    ASSERT_TRUE(panel.show({1900, 1030}));
    window.dpiOfWindow = 144;
    window.clearCalls();
    panel.onDpiChanged();
    EXPECT_EQ(window.calls, std::vector<std::string>{"post WM_APP+21"});
    panel.onTaskMessage();
    EXPECT_EQ(window.calls.back(), "showAt (1372,250)-(1900,1030)");

    // Hidden by the time the task runs: it stays hidden.
    panel.onDpiChanged();
    panel.hide();
    window.clearCalls();
    panel.onTaskMessage();
    EXPECT_TRUE(window.calls.empty());
}

TEST_F(GlassFlyoutPanelTest, ThePageChoosesTheHeight) {
    // Hidden: the height is kept for the next show.
    panel.onWebMessage(R"({"type":"size","h":700})");
    EXPECT_EQ(panel.height(), 700);
    ASSERT_TRUE(panel.show({1900, 1030}));
    load();
    EXPECT_EQ(text(window.rect), "(1548,330)-(1900,1030)");

    // Visible: re-placed at once, and only when the height changes.
    window.clearCalls();
    panel.onWebMessage(R"({"type":"size","h":400})");
    EXPECT_EQ(window.calls, std::vector<std::string>{"showAt (1548,630)-(1900,1030)"});
    window.clearCalls();
    panel.onWebMessage(R"({"type":"size","h":400})");
    EXPECT_TRUE(window.calls.empty());

    // Page commands reach the bus and the flyout window.
    panel.onWebMessage(R"({"type":"refresh"})");
    ASSERT_EQ(window.scripts().size(), 1u);
    EXPECT_TRUE(isState(window.scripts()[0]));
    panel.onWebMessage(R"({"type":"close"})");
    EXPECT_FALSE(window.visible);
    panel.onWebMessage(R"({"type":"exit"})");
    EXPECT_EQ(window.calls.back(), "quit 0");
}

TEST_F(GlassFlyoutPanelTest, AVolumeDragRunsNoStateScriptTheLevelTicksCarryTheVolume) {
    float volume = 0;
    GlassFlyoutPanel::Hooks audio;
    audio.setVolume = [&](float v, bool) { volume = v; };
    audio.audioLevel = [&](bool) { return GlassFlyoutPanel::Hooks::Level{true, volume, false, 0}; };
    GlassFlyoutPanel withAudio(window, &bus, &config, audio);
    ASSERT_TRUE(withAudio.show({1900, 1030}));
    withAudio.onEnvironmentCreated(true);
    withAudio.onControllerCreated(true);
    withAudio.onNavigationCompleted();
    window.clearCalls();

    // Each step of the drag sets the volume and re-renders nothing.
    for (int step = 1; step <= 9; ++step)
        withAudio.onWebMessage(strprintf(R"({"type":"setvol","vol":%.1f})", step / 10.0));
    EXPECT_FLOAT_EQ(volume, 0.9f);
    EXPECT_TRUE(window.scripts().empty());

    withAudio.onTimer(1);
    ASSERT_EQ(window.scripts().size(), 1u);
    EXPECT_NE(window.scripts()[0].find("\"vol\":0.9"), std::string::npos) << window.scripts()[0];
}

TEST_F(GlassFlyoutPanelTest, WithoutTheBusNoStateIsPushed) {
    GlassFlyoutPanel noBus(window, nullptr, &config, hooks);
    ASSERT_TRUE(noBus.show({1900, 1030}));
    noBus.onEnvironmentCreated(true);
    noBus.onControllerCreated(true);
    noBus.onNavigationCompleted();
    EXPECT_TRUE(noBus.ready());
    EXPECT_TRUE(window.scripts().empty());
}

} // namespace
} // namespace qv::test
