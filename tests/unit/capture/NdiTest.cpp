// NDI sharing over the simulated runtime library and desktop: where the
// runtime is looked for and when it is refused, what a sender hands the
// runtime, and a streamer's life from start to stop through lost access,
// mode changes and regions.
#include "capture/CaptureActivity.h"
#include "capture/NdiRuntime.h"
#include "capture/NdiStreamer.h"

#include "sim/SimCapture.h"
#include "sim/NdiReference.h"
#include "sim/SimDebugOutput.h"
#include "sim/SimNdi.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace qv {
namespace {

using sim::SimNdiBuild;
using sim::SimNdiLibrary;

constexpr const char* kLib = "Processing.NDI.Lib.x64.dll";
constexpr const char* kNotFound =
    "The NDI 6 runtime was not found. Install the free NDI Runtime (https://ndi.video/tools/), or set "
    "NDI_RUNTIME_DIR_V6 to the folder containing Processing.NDI.Lib.x64.dll.";
constexpr const char* kTooOld =
    "The installed NDI runtime is missing required entry points (too old?). Install the NDI 6 Runtime.";
constexpr const char* kInitializeRefused =
    "NDIlib_initialize() returned false. This CPU may be unsupported (NDI requires SSSE3).";
constexpr const char* kLoadedLine = "NDI runtime loaded and initialized";
constexpr const char* kDisplay = "\\\\.\\DISPLAY1";

// Polls until the condition holds; false after ten seconds.
bool waitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// ---------------------------------------------------------------- the loader

TEST(NdiLoader, LooksInTheVariablesTheProgramFolderThenTheSystemFolders) {
    const std::string units260 = "C:\\" + std::string(257, 'a');
    const std::string units259 = "C:\\" + std::string(256, 'a');
    std::string accented = "C:\\"; // 203 UTF-16 units in 403 bytes
    for (int i = 0; i < 200; ++i) accented += "\xC3\xA9";

    struct Case {
        const char* what;
        std::map<std::string, std::string> environment;
        std::string executableFolder;
        std::vector<std::string> libraries; // full paths holding a complete runtime
        bool systemLibrary;
        std::vector<std::string> attempts;
    };
    const std::string exe = "C:\\Program Files\\Quorvane";
    const Case cases[] = {
        {"folder without a separator", {{"NDI_RUNTIME_DIR_V6", "C:\\NDI"}}, exe, {"C:\\NDI\\Processing.NDI.Lib.x64.dll"},
         false, {"path C:\\NDI\\Processing.NDI.Lib.x64.dll"}},
        {"trailing backslash", {{"NDI_RUNTIME_DIR_V6", "C:\\NDI\\"}}, exe, {"C:\\NDI\\Processing.NDI.Lib.x64.dll"},
         false, {"path C:\\NDI\\Processing.NDI.Lib.x64.dll"}},
        {"trailing slash", {{"NDI_RUNTIME_DIR_V6", "C:/NDI/"}}, exe, {"C:/NDI/Processing.NDI.Lib.x64.dll"}, false,
         {"path C:/NDI/Processing.NDI.Lib.x64.dll"}},
        {"the first that loads wins",
         {{"NDI_RUNTIME_DIR_V6", "C:\\V6"}, {"NDI_RUNTIME_DIR_V5", "C:\\Redist"}},
         exe,
         {"C:\\V6\\Processing.NDI.Lib.x64.dll", "C:\\Redist\\Processing.NDI.Lib.x64.dll"},
         true,
         {"path C:\\V6\\Processing.NDI.Lib.x64.dll"}},
        {"260 units ignored, the search goes on",
         {{"NDI_RUNTIME_DIR_V6", units260}, {"NDI_RUNTIME_DIR_V5", "D:\\Redist\\"}},
         exe,
         {units260 + "\\Processing.NDI.Lib.x64.dll", "D:\\Redist\\Processing.NDI.Lib.x64.dll"},
         false,
         {"path D:\\Redist\\Processing.NDI.Lib.x64.dll"}},
        {"259 units used", {{"NDI_RUNTIME_DIR_V6", units259}}, exe, {units259 + "\\Processing.NDI.Lib.x64.dll"}, false,
         {"path " + units259 + "\\Processing.NDI.Lib.x64.dll"}},
        {"length counted in UTF-16 units, not bytes", {{"NDI_RUNTIME_DIR_V6", accented}}, exe,
         {accented + "\\Processing.NDI.Lib.x64.dll"}, false, {"path " + accented + "\\Processing.NDI.Lib.x64.dll"}},
        {"empty variables skipped",
         {{"NDI_RUNTIME_DIR_V6", ""}, {"NDI_RUNTIME_DIR_V5", ""}},
         exe,
         {exe + "\\Processing.NDI.Lib.x64.dll"},
         false,
         {"path " + exe + "\\Processing.NDI.Lib.x64.dll"}},
        {"variables, program folder, then the bare name",
         {{"NDI_RUNTIME_DIR_V6", "C:\\V6"}, {"NDI_RUNTIME_DIR_V5", "C:\\Redist"}},
         exe,
         {},
         true,
         {"path C:\\V6\\Processing.NDI.Lib.x64.dll", "path C:\\Redist\\Processing.NDI.Lib.x64.dll",
          "path " + exe + "\\Processing.NDI.Lib.x64.dll", "name Processing.NDI.Lib.x64.dll"}},
        {"the SDK's macro name is no variable",
         {{"NDILIB_REDIST_FOLDER", "C:\\Redist"}},
         exe,
         {"C:\\Redist\\Processing.NDI.Lib.x64.dll"},
         true,
         {"path " + exe + "\\Processing.NDI.Lib.x64.dll", "name Processing.NDI.Lib.x64.dll"}},
        {"the program's folder before the system's",
         {},
         exe,
         {exe + "\\Processing.NDI.Lib.x64.dll"},
         true,
         {"path " + exe + "\\Processing.NDI.Lib.x64.dll"}},
        {"no program folder: no path at the drive's root", {}, "", {}, true, {"name Processing.NDI.Lib.x64.dll"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimNdiLibrary library;
        for (const auto& [name, value] : c.environment) library.setEnvironment(name, value);
        library.setExecutableFolder(c.executableFolder);
        for (const std::string& path : c.libraries) library.placeLibrary(path, SimNdiBuild::Complete);
        if (c.systemLibrary) library.placeSystemLibrary(SimNdiBuild::Complete);
        NdiRuntime runtime(library);

        bool missing = true;
        EXPECT_TRUE(runtime.ensureRuntime(&missing));
        EXPECT_FALSE(missing);
        EXPECT_EQ(library.attempts(), c.attempts);
        EXPECT_EQ(library.loadedNow(), c.attempts.back());
    }
}

TEST(NdiLoader, RefusesAMissingTooOldOrUnwillingRuntime) {
    struct Case {
        const char* what;
        bool present;
        SimNdiBuild build;
        bool missing;
        const char* error;
        int unloads;         // a library that loaded is let go again
        int initializeCalls; // only a complete runtime is initialised
    };
    const Case cases[] = {
        {"nothing installed", false, SimNdiBuild::Complete, true, kNotFound, 0, 0},
        {"without NDIlib_send_get_no_connections", true, SimNdiBuild::WithoutConnections, true, kTooOld, 1, 0},
        {"initialisation refused", true, SimNdiBuild::RefusesInitialize, false, kInitializeRefused, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::CapturedLog log;
        SimNdiLibrary library;
        library.setExecutableFolder("C:\\Q");
        if (c.present) library.placeSystemLibrary(c.build);
        NdiRuntime runtime(library);

        bool missing = !c.missing;
        std::string error;
        EXPECT_FALSE(runtime.ensureRuntime(&missing, &error));
        EXPECT_EQ(missing, c.missing);
        EXPECT_EQ(error, c.error);
        EXPECT_FALSE(runtime.loaded());
        EXPECT_EQ(library.loadedNow(), "");
        EXPECT_EQ(library.unloads(), c.unloads);
        EXPECT_EQ(library.initializeCalls(), c.initializeCalls);
        EXPECT_TRUE(log.lines().empty()) << "failures are the caller's to report";

        // Nothing is remembered: the next call searches again.
        EXPECT_FALSE(runtime.ensureRuntime());
        EXPECT_EQ(library.attempts().size(), 4u);
    }
}

TEST(NdiLoader, ARetryAfterAFailureLoadsTheRuntimeWhichThenStays) {
    sim::CapturedLog log;
    SimNdiLibrary library;
    library.setEnvironment("NDI_RUNTIME_DIR_V6", "C:\\NDI");
    library.setExecutableFolder("C:\\Q");
    library.placeLibrary("C:\\NDI\\Processing.NDI.Lib.x64.dll", SimNdiBuild::WithoutConnections);
    NdiRuntime runtime(library);

    bool missing = false;
    EXPECT_FALSE(runtime.ensureRuntime(&missing));
    EXPECT_TRUE(missing);

    // The user installs a current runtime in the same folder.
    library.placeLibrary("C:\\NDI\\Processing.NDI.Lib.x64.dll", SimNdiBuild::Complete);
    std::string error = "untouched";
    EXPECT_TRUE(runtime.ensureRuntime(&missing, &error));
    EXPECT_FALSE(missing);
    EXPECT_EQ(error, "untouched");
    EXPECT_TRUE(runtime.loaded());
    EXPECT_TRUE(log.contains("INF", kLoadedLine));

    // Later calls neither search, initialise, log nor unload.
    const size_t attempts = library.attempts().size();
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(runtime.ensureRuntime(&missing, &error));
    EXPECT_EQ(library.attempts().size(), attempts);
    EXPECT_EQ(library.initializeCalls(), 1);
    EXPECT_EQ(library.unloads(), 1) << "only the old runtime was let go";
    EXPECT_EQ(library.loadedNow(), "path C:\\NDI\\Processing.NDI.Lib.x64.dll");
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(library.connectionQueries(), 0) << "required to be there, never called";
}

TEST(NdiLoader, CallersOnManyThreadsShareOneLoad) {
    SimNdiLibrary library;
    library.placeSystemLibrary(SimNdiBuild::Complete);
    NdiRuntime runtime(library);
    std::vector<std::thread> threads;
    std::atomic<int> loaded{0};
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&] {
            if (runtime.ensureRuntime()) ++loaded;
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(loaded.load(), 4);
    EXPECT_EQ(library.attempts().size(), 1u);
    EXPECT_EQ(library.initializeCalls(), 1);
}

// ---------------------------------------------------------------- the sender

class NdiSenderTest : public ::testing::Test {
protected:
    NdiSenderTest() { library.placeSystemLibrary(SimNdiBuild::Complete); }

    SimNdiLibrary library;
    NdiRuntime runtime{library};
};

TEST_F(NdiSenderTest, MakesOneSenderWithTheVideoClockAndDestroysIt) {
    {
        NdiSender sender(runtime);
        ASSERT_TRUE(sender.createSender("Quorvane - Studio"));
        EXPECT_TRUE(sender.createSender("Another name")) << "a sender exists already";
        const auto creates = library.creates();
        ASSERT_EQ(creates.size(), 1u);
        EXPECT_EQ(creates[0].name, "Quorvane - Studio");
        EXPECT_TRUE(creates[0].groupsNull);
        EXPECT_TRUE(creates[0].clockVideo);
        EXPECT_FALSE(creates[0].clockAudio);

        sender.destroySender();
        sender.destroySender();
        EXPECT_EQ(library.destroyed().size(), 1u);
        ASSERT_TRUE(sender.createSender("Again"));
    }
    EXPECT_EQ(library.destroyed().size(), 2u) << "the destructor destroys a live sender";
    EXPECT_NE(library.destroyed()[0], library.destroyed()[1]);
}

TEST(NdiSender, CreateFailuresSayWhy) {
    constexpr const char* kCreateNull =
        "NDIlib_send_create() returned NULL. A sender with this name may already exist, or NDI discovery (mDNS) "
        "is blocked by the firewall.";
    struct Case {
        const char* what;
        bool runtime;
        bool createFails;
        const char* name;
        const char* error;
    };
    const Case cases[] = {
        {"empty name", true, false, "", "NDI sender name must not be empty"},
        {"no runtime", false, false, "Quorvane", kNotFound},
        {"no runtime and no name: the runtime first", false, false, "", kNotFound},
        {"the runtime gives no sender", true, true, "Quorvane", kCreateNull},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimNdiLibrary library;
        if (c.runtime) library.placeSystemLibrary(SimNdiBuild::Complete);
        library.failSendCreate(c.createFails);
        NdiRuntime runtime(library);
        NdiSender sender(runtime);
        EXPECT_FALSE(sender.createSender(c.name));
        EXPECT_EQ(sender.error(), c.error);
        const uint8_t pixel[4] = {};
        sender.sendFrame(pixel, 1, 1, 4, 30);
        EXPECT_EQ(library.framesSent(), 0u);
    }
}

TEST_F(NdiSenderTest, FramesCarryWhatTheRuntimeNeeds) {
    NdiSender sender(runtime);
    ASSERT_TRUE(sender.createSender("Quorvane"));
    std::vector<uint8_t> pixels(static_cast<size_t>(1920) * 1080 * 4, 0);
    pixels[0] = 0x11;
    pixels[3] = 0x44;

    struct Case {
        int32_t width, height, stride;
        double fps;
        int rateN;
        float aspect;
        int sentStride;
    };
    const Case cases[] = {
        {1920, 1080, 7680, 30, 30000, 1.7777778f, 7680},
        {1920, 1080, 0, 30, 30000, 1.7777778f, 7680}, // no stride given: width × 4
        {1280, 1024, 7680, 25, 25000, 1.25f, 7680},   // rows of a wider buffer
        {640, 480, -1, 7.5, 7500, 1.3333334f, 2560},
        {100, 100, 400, 29.97, 29970, 1.0f, 400},
        {1, 1, 4, 1000000, 1000000000, 1.0f, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "@" << c.fps);
        const size_t before = library.framesSent();
        sender.sendFrame(pixels.data(), c.width, c.height, c.stride, c.fps);
        ASSERT_EQ(library.framesSent(), before + 1);
        const sim::SimNdiFrame frame = library.lastFrame();
        EXPECT_EQ(frame.xres, c.width);
        EXPECT_EQ(frame.yres, c.height);
        EXPECT_EQ(frame.fourCC, sim::ndi_reference::kFourCcBgra);
        EXPECT_EQ(frame.frameRateN, c.rateN);
        EXPECT_EQ(frame.frameRateD, 1000);
        EXPECT_FLOAT_EQ(frame.aspect, c.aspect);
        EXPECT_EQ(frame.formatType, sim::ndi_reference::kFormatProgressive);
        EXPECT_EQ(frame.timecode, sim::ndi_reference::kTimecodeSynthesize) << "the runtime makes the time code";
        EXPECT_EQ(frame.stride, c.sentStride);
        EXPECT_TRUE(frame.metadataNull);
        EXPECT_EQ(frame.timestamp, 0);
        EXPECT_EQ(frame.firstPixel, 0x44000011u);
        EXPECT_EQ(frame.sender, reinterpret_cast<void*>(0x1010));
    }
}

TEST_F(NdiSenderTest, FramesItCannotDescribeAreNotSent) {
    const uint8_t pixels[64] = {};
    NdiSender idle(runtime);
    idle.sendFrame(pixels, 2, 2, 8, 30);
    EXPECT_EQ(library.framesSent(), 0u) << "no sender";

    NdiSender sender(runtime);
    ASSERT_TRUE(sender.createSender("Quorvane"));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* what;
        const uint8_t* pixels;
        int32_t width, height;
        double fps;
    };
    const Case cases[] = {
        {"no pixels", nullptr, 2, 2, 30},
        {"no width", pixels, 0, 2, 30},
        {"negative height", pixels, 2, -1, 30},
        {"no frame rate", pixels, 2, 2, 0},
        {"negative frame rate", pixels, 2, 2, -30},
        {"not a number", pixels, 2, 2, nan},
        {"infinite rate", pixels, 2, 2, inf},
        {"a rate past the structure's int", pixels, 2, 2, 3e6},
        {"a rate that truncates to nothing", pixels, 2, 2, 0.0005},
    };
    for (const Case& c : cases) {
        sender.sendFrame(c.pixels, c.width, c.height, 8, c.fps);
        EXPECT_EQ(library.framesSent(), 0u) << c.what;
    }
}

// ---------------------------------------------------------------- the streamer

// A desktop with one 1920 × 1080 display, an installed runtime and a streamer.
struct Rig {
    explicit Rig(bool runtimeInstalled = true) {
        if (runtimeInstalled) library.placeSystemLibrary(SimNdiBuild::Complete);
    }

    sim::SimScreen& screen() { return backend.screens()[0]; }
    // Reads the display's state under the desktop's lock.
    template <class Read>
    auto read(Read reading) {
        auto lock = backend.lock();
        return reading(screen());
    }
    bool waitForFrames(size_t count) {
        return waitFor([&] { return library.framesSent() >= count; });
    }

    sim::CapturedLog log;
    sim::SimCaptureBackend backend;
    SimNdiLibrary library;
    NdiRuntime runtime{library};
    std::unique_ptr<NdiStreamer> streamer = std::make_unique<NdiStreamer>(backend, runtime);
};

TEST(NdiStreamer, SharesTheWholeDisplayAndStopsCleanly) {
    Rig rig;
    rig.screen().pendingFrames = 1;
    ASSERT_TRUE(rig.streamer->start(kDisplay, "Quorvane - Main", 30, {})) << rig.streamer->status();
    EXPECT_TRUE(rig.streamer->isRunning());
    EXPECT_TRUE(CaptureActivity::anyRunning()) << "a running share counts as capture activity";
    EXPECT_EQ(rig.streamer->senderName(), "Quorvane - Main");
    EXPECT_TRUE(rig.log.contains("INF", "NDI sharing started: Quorvane - Main"));
    ASSERT_TRUE(rig.waitForFrames(3));

    const sim::SimNdiFrame first = rig.library.frames()[0];
    EXPECT_EQ(first.xres, 1920);
    EXPECT_EQ(first.yres, 1080);
    EXPECT_EQ(first.stride, 7680);
    EXPECT_EQ(first.frameRateN, 30000);
    EXPECT_EQ(first.firstPixel, 0x10203040u);
    EXPECT_EQ(first.lastPixel, 0x10203040u);
    EXPECT_EQ(rig.read([](sim::SimScreen& s) { return s.stagingWidth * 10000 + s.stagingHeight; }), 19201080);
    ASSERT_EQ(rig.library.creates().size(), 1u);
    EXPECT_EQ(rig.library.creates()[0].name, "Quorvane - Main");

    rig.streamer->stop();
    EXPECT_FALSE(rig.streamer->isRunning());
    EXPECT_FALSE(CaptureActivity::anyRunning());
    EXPECT_EQ(rig.backend.liveObjects(), 0);
    EXPECT_EQ(rig.backend.simClock().threadsEntered(), 1);
    EXPECT_EQ(rig.backend.simClock().threadsLeft(), 1);
    EXPECT_EQ(rig.library.destroyed().size(), 1u);
    const size_t sent = rig.library.framesSent();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(rig.library.framesSent(), sent) << "nothing is sent after stop()";
}

TEST(NdiStreamer, AStaticScreenIsSentAgainWithoutANewCopy) {
    Rig rig;
    ASSERT_TRUE(rig.streamer->start(kDisplay, "Quorvane", 30, {}));
    // No image yet: the worker waits rather than sending black.
    ASSERT_TRUE(waitFor([&] { return rig.read([](sim::SimScreen& s) { return s.acquireCalls; }) >= 5; }));
    EXPECT_EQ(rig.library.framesSent(), 0u);

    rig.read([](sim::SimScreen& s) { return s.pendingFrames = 1; });
    ASSERT_TRUE(rig.waitForFrames(6));
    for (const sim::SimNdiFrame& frame : rig.library.frames()) EXPECT_EQ(frame.firstPixel, 0x10203040u);
    EXPECT_EQ(rig.read([](sim::SimScreen& s) { return s.copiedBoxes.size(); }), 1u);
}

TEST(NdiStreamer, TheFrameRateBelowOneIsThirty) {
    for (const auto& [fps, rateN] : {std::pair{0, 30000}, std::pair{-5, 30000}, std::pair{1, 1000}, std::pair{60, 60000}}) {
        Rig rig;
        rig.screen().pendingFrames = 1;
        ASSERT_TRUE(rig.streamer->start(kDisplay, "Quorvane", fps, {}));
        ASSERT_TRUE(rig.waitForFrames(1));
        EXPECT_EQ(rig.library.lastFrame().frameRateN, rateN) << fps;
    }
}

// The share copied one frame, exactly this box of it, through a staging
// texture of the box's size.
void expectOneCopyOf(Rig& rig, const recorder::Crop& box) {
    auto lock = rig.backend.lock();
    ASSERT_EQ(rig.screen().copiedBoxes.size(), 1u);
    const recorder::Crop copied = rig.screen().copiedBoxes[0];
    EXPECT_EQ(copied.left, box.left);
    EXPECT_EQ(copied.top, box.top);
    EXPECT_EQ(copied.width, box.width);
    EXPECT_EQ(copied.height, box.height);
    EXPECT_EQ(rig.screen().stagingWidth, box.width);
    EXPECT_EQ(rig.screen().stagingHeight, box.height);
}

TEST(NdiStreamer, ARegionIsClampedToTheDisplayAndKeepsEightPixels) {
    struct Case {
        const char* what;
        recorder::Region region;
        recorder::Crop box; // width 0: refused
    };
    const Case cases[] = {
        {"8 x 8 inside", {100, 200, 108, 208}, {100, 200, 8, 8}},
        {"over the right edge", {1800, 200, 2100, 401}, {1800, 200, 120, 201}},
        {"over the top-left corner", {-50, -70, 99, 61}, {0, 0, 99, 61}},
        {"odd sides kept", {10, 10, 333, 77}, {10, 10, 323, 67}},
        {"the widest numbers", {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {0, 0, 1920, 1080}},
        {"7 x 500", {0, 0, 7, 500}, {}},
        {"7 left inside at the bottom", {0, 1073, 500, 1200}, {}},
        {"wholly outside", {2000, 0, 2100, 100}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        rig.screen().pendingFrames = 1;
        const bool started = rig.streamer->start(kDisplay, "Quorvane", 30, c.region);
        if (c.box.width == 0) {
            EXPECT_FALSE(started);
            EXPECT_EQ(rig.streamer->status(), "The selected region no longer fits on that display");
            EXPECT_TRUE(rig.log.contains(
                "WRN", "NdiStreamer start failed: The selected region no longer fits on that display"));
            EXPECT_TRUE(rig.library.creates().empty());
            EXPECT_EQ(rig.backend.liveObjects(), 0);
            continue;
        }
        ASSERT_TRUE(started) << rig.streamer->status();
        ASSERT_TRUE(rig.waitForFrames(1));
        const sim::SimNdiFrame frame = rig.library.frames()[0];
        EXPECT_EQ(frame.xres, c.box.width);
        EXPECT_EQ(frame.yres, c.box.height);
        EXPECT_EQ(frame.stride, c.box.width * 4);
        EXPECT_EQ(frame.lastPixel, 0x10203040u);
        rig.streamer->stop();
        expectOneCopyOf(rig, c.box);
    }
}

// A display turned with "Rotate 90°" is shared upright, and a region picked
// on its desktop is clamped to the upright size and cut from where it lies
// in the 1920 x 1080 frames as delivered. The first pixel sent is the
// region's top-left desktop pixel, the last its bottom-right one.
TEST(NdiStreamer, ATurnedDisplayIsSentUprightWithTheRegionPickedOnItsDesktop) {
    struct Case {
        uint32_t rotation; // as DXGI_OUTDUPL_DESC.Rotation reports it
        recorder::Region region;
        recorder::Crop sent; // left and top on the desktop; the size sent
        recorder::Crop box;  // in the frames
    };
    const Case cases[] = {
        {sim::dxgi_rotation::kRotate90, {}, {0, 0, 1080, 1920}, {0, 0, 1920, 1080}},
        {sim::dxgi_rotation::kRotate270, {}, {0, 0, 1080, 1920}, {0, 0, 1920, 1080}},
        {sim::dxgi_rotation::kRotate180, {}, {0, 0, 1920, 1080}, {0, 0, 1920, 1080}},
        {sim::dxgi_rotation::kRotate90, {100, 200, 333, 1500}, {100, 200, 233, 1300}, {200, 747, 1300, 233}},
        {sim::dxgi_rotation::kRotate270, {100, 200, 333, 1500}, {100, 200, 233, 1300}, {420, 100, 1300, 233}},
        {sim::dxgi_rotation::kRotate180, {100, 200, 333, 1000}, {100, 200, 233, 800}, {1587, 80, 233, 800}},
        // Over the portrait desktop's bottom edge, below the frames' height.
        {sim::dxgi_rotation::kRotate90, {1000, 1900, 1200, 2100}, {1000, 1900, 80, 20}, {1900, 0, 20, 80}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "rotation " << c.rotation << ", region " << c.region.left << ","
                                        << c.region.top << "," << c.region.right << "," << c.region.bottom);
        Rig rig;
        rig.screen().rotation = c.rotation;
        rig.screen().desktopPicture = true;
        rig.screen().pendingFrames = 1;
        ASSERT_TRUE(rig.streamer->start(kDisplay, "Quorvane", 30, c.region)) << rig.streamer->status();
        ASSERT_TRUE(rig.waitForFrames(1));
        rig.streamer->stop();
        const sim::SimNdiFrame frame = rig.library.frames()[0];
        EXPECT_EQ(frame.xres, c.sent.width);
        EXPECT_EQ(frame.yres, c.sent.height);
        EXPECT_EQ(frame.stride, c.sent.width * 4);
        EXPECT_EQ(frame.firstPixel, sim::simDesktopPixel(c.sent.left, c.sent.top));
        EXPECT_EQ(frame.lastPixel,
                  sim::simDesktopPixel(c.sent.left + c.sent.width - 1, c.sent.top + c.sent.height - 1));
        expectOneCopyOf(rig, c.box);
    }
}

TEST(NdiStreamer, StartFailuresSayWhyAndLeaveNothingBehind) {
    using Open = ScreenCapture::OpenResult;
    constexpr const char* kCreateNull =
        "NDIlib_send_create() returned NULL. A sender with this name may already exist, or NDI discovery (mDNS) "
        "is blocked by the firewall.";
    struct Case {
        const char* what;
        std::function<void(Rig&)> arrange;
        const char* status;
        bool logged = true;
        bool runtimeInstalled = true;
        const char* senderName = "Quorvane";
    };
    const Case cases[] = {
        {"no factory", [](Rig& r) { r.screen().openResult = Open::FactoryFailed; }, "CreateDXGIFactory1 failed"},
        {"unknown display", [](Rig& r) { r.screen().gdiName = "\\\\.\\DISPLAY9"; },
         "Display not found for NDI sharing"},
        {"no device", [](Rig& r) { r.screen().openResult = Open::DeviceFailed; }, "D3D11CreateDevice failed"},
        {"no IDXGIOutput1", [](Rig& r) { r.screen().openResult = Open::OutputFailed; }, "IDXGIOutput1 unavailable"},
        {"duplication refused", [](Rig& r) { r.screen().duplicateFailures = 1; },
         "DuplicateOutput failed (another app may hold the display, or access was denied on a secure desktop)"},
        {"zero-size mode", [](Rig& r) { r.screen().height = 0; }, "Empty duplication mode"},
        {"no staging texture", [](Rig& r) { r.screen().stagingFails = true; }, "Staging texture failed"},
        {"the runtime gives no sender", [](Rig& r) { r.library.failSendCreate(true); }, kCreateNull},
        {"no sender name", [](Rig&) {}, "NDI sender name must not be empty", true, true, ""},
        {"no runtime: nothing logged", [](Rig&) {}, kNotFound, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig(c.runtimeInstalled);
        c.arrange(rig);
        EXPECT_FALSE(rig.streamer->start(kDisplay, c.senderName, 30, {}));
        EXPECT_FALSE(rig.streamer->isRunning());
        EXPECT_EQ(rig.streamer->status(), c.status);
        EXPECT_EQ(rig.log.contains("WRN", std::string("NdiStreamer start failed: ") + c.status), c.logged);
        if (!c.logged) {
            EXPECT_TRUE(rig.log.lines().empty());
        }
        EXPECT_EQ(rig.backend.liveObjects(), 0);
        EXPECT_EQ(rig.backend.simClock().threadsEntered(), rig.backend.simClock().threadsLeft());
        EXPECT_TRUE(rig.library.destroyed().empty());
        EXPECT_EQ(rig.library.framesSent(), 0u);
    }
}

TEST(NdiStreamer, AWholeDisplayShareGoesOnAtTheNewSizeAfterAModeChange) {
    Rig rig;
    rig.screen().width = 1280;
    rig.screen().height = 720;
    rig.screen().pendingFrames = 1;
    ASSERT_TRUE(rig.streamer->start(kDisplay, "Quorvane", 30, {}));
    ASSERT_TRUE(rig.waitForFrames(2));
    const uint64_t before = rig.backend.simClock().tickMs();

    // The mode grows: access is lost and the display is busy for two
    // attempts before it duplicates at its new size.
    rig.read([](sim::SimScreen& s) {
        s.loseAccess = true;
        s.width = 1920;
        s.height = 1080;
        s.duplicateFailures = 2;
        return 0;
    });
    ASSERT_TRUE(waitFor([&] { return rig.library.lastFrame().xres == 1920; }));
    EXPECT_TRUE(rig.streamer->isRunning());
    sim::SimNdiFrame frame = rig.library.lastFrame();
    EXPECT_EQ(frame.yres, 1080);
    EXPECT_EQ(frame.stride, 1920 * 4);
    EXPECT_FLOAT_EQ(frame.aspect, 1.7777778f);
    // Until the display shows something new the frame is black, not the old
    // image at the wrong size.
    EXPECT_EQ(frame.firstPixel, 0u);
    EXPECT_EQ(frame.lastPixel, 0u);
    EXPECT_EQ(rig.read([](sim::SimScreen& s) { return s.duplicateCalls; }), 4) << "the first, two refused, the last";
    EXPECT_EQ(rig.read([](sim::SimScreen& s) { return s.stagingWidth * 10000 + s.stagingHeight; }), 19201080);
    EXPECT_GE(rig.backend.simClock().tickMs() - before, 500u) << "250 ms between attempts";

    rig.read([](sim::SimScreen& s) {
        s.pendingFrames = 1;
        s.frameValue = 0x00556677;
        return 0;
    });
    ASSERT_TRUE(waitFor([&] { return rig.library.lastFrame().firstPixel == 0x00556677u; }));
    frame = rig.library.lastFrame();
    EXPECT_EQ(frame.xres, 1920);
    EXPECT_EQ(frame.lastPixel, 0x00556677u);
    EXPECT_EQ(rig.library.creates().size(), 1u) << "the same NDI source throughout";
}

TEST(NdiStreamer, ARegionThatStopsFittingPausesTheShareUntilItFitsAgain) {
    Rig rig;
    rig.screen().pendingFrames = 1;
    ASSERT_TRUE(rig.streamer->start(kDisplay, "Quorvane", 30, {1500, 100, 1900, 500}));
    ASSERT_TRUE(rig.waitForFrames(1));

    rig.read([](sim::SimScreen& s) {
        s.loseAccess = true;
        s.width = 1280;
        s.height = 720;
        return 0;
    });
    const auto duplicateCalls = [&] { return rig.read([](sim::SimScreen& s) { return s.duplicateCalls; }); };
    ASSERT_TRUE(waitFor([&] { return duplicateCalls() >= 4; }));
    const size_t paused = rig.library.framesSent();
    ASSERT_TRUE(waitFor([&] { return duplicateCalls() >= 8; }));
    EXPECT_EQ(rig.library.framesSent(), paused) << "nothing is sent while the region is off the display";
    EXPECT_TRUE(rig.streamer->isRunning());

    rig.read([](sim::SimScreen& s) {
        s.width = 1920;
        s.height = 1080;
        s.pendingFrames = 1;
        s.frameValue = 0x0A0B0C0D;
        return 0;
    });
    ASSERT_TRUE(waitFor([&] { return rig.library.lastFrame().firstPixel == 0x0A0B0C0Du; }));
    EXPECT_EQ(rig.library.lastFrame().xres, 400);
    EXPECT_EQ(rig.library.lastFrame().yres, 400);
    for (const std::string& line : rig.log.lines())
        EXPECT_EQ(line.find("[WRN]"), std::string::npos) << "pauses are not logged: " << line;
}

TEST(NdiStreamer, StopEndsAShareThatWaitsForItsDisplay) {
    Rig rig;
    rig.screen().pendingFrames = 1;
    ASSERT_TRUE(rig.streamer->start(kDisplay, "Quorvane", 30, {}));
    rig.read([](sim::SimScreen& s) {
        s.loseAccess = true;
        s.duplicateFailures = -1;
        return 0;
    });
    ASSERT_TRUE(waitFor([&] { return rig.read([](sim::SimScreen& s) { return s.duplicateCalls; }) >= 3; }));
    EXPECT_TRUE(rig.streamer->isRunning());
    rig.streamer->stop();
    EXPECT_FALSE(rig.streamer->isRunning());
    EXPECT_EQ(rig.backend.liveObjects(), 0);
    EXPECT_EQ(rig.backend.simClock().threadsLeft(), 1);
    EXPECT_EQ(rig.library.destroyed().size(), 1u);
}

TEST(NdiStreamer, OneShareAtATimeAndAStoppedStreamerStartsAgain) {
    Rig rig;
    rig.screen().pendingFrames = 1;
    ASSERT_TRUE(rig.streamer->start(kDisplay, "First", 30, {}));
    EXPECT_FALSE(rig.streamer->start(kDisplay, "Second", 30, {}));
    EXPECT_EQ(rig.streamer->senderName(), "First");
    EXPECT_TRUE(rig.streamer->isRunning());
    rig.streamer->stop();
    rig.streamer->stop();

    rig.read([](sim::SimScreen& s) { return s.pendingFrames = 1; });
    ASSERT_TRUE(rig.streamer->start(kDisplay, "Third", 30, {}));
    ASSERT_EQ(rig.library.creates().size(), 2u);
    EXPECT_EQ(rig.library.creates()[1].name, "Third");

    // Destroying a running streamer ends its share.
    rig.streamer.reset();
    EXPECT_EQ(rig.backend.liveObjects(), 0);
    EXPECT_EQ(rig.backend.simClock().threadsEntered(), 2);
    EXPECT_EQ(rig.backend.simClock().threadsLeft(), 2);
    EXPECT_EQ(rig.library.destroyed().size(), 2u);
}

} // namespace
} // namespace qv
