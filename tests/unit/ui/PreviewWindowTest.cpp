// The live preview window over a simulated window and GPU: how it is
// created, what its render thread puts in the caption, how closing stops that
// thread without waiting on it, and what the keys, the menu and the close
// button do.
#include "ui/PreviewWindow.h"

#include "base/LogTesting.h"
#include "sim/SimCapture.h"
#include "sim/SimDebugOutput.h"
#include "sim/SimPreviewGpu.h"
#include "sim/SimPreviewSurface.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace qv {
namespace {

using Calls = std::vector<std::string>;
using W = PreviewWindow;

const std::string kName = "DELL U2720Q";
const std::string kDisplay = "\\\\.\\DISPLAY1";
const std::string kDash = " \xE2\x80\x94 ";

// Threads of this process right now.
int threadCount() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
}

class PreviewWindowTest : public ::testing::Test {
protected:
    PreviewWindowTest() {
        auto ownedSurface = std::make_unique<sim::SimPreviewSurface>();
        auto ownedGpu = std::make_unique<sim::SimPreviewGpu>();
        surface = ownedSurface.get();
        gpu = ownedGpu.get();
        window = std::make_unique<PreviewWindow>(std::move(ownedSurface), std::move(ownedGpu), clock);
    }
    void SetUp() override { log::resetForTests(); }
    void TearDown() override { window.reset(); }

    // Waits for the render thread's next caption and lets the window take it.
    std::string nextCaption(int total) {
        EXPECT_TRUE(surface->waitForCaptionPosts(total));
        surface->deliver();
        return surface->caption;
    }

    sim::CapturedLog debug;
    sim::SimCaptureClock clock;
    sim::SimPreviewSurface* surface = nullptr;
    sim::SimPreviewGpu* gpu = nullptr;
    std::unique_ptr<PreviewWindow> window;
};

TEST_F(PreviewWindowTest, CreatesAShownWindowWithItsCloseButtonAndStartsRendering) {
    ASSERT_TRUE(window->create(kName, kDisplay));
    EXPECT_EQ(surface->calls, (Calls{"create QuorvanePreview", "button", "place 598,10 96x30", "show"}));
    EXPECT_EQ(surface->windowClass.className, "QuorvanePreview");
    EXPECT_EQ(surface->windowClass.title, kName);
    EXPECT_EQ(surface->windowClass.style, 0x02CF0000u); // WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN
    EXPECT_EQ(surface->windowClass.width, 720);
    EXPECT_EQ(surface->windowClass.height, 440);
    EXPECT_EQ(surface->windowClass.iconResource, 101);
    EXPECT_EQ(surface->button.caption, "\xE2\x9C\x95 Close");
    EXPECT_EQ(surface->button.id, 3u);
    EXPECT_EQ(surface->button.fontHeight, -14);
    EXPECT_EQ(surface->button.fontWeight, 400);
    EXPECT_FALSE(window->isClosed());

    // The engine runs on the window's display, in the window.
    ASSERT_TRUE(gpu->waitForCall("present", 3));
    EXPECT_EQ(gpu->calls().front(), "setup \\\\.\\DISPLAY1 1280x720");
    EXPECT_TRUE(debug.lines().empty());
}

TEST_F(PreviewWindowTest, AWindowThatCannotBeCreatedIsLoggedAndStartsNothing) {
    const int threadsBefore = threadCount();
    surface->failCreate = true;
    EXPECT_FALSE(window->create(kName, kDisplay));
    EXPECT_EQ(debug.lines(), (Calls{"[Quorvane][ERR] PreviewWindow: CreateWindowEx failed\n"}));
    EXPECT_TRUE(window->isClosed());
    EXPECT_EQ(threadCount(), threadsBefore);
    EXPECT_TRUE(gpu->calls().empty());
    window->close();
    EXPECT_EQ(surface->count("destroy"), 0);
}

TEST_F(PreviewWindowTest, TheCaptionShowsTheDisplaysSizeAndFollowsAResolutionChange) {
    gpu->change([](sim::SimPreviewScreen& s) { s.pendingFrames = 1; });
    ASSERT_TRUE(window->create(kName, kDisplay));
    EXPECT_EQ(nextCaption(1), kName + kDash + "1920x1080");

    gpu->change([](sim::SimPreviewScreen& s) {
        s.width = 2560;
        s.height = 1440;
        s.pendingFrames = 1;
    });
    EXPECT_EQ(nextCaption(2), kName + kDash + "2560x1440");
    EXPECT_EQ(surface->count("caption " + kName + kDash + "2560x1440"), 1);

    // Turned with "Rotate 90°": the same frames, the desktop upright on them.
    gpu->change([](sim::SimPreviewScreen& s) {
        s.rotation = sim::dxgi_rotation::kRotate90;
        s.loseAccess = true;
        s.pendingFrames = 1;
    });
    EXPECT_EQ(nextCaption(3), kName + kDash + "1440x2560");
}

TEST_F(PreviewWindowTest, AFailedStartLeavesTheWindowOpenAndSaysWhy) {
    const int threadsBefore = threadCount();
    ASSERT_TRUE(window->create(kName, "\\\\.\\DISPLAY7")); // unplugged since it was listed
    EXPECT_EQ(nextCaption(1), kName + kDash + "preview unavailable");
    ASSERT_TRUE(gpu->waitForCall("release"));
    EXPECT_TRUE(debug.contains("WRN", "Preview unavailable: Monitor output not found for preview"));
    EXPECT_FALSE(window->isClosed());
    EXPECT_TRUE(surface->created);

    window->close();
    EXPECT_TRUE(window->isClosed());
    EXPECT_EQ(threadCount(), threadsBefore);
}

TEST_F(PreviewWindowTest, AnEngineFailureEndsRenderingAndKeepsTheLastCaption) {
    ASSERT_TRUE(window->create(kName, kDisplay));
    EXPECT_EQ(nextCaption(1), kName + kDash + "1920x1080");
    gpu->change([](sim::SimPreviewScreen& s) { s.acquireCode = 0x887A0005; });
    ASSERT_TRUE(gpu->waitForCall("release"));
    EXPECT_TRUE(debug.contains("ERR", "CaptureEngine: AcquireNextFrame 0x887A0005"));
    surface->deliver();
    EXPECT_EQ(surface->caption, kName + kDash + "1920x1080");
    EXPECT_FALSE(window->isClosed());
}

TEST_F(PreviewWindowTest, ANewClientSizeMovesTheButtonAndResizesTheImageOnce) {
    ASSERT_TRUE(window->create(kName, kDisplay));
    ASSERT_TRUE(gpu->waitForCall("present"));
    window->onSize(0, 0); // minimised: the engine ignores it
    window->onSize(800, 600);
    EXPECT_EQ(surface->buttonPlace, (PreviewButtonPlace{694, 10, 96, 30}));
    ASSERT_TRUE(gpu->waitForCall("resize 800x600"));
    const int presents = gpu->count("present");
    ASSERT_TRUE(gpu->waitForCall("present", presents + 3));
    EXPECT_EQ(gpu->count("resize 800x600"), 1);
}

TEST_F(PreviewWindowTest, ClosingStopsTheRenderThreadThenDestroysTheWindow) {
    const int threadsBefore = threadCount();
    ASSERT_TRUE(window->create(kName, kDisplay));
    // Captions are posted while nobody pumps messages: the render thread
    // must not wait for the user-interface thread that is about to join it.
    ASSERT_TRUE(surface->waitForCaptionPosts(1));
    window->close();
    EXPECT_TRUE(window->isClosed());
    EXPECT_EQ(threadCount(), threadsBefore);
    EXPECT_EQ(gpu->calls().back(), "release");
    EXPECT_EQ(surface->calls.back(), "destroy");
    // The posted caption went to a window that no longer exists.
    surface->deliver();
    EXPECT_EQ(surface->caption, kName);
    window->close();
    EXPECT_EQ(surface->count("destroy"), 1);
}

TEST_F(PreviewWindowTest, DestroyingAnOpenWindowStopsItsThread) {
    const int threadsBefore = threadCount();
    ASSERT_TRUE(window->create(kName, kDisplay));
    ASSERT_TRUE(gpu->waitForCall("present"));
    window.reset();
    EXPECT_EQ(threadCount(), threadsBefore);
}

TEST_F(PreviewWindowTest, KeysToggleTopmostAndTheFrameAndEscapeCloses) {
    ASSERT_TRUE(window->create(kName, kDisplay));
    surface->calls.clear();
    for (const uint32_t key : {uint32_t{'T'}, uint32_t{'B'}, uint32_t{'B'}, uint32_t{'T'}, uint32_t{'X'},
                               uint32_t{0x0D}})
        window->onKey(key);
    EXPECT_EQ(surface->calls, (Calls{"topmost 1", "framed 0", "framed 1", "topmost 0"}));

    window->onKey(0x1B);
    EXPECT_EQ(surface->calls.back(), "postClose");
    EXPECT_FALSE(window->isClosed());
    surface->deliver(); // WM_CLOSE
    EXPECT_TRUE(window->isClosed());
    EXPECT_FALSE(surface->created);
}

TEST_F(PreviewWindowTest, TheMenuShowsTheStateAndItsCommandsToggleOrClose) {
    ASSERT_TRUE(window->create(kName, kDisplay));
    auto item = [](const char* text, uint32_t command, bool checked) {
        MenuEntry e;
        e.text = text;
        e.command = command;
        e.checked = checked;
        return e;
    };
    MenuEntry separator;
    separator.separator = true;
    auto menu = [&](bool topmost, bool hidden) {
        return std::vector<MenuEntry>{item("Always on top", 1, topmost), item("Hide title bar", 2, hidden), separator,
                                      item("Close preview", 4, false)};
    };

    surface->menuChoice = 1;
    window->onContextMenu();
    EXPECT_EQ(surface->lastMenu, menu(false, false));
    EXPECT_TRUE(surface->topmost);

    surface->menuChoice = 2;
    window->onContextMenu();
    EXPECT_EQ(surface->lastMenu, menu(true, false));
    EXPECT_FALSE(surface->framed);

    surface->menuChoice = 0; // dismissed
    window->onContextMenu();
    EXPECT_EQ(surface->lastMenu, menu(true, true));
    EXPECT_TRUE(surface->topmost);
    EXPECT_FALSE(surface->framed);

    surface->menuChoice = 4;
    window->onContextMenu();
    EXPECT_EQ(surface->count("postClose"), 1);
    window->onCommand(2); // not the button
    EXPECT_EQ(surface->count("postClose"), 1);
    window->onCommand(3); // the close button
    EXPECT_EQ(surface->count("postClose"), 2);
    surface->deliver();
    EXPECT_TRUE(window->isClosed());
}

TEST(PreviewWindowLook, TheCloseButtonScalesWithTheDpi) {
    struct Case {
        uint32_t dpi;
        int32_t clientWidth;
        PreviewButtonPlace place;
        int32_t fontHeight;
    };
    const Case cases[] = {
        {96, 704, {598, 10, 96, 30}, -14},
        {0, 704, {598, 10, 96, 30}, -14}, // unknown: as 96
        {144, 1000, {1000 - 15 - 144, 15, 144, 45}, -21},
        {120, 800, {800 - 13 - 120, 13, 120, 38}, -17}, // halves round up
        {192, 100, {100 - 20 - 192, 20, 192, 60}, -28}, // narrower than the button
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dpi);
        EXPECT_EQ(W::closeButtonPlace(c.clientWidth, c.dpi), c.place);
        EXPECT_EQ(W::fontHeight(c.dpi), c.fontHeight);
    }
    EXPECT_EQ(W::closeButtonPaint(false, true), (ButtonPaint{0x1C1E26, 0x333744, 0xF3F4F8, false}));
    EXPECT_EQ(W::closeButtonPaint(true, true), (ButtonPaint{0x15161C, 0x333744, 0xF3F4F8, false}));
    EXPECT_EQ(W::closeButtonPaint(false, false), (ButtonPaint{0x1C1E26, 0x333744, 0x979DAD, false}));
}

} // namespace
} // namespace qv
