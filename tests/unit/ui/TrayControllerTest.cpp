#include "ui/TrayController.h"

#include "app/ActionBus.h"
#include "app/Config.h"
#include "app/DebugOutput.h"
#include "display/DisplayManager.h"
#include "layout/LayoutStore.h"
#include "sim/SimDebugOutput.h"
#include "sim/SimDisplays.h"
#include "sim/SimProcess.h"
#include "sim/SimWindows.h"
#include "windows/WindowPlacement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace qv {
namespace {

using sim::SimProcess;

constexpr uint64_t kInstance = 0x140000000;

class TrayControllerTest : public ::testing::Test {
protected:
    void SetUp() override { previousOutput_ = DebugOutput::install(&debug); }
    void TearDown() override { DebugOutput::install(previousOutput_); }

    // A controller whose window exists; the calls of its creation are cleared.
    std::unique_ptr<TrayController> created() {
        auto controller = std::make_unique<TrayController>(sim);
        EXPECT_TRUE(controller->create(kInstance, bus, displays, config));
        sim.calls.clear();
        return controller;
    }

    SimProcess sim;
    sim::SimDisplays displayConfig;
    DisplayManager displays{displayConfig};
    Config config;
    LayoutStore layouts;
    sim::SimWindows windowSystem{displayConfig};
    WindowPlacement placement{windowSystem, displays};
    ActionBus bus{displays, placement, layouts, config};
    sim::SimDebugOutput debug;

private:
    DebugOutput* previousOutput_ = nullptr;
};

TEST_F(TrayControllerTest, CreatesAHiddenTopLevelControllerWindow) {
    TrayController controller(sim);

    ASSERT_TRUE(controller.create(kInstance, bus, displays, config));

    EXPECT_EQ(sim.calls, (std::vector<std::string>{
                             "RegisterWindowMessageW(Quorvane_ShowFlyout)",
                             "RegisterClassExW(QuorvaneTray, icon 101)",
                             // WS_EX_TOOLWINDOW, WS_POPUP: a top-level pop-up that is never shown,
                             // so the broadcast show-flyout message reaches it.
                             "CreateWindowExW(0x80, QuorvaneTray, Quorvane, 0x80000000)",
                         }));
    ASSERT_EQ(sim.windows.size(), 1u);
    EXPECT_EQ(sim.windows.begin()->first, controller.window());
    EXPECT_EQ(sim.windows.begin()->second.instance, kInstance);
    EXPECT_EQ(controller.showFlyoutMessage(), sim.messageId("Quorvane_ShowFlyout"));
}

TEST_F(TrayControllerTest, WindowFailureIsLoggedAndReported) {
    sim.windowCreationFails = true;
    {
        TrayController controller(sim);
        EXPECT_FALSE(controller.create(kInstance, bus, displays, config));
        EXPECT_EQ(controller.window(), 0u);
        EXPECT_TRUE(debug.contains("ERR", "TrayController: CreateWindowEx failed"));
    }
    EXPECT_EQ(std::count(sim.calls.begin(), sim.calls.end(), "DestroyWindow"), 0);
}

TEST_F(TrayControllerTest, AnswersItsMessages) {
    struct Case {
        const char* name;
        std::string registered;  // registered message name, or empty to use `message`
        uint32_t message;
        uint64_t wParam;
        int64_t result;
        std::vector<std::string> calls;
    };
    // The quit message's id is asked for once, with the first message that
    // is not the show-flyout message.
    const std::string quitId = "RegisterWindowMessageW(Quorvane_Quit)";
    const std::vector<Case> cases = {
        {"quit message", "Quorvane_Quit", 0, 0, 0, {quitId, "PostQuitMessage(0)"}},
        {"show-flyout message opens at the cursor", "Quorvane_ShowFlyout", 0, 0, 0, {"GetCursorPos"}},
        {"WM_CLOSE", "", 0x0010, 0, 0, {quitId, "PostQuitMessage(0)"}},
        {"WM_QUERYENDSESSION agrees", "", 0x0011, 0, 1, {quitId}},
        {"WM_ENDSESSION, session ends", "", 0x0016, 1, 0, {quitId, "PostQuitMessage(0)"}},
        {"WM_ENDSESSION, session goes on", "", 0x0016, 0, 0, {quitId}},
        {"anything else", "", 0x001A /* WM_SETTINGCHANGE */, 0, 0, {quitId, "DefWindowProcW(0x001a)"}},
        {"WM_NULL", "", 0x0000, 0, 0, {quitId, "DefWindowProcW(0x0000)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim = SimProcess();
        auto controller = created();
        const uint32_t message = c.registered.empty() ? c.message : sim.messageId(c.registered);

        EXPECT_EQ(controller->onMessage(controller->window(), message, c.wParam, 0), c.result);

        EXPECT_EQ(sim.calls, c.calls);
        EXPECT_NE(controller->window(), 0u);
    }
}

TEST_F(TrayControllerTest, QuitMessageIdIsAskedForOnce) {
    auto controller = created();
    const uint32_t quit = sim.messageId("Quorvane_Quit");
    controller->onMessage(controller->window(), quit, 0, 0);
    controller->onMessage(controller->window(), quit, 0, 0);
    EXPECT_EQ(std::count(sim.calls.begin(), sim.calls.end(), "RegisterWindowMessageW(Quorvane_Quit)"), 1);
    EXPECT_EQ(std::count(sim.calls.begin(), sim.calls.end(), "PostQuitMessage(0)"), 2);
}

TEST_F(TrayControllerTest, UnregisteredMessagesNeverMatchWmNull) {
    // When registration fails the id is 0; WM_NULL (0) must still only reach
    // the default procedure, not quit the program or open the flyout.
    sim.failingRegistrations = {"Quorvane_Quit", "Quorvane_ShowFlyout"};
    auto controller = created();

    EXPECT_EQ(controller->onMessage(controller->window(), 0x0000, 0, 0), 0);

    EXPECT_EQ(sim.calls,
              (std::vector<std::string>{"RegisterWindowMessageW(Quorvane_Quit)", "DefWindowProcW(0x0000)"}));
}

TEST_F(TrayControllerTest, DestroyedWindowIsForgottenAndNotDestroyedAgain) {
    {
        auto controller = created();
        controller->onMessage(controller->window(), 0x0002 /* WM_DESTROY */, 0, 0);
        EXPECT_EQ(controller->window(), 0u);
    }
    EXPECT_EQ(std::count(sim.calls.begin(), sim.calls.end(), "DestroyWindow"), 0);
}

TEST_F(TrayControllerTest, DestroyingTheControllerDestroysItsWindow) {
    {
        auto controller = created();
    }
    EXPECT_EQ(std::count(sim.calls.begin(), sim.calls.end(), "DestroyWindow"), 1);
    EXPECT_TRUE(sim.windows.empty());
}

} // namespace
} // namespace qv
