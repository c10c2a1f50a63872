// The preview's capture engine over a simulated GPU: what start reports for
// each failing step, how a busy or lost duplication is retried without a
// word in the log, how a change of the desktop's size and of the window's
// size are followed, and where the image goes inside the window.
#include "capture/CaptureEngine.h"

#include "base/LogTesting.h"
#include "sim/SimCapture.h"
#include "sim/SimDebugOutput.h"
#include "sim/SimPreviewGpu.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qv {
namespace {

using Calls = std::vector<std::string>;
using Step = PreviewGpu::SetupStep;
using DupStep = PreviewGpu::DuplicationStep;

const std::string kDisplay = "\\\\.\\DISPLAY1";
constexpr WindowHandle kWindow = 0x5150;
constexpr uint32_t kAccessDenied = 0x80070005;
constexpr uint32_t kNotCurrentlyAvailable = 0x887A0022;

class CaptureEngineTest : public ::testing::Test {
protected:
    CaptureEngineTest() {
        auto owned = std::make_unique<sim::SimPreviewGpu>();
        gpu = owned.get();
        engine = std::make_unique<CaptureEngine>(std::move(owned), clock);
    }
    void SetUp() override { log::resetForTests(); }

    void screen(const std::function<void(sim::SimPreviewScreen&)>& change) { gpu->change(change); }
    // Starts on the display and forgets the start's calls.
    void started() {
        ASSERT_TRUE(engine->start(kWindow, kDisplay));
        gpu->clearCalls();
    }
    // One pass; its calls.
    Calls pass(bool expected = true) {
        gpu->clearCalls();
        EXPECT_EQ(engine->renderFrame(), expected);
        return gpu->calls();
    }
    void framesArrive(int n = 1) {
        screen([n](sim::SimPreviewScreen& s) { s.pendingFrames += n; });
    }
    std::vector<std::string> errors() const {
        std::vector<std::string> found;
        for (const std::string& line : debug.lines())
            if (line.rfind("[Quorvane][ERR]", 0) == 0 || line.rfind("[Quorvane][WRN]", 0) == 0) found.push_back(line);
        return found;
    }

    sim::CapturedLog debug;
    // Acquires and presents take no time on it; only the engine's own waits move it.
    sim::SimCaptureClock clock;
    sim::SimPreviewGpu* gpu = nullptr;
    std::unique_ptr<CaptureEngine> engine;
};

TEST_F(CaptureEngineTest, StartsCapturingAndDrawsEachNewFrameFittedToTheWindow) {
    ASSERT_TRUE(engine->start(kWindow, kDisplay));
    EXPECT_EQ(gpu->calls(), (Calls{"setup \\\\.\\DISPLAY1 1280x720", "duplicate"}));
    EXPECT_EQ(engine->state(), CaptureEngine::Capturing);
    EXPECT_EQ(engine->frameWidth(), 1920u);
    EXPECT_EQ(engine->frameHeight(), 1080u);

    framesArrive();
    EXPECT_EQ(pass(), (Calls{"acquire", "copy", "releaseFrame", "clear", "draw 0,0 1280x720", "present"}));
    // No new frame: the last one is drawn again.
    EXPECT_EQ(pass(), (Calls{"acquire", "clear", "draw 0,0 1280x720", "present"}));
    EXPECT_EQ(engine->state(), CaptureEngine::Capturing);
    EXPECT_TRUE(errors().empty());

    engine->stop();
    EXPECT_EQ(engine->state(), CaptureEngine::Stopped);
    EXPECT_FALSE(gpu->screen().device);
    EXPECT_FALSE(engine->renderFrame());
    engine->stop();
    EXPECT_EQ(gpu->count("release"), 1);
}

TEST_F(CaptureEngineTest, EachFailingStartStepIsReportedWithItsCodeAndLogged) {
    struct Case {
        Step setupStep;
        DupStep duplicationStep;
        uint32_t code;
        const char* status;
    };
    const Case cases[] = {
        {Step::Factory, DupStep::DuplicateOutput, 0x80004002, "CreateDXGIFactory1 failed 0x80004002"},
        {Step::Output1, DupStep::DuplicateOutput, 0x80004002, "QI IDXGIOutput1 0x80004002"},
        {Step::Device, DupStep::DuplicateOutput, 0x887A0004, "D3D11CreateDevice failed 0x887A0004"},
        {Step::SwapChain, DupStep::DuplicateOutput, 0x80070057, "CreateSwapChainForHwnd 0x80070057"},
        {Step::BackBuffer, DupStep::DuplicateOutput, 0x887A0001, "GetBuffer 0x887A0001"},
        {Step::RenderTargetView, DupStep::DuplicateOutput, 0x8007000E, "CreateRenderTargetView 0x8007000E"},
        {Step::VertexShader, DupStep::DuplicateOutput, 0x80004005, "VS compile 0x80004005"},
        // Eight digits even for a small code.
        {Step::PixelShader, DupStep::DuplicateOutput, 0x0000000E, "PS compile 0x0000000E"},
        {Step::None, DupStep::DuplicateOutput, 0x80004001, "DuplicateOutput failed 0x80004001"},
        {Step::None, DupStep::SampleTexture, 0x8007000E, "CreateTexture2D(sample) 0x8007000E"},
        {Step::None, DupStep::ResourceView, 0x80070057, "CreateSRV 0x80070057"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        auto owned = std::make_unique<sim::SimPreviewGpu>();
        sim::SimPreviewGpu& g = *owned;
        CaptureEngine e(std::move(owned), clock);
        g.change([&](sim::SimPreviewScreen& s) {
            s.setupFailure = c.setupStep;
            s.setupCode = c.setupStep != Step::None ? c.code : 0;
            s.duplicationFailure = c.duplicationStep;
            s.duplicationCode = c.setupStep == Step::None ? c.code : 0;
        });
        debug.clear();

        EXPECT_FALSE(e.start(kWindow, kDisplay));
        EXPECT_EQ(e.state(), CaptureEngine::Failed);
        EXPECT_EQ(e.status(), c.status);
        EXPECT_EQ(errors(), (Calls{std::string("[Quorvane][ERR] CaptureEngine: ") + c.status + "\n"}));
        // Failed is final: no pass touches the GPU until stop.
        g.clearCalls();
        EXPECT_FALSE(e.renderFrame());
        EXPECT_TRUE(g.calls().empty());
        e.stop();
        EXPECT_EQ(g.calls(), (Calls{"release"}));
        EXPECT_EQ(e.state(), CaptureEngine::Stopped);
    }
}

TEST_F(CaptureEngineTest, AnUnknownDisplayIsNotFoundWithoutACode) {
    EXPECT_FALSE(engine->start(kWindow, "\\\\.\\DISPLAY2"));
    EXPECT_EQ(engine->state(), CaptureEngine::Failed);
    EXPECT_EQ(engine->status(), "Monitor output not found for preview");
    EXPECT_EQ(errors(), (Calls{"[Quorvane][ERR] CaptureEngine: Monitor output not found for preview\n"}));
}

TEST_F(CaptureEngineTest, ABusyOutputIsRetriedEveryPassSilentlyUntilItCanBeDuplicated) {
    for (const uint32_t code : {kAccessDenied, kNotCurrentlyAvailable}) {
        SCOPED_TRACE(code);
        engine->stop();
        debug.clear();
        screen([code](sim::SimPreviewScreen& s) {
            s.busyDuplications = 3;
            s.busyCode = code;
        });

        ASSERT_TRUE(engine->start(kWindow, kDisplay));
        EXPECT_EQ(engine->state(), CaptureEngine::Unavailable);
        EXPECT_EQ(engine->status(), code == kAccessDenied ? "Output busy/unavailable (0x80070005)"
                                                          : "Output busy/unavailable (0x887A0022)");
        // Black until there is an image; tried again on every pass.
        EXPECT_EQ(pass(), (Calls{"duplicate", "clear", "present"}));
        EXPECT_EQ(pass(), (Calls{"duplicate", "clear", "present"}));
        EXPECT_EQ(engine->state(), CaptureEngine::Unavailable);

        framesArrive();
        EXPECT_EQ(pass(), (Calls{"duplicate", "acquire", "copy", "releaseFrame", "clear", "draw 0,0 1280x720",
                                 "present"}));
        EXPECT_EQ(engine->state(), CaptureEngine::Capturing);
        EXPECT_TRUE(debug.lines().empty());
    }
}

// A pass is paced by the acquire's time-out and Present's vertical blank.
// When neither waits (no duplication on a locked workstation, an occluded
// window whose Present returns at once) the engine waits out the rest of 15
// ms itself: a preview left open all night must not spin a core.
TEST_F(CaptureEngineTest, PassesThatNothingPacesTakeFifteenMilliseconds) {
    struct Case {
        const char* what;
        std::function<void(sim::SimPreviewScreen&)> screen;
        bool resized; // the window was resized after the start
        uint64_t waitedMs; // per pass, over ten passes
    };
    const Case cases[] = {
        {"capturing, shown", [](sim::SimPreviewScreen& s) { s.pendingFrames = 10; }, false, 0},
        {"no new frame (the acquire waited)", [](sim::SimPreviewScreen&) {}, false, 0},
        {"duplication refused all along", [](sim::SimPreviewScreen& s) { s.busyDuplications = -1; }, false, 15},
        {"occluded window, frames arriving",
         [](sim::SimPreviewScreen& s) {
             s.occluded = true;
             s.pendingFrames = 10;
         },
         false, 15},
        {"no render target left to present to",
         [](sim::SimPreviewScreen& s) {
             s.pendingFrames = 10;
             s.resizeFails = true;
         },
         true, 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        engine->stop();
        screen([](sim::SimPreviewScreen& s) { s = sim::SimPreviewScreen(); });
        screen(c.screen);
        ASSERT_TRUE(engine->start(kWindow, kDisplay));
        if (c.resized) engine->requestResize(800, 600);

        const uint64_t before = clock.tickMs();
        for (int i = 0; i < 10; ++i) ASSERT_TRUE(engine->renderFrame());
        EXPECT_EQ(clock.tickMs() - before, 10 * c.waitedMs);
    }
}

TEST_F(CaptureEngineTest, LostAccessIsRecreatedOnTheNextPassAndTheLastImageStaysMeanwhile) {
    started();
    framesArrive();
    pass();
    screen([](sim::SimPreviewScreen& s) {
        s.loseAccess = true;
        s.busyDuplications = 2; // a secure desktop for two passes
    });

    EXPECT_EQ(pass(), (Calls{"acquire", "releaseDuplication", "clear", "draw 0,0 1280x720", "present"}));
    EXPECT_EQ(engine->state(), CaptureEngine::Unavailable);
    EXPECT_EQ(pass(), (Calls{"duplicate", "clear", "draw 0,0 1280x720", "present"}));
    EXPECT_EQ(pass(), (Calls{"duplicate", "clear", "draw 0,0 1280x720", "present"}));
    framesArrive();
    EXPECT_EQ(pass(), (Calls{"duplicate", "acquire", "copy", "releaseFrame", "clear", "draw 0,0 1280x720",
                             "present"}));
    EXPECT_EQ(engine->state(), CaptureEngine::Capturing);
    EXPECT_TRUE(debug.lines().empty());
}

TEST_F(CaptureEngineTest, AFrameOfAnotherSizeRecreatesTheDuplicationAtTheNewSize) {
    started();
    framesArrive();
    pass();
    screen([](sim::SimPreviewScreen& s) {
        s.width = 1280;
        s.height = 1024;
        s.pendingFrames = 2;
    });

    // The frame goes back before its duplication is released; nothing is copied.
    EXPECT_EQ(pass(), (Calls{"acquire", "releaseFrame", "releaseDuplication", "clear", "draw 0,0 1280x720",
                             "present"}));
    EXPECT_EQ(engine->state(), CaptureEngine::Unavailable);
    EXPECT_EQ(engine->frameWidth(), 1920u);

    // 5:4 in a 16:9 window: bars left and right.
    EXPECT_EQ(pass(), (Calls{"duplicate", "acquire", "copy", "releaseFrame", "clear", "draw 190,0 900x720",
                             "present"}));
    EXPECT_EQ(engine->frameWidth(), 1280u);
    EXPECT_EQ(engine->frameHeight(), 1024u);
    EXPECT_EQ(engine->state(), CaptureEngine::Capturing);
}

TEST_F(CaptureEngineTest, AFailingAcquireIsFinal) {
    started();
    screen([](sim::SimPreviewScreen& s) { s.acquireCode = 0x887A0005; });
    EXPECT_EQ(pass(false), (Calls{"acquire"}));
    EXPECT_EQ(engine->state(), CaptureEngine::Failed);
    EXPECT_EQ(engine->status(), "AcquireNextFrame 0x887A0005");
    EXPECT_EQ(errors(), (Calls{"[Quorvane][ERR] CaptureEngine: AcquireNextFrame 0x887A0005\n"}));
    EXPECT_EQ(pass(false), Calls{});
}

TEST_F(CaptureEngineTest, ResizingIgnoresZeroSizesAndResizesOnceForANewSize) {
    engine->requestResize(800, 600); // before start: nothing to resize
    started();
    const Calls unchanged{"acquire", "clear", "draw 0,0 1280x720", "present"};
    EXPECT_EQ(pass(), unchanged);

    engine->requestResize(0, 0); // minimised
    engine->requestResize(0, 500);
    engine->requestResize(900, 0);
    EXPECT_EQ(pass(), unchanged);

    engine->requestResize(1280, 720); // the size it has
    EXPECT_EQ(pass(), unchanged);

    engine->requestResize(900, 700);
    engine->requestResize(800, 600); // the last request wins
    EXPECT_EQ(pass(), (Calls{"releaseRenderTarget", "resize 800x600", "createRenderTarget", "acquire", "clear",
                             "draw 0,75 800x450", "present"}));
    EXPECT_EQ(pass(), (Calls{"acquire", "clear", "draw 0,75 800x450", "present"}));
}

TEST_F(CaptureEngineTest, AFailedResizeLeavesNothingToDrawUntilTheNextSizeWorks) {
    started();
    screen([](sim::SimPreviewScreen& s) { s.resizeFails = true; });
    engine->requestResize(800, 600);
    framesArrive();
    // The frame is still taken; nothing is drawn or presented.
    EXPECT_EQ(pass(), (Calls{"releaseRenderTarget", "resize 800x600", "acquire", "copy", "releaseFrame"}));
    EXPECT_EQ(pass(), (Calls{"acquire"}));
    EXPECT_TRUE(errors().empty());

    screen([](sim::SimPreviewScreen& s) { s.resizeFails = false; });
    engine->requestResize(800, 600);
    EXPECT_EQ(pass(), (Calls{"releaseRenderTarget", "resize 800x600", "createRenderTarget", "acquire", "clear",
                             "draw 0,75 800x450", "present"}));
}

TEST_F(CaptureEngineTest, AnEmptyClientAreaGetsTheDefaultSwapChainSize) {
    struct Case {
        uint32_t width, height;
        const char* setup;
    };
    const Case cases[] = {
        {0, 0, "setup \\\\.\\DISPLAY1 640x360"},
        {0, 500, "setup \\\\.\\DISPLAY1 640x500"},
        {500, 0, "setup \\\\.\\DISPLAY1 500x360"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setup);
        engine->stop();
        gpu->clearCalls();
        screen([&](sim::SimPreviewScreen& s) {
            s.clientWidth = c.width;
            s.clientHeight = c.height;
        });
        ASSERT_TRUE(engine->start(kWindow, kDisplay));
        EXPECT_EQ(gpu->calls().front(), c.setup);
    }
    // The image then fits the default size.
    framesArrive();
    EXPECT_EQ(pass().at(4), "draw 0,39.375 500x281.25");
}

// A display turned with "Rotate 90°" delivers its frames as the panel shows
// them; the preview turns them upright on the GPU and fits the upright size.
TEST_F(CaptureEngineTest, ATurnedDisplayIsDrawnUprightAndFittedByItsUprightSize) {
    struct Case {
        uint32_t rotation; // as DXGI_OUTDUPL_DESC.Rotation reports it
        const char* draw;  // a 1920 x 1080 frame in the 1280 x 720 window
    };
    const Case cases[] = {
        {sim::dxgi_rotation::kIdentity, "draw 0,0 1280x720"},
        {sim::dxgi_rotation::kUnspecified, "draw 0,0 1280x720"},
        // Portrait: bars left and right; the desktop's top-left corner is the
        // frame's bottom-left one.
        {sim::dxgi_rotation::kRotate90, "draw 437.5,0 405x720 uv 0,1 0,0 1,1 1,0"},
        {sim::dxgi_rotation::kRotate180, "draw 0,0 1280x720 uv 1,1 0,1 1,0 0,0"},
        {sim::dxgi_rotation::kRotate270, "draw 437.5,0 405x720 uv 1,0 1,1 0,0 0,1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.draw);
        engine->stop();
        screen([&](sim::SimPreviewScreen& s) { s.rotation = c.rotation; });
        started();
        framesArrive();
        EXPECT_EQ(pass(), (Calls{"acquire", "copy", "releaseFrame", "clear", c.draw, "present"}));
        EXPECT_EQ(engine->frameWidth(), 1920u) << "the frames' own size";
        EXPECT_EQ(engine->frameHeight(), 1080u);
    }
}

TEST(CaptureEngineQuad, EachCornerShowsTheFramePointThatTurnsUpright) {
    struct Case {
        uint32_t rotation;
        std::array<PreviewVertex, 4> corners; // top left, top right, bottom left, bottom right
    };
    const Case cases[] = {
        {sim::dxgi_rotation::kIdentity, {{{-1, 1, 0, 0}, {1, 1, 1, 0}, {-1, -1, 0, 1}, {1, -1, 1, 1}}}},
        {sim::dxgi_rotation::kRotate90, {{{-1, 1, 0, 1}, {1, 1, 0, 0}, {-1, -1, 1, 1}, {1, -1, 1, 0}}}},
        {sim::dxgi_rotation::kRotate180, {{{-1, 1, 1, 1}, {1, 1, 0, 1}, {-1, -1, 1, 0}, {1, -1, 0, 0}}}},
        {sim::dxgi_rotation::kRotate270, {{{-1, 1, 1, 0}, {1, 1, 1, 1}, {-1, -1, 0, 0}, {1, -1, 0, 1}}}},
        {sim::dxgi_rotation::kUnspecified, {{{-1, 1, 0, 0}, {1, 1, 1, 0}, {-1, -1, 0, 1}, {1, -1, 1, 1}}}},
        {9, {{{-1, 1, 0, 0}, {1, 1, 1, 0}, {-1, -1, 0, 1}, {1, -1, 1, 1}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rotation);
        EXPECT_EQ(CaptureEngine::quad(static_cast<recorder::Rotation>(c.rotation)), c.corners);
    }
}

TEST(CaptureEngineLetterbox, TheImageFillsOneSideAndIsCentredOnTheOther) {
    struct Case {
        const char* what;
        uint32_t windowWidth, windowHeight, frameWidth, frameHeight;
        PreviewViewport expected;
    };
    const Case cases[] = {
        {"4:1 window, 16:9 display: bars left and right", 1600, 400, 1920, 1080,
         {(1600.0f - 400.0f * 16 / 9) / 2, 0, 400.0f * 16 / 9, 400}},
        {"tall window: bars above and below", 400, 1000, 1920, 1080, {0, 387.5f, 400, 225}},
        {"same aspect: the whole window", 1280, 720, 3840, 2160, {0, 0, 1280, 720}},
        {"portrait display in a landscape window", 1000, 500, 1080, 1920, {359.375f, 0, 281.25f, 500}},
        {"no frame yet", 1280, 720, 0, 0, {}},
        {"no window", 0, 0, 1920, 1080, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const PreviewViewport v = CaptureEngine::letterbox(c.windowWidth, c.windowHeight, c.frameWidth, c.frameHeight);
        EXPECT_FLOAT_EQ(v.x, c.expected.x);
        EXPECT_FLOAT_EQ(v.y, c.expected.y);
        EXPECT_FLOAT_EQ(v.width, c.expected.width);
        EXPECT_FLOAT_EQ(v.height, c.expected.height);
    }
}

} // namespace
} // namespace qv
