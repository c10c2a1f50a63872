// NDI sharing over the simulated runtime library: where the runtime is
// looked for and when it is refused, and what a sender hands the runtime.
#include "capture/NdiRuntime.h"

#include "base/DebugOutput.h"
#include "sim/SimDebugOutput.h"
#include "sim/SimNdi.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
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

// Routes the log to a recorder for the life of a test.
class CapturedLog {
public:
    CapturedLog() { previous_ = DebugOutput::install(&lines); }
    ~CapturedLog() { DebugOutput::install(previous_); }
    sim::SimDebugOutput lines;

private:
    DebugOutput* previous_ = nullptr;
};

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
         {{"NDI_RUNTIME_DIR_V6", "C:\\V6"}, {"NDILIB_REDIST_FOLDER", "C:\\Redist"}},
         exe,
         {"C:\\V6\\Processing.NDI.Lib.x64.dll", "C:\\Redist\\Processing.NDI.Lib.x64.dll"},
         true,
         {"path C:\\V6\\Processing.NDI.Lib.x64.dll"}},
        {"260 units ignored, the search goes on",
         {{"NDI_RUNTIME_DIR_V6", units260}, {"NDILIB_REDIST_FOLDER", "D:\\Redist\\"}},
         exe,
         {units260 + "\\Processing.NDI.Lib.x64.dll", "D:\\Redist\\Processing.NDI.Lib.x64.dll"},
         false,
         {"path D:\\Redist\\Processing.NDI.Lib.x64.dll"}},
        {"259 units used", {{"NDI_RUNTIME_DIR_V6", units259}}, exe, {units259 + "\\Processing.NDI.Lib.x64.dll"}, false,
         {"path " + units259 + "\\Processing.NDI.Lib.x64.dll"}},
        {"length counted in UTF-16 units, not bytes", {{"NDI_RUNTIME_DIR_V6", accented}}, exe,
         {accented + "\\Processing.NDI.Lib.x64.dll"}, false, {"path " + accented + "\\Processing.NDI.Lib.x64.dll"}},
        {"empty variables skipped",
         {{"NDI_RUNTIME_DIR_V6", ""}, {"NDILIB_REDIST_FOLDER", ""}},
         exe,
         {exe + "\\Processing.NDI.Lib.x64.dll"},
         false,
         {"path " + exe + "\\Processing.NDI.Lib.x64.dll"}},
        {"variables, program folder, then the bare name",
         {{"NDI_RUNTIME_DIR_V6", "C:\\V6"}, {"NDILIB_REDIST_FOLDER", "C:\\Redist"}},
         exe,
         {},
         true,
         {"path C:\\V6\\Processing.NDI.Lib.x64.dll", "path C:\\Redist\\Processing.NDI.Lib.x64.dll",
          "path " + exe + "\\Processing.NDI.Lib.x64.dll", "name Processing.NDI.Lib.x64.dll"}},
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
        CapturedLog log;
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
        EXPECT_TRUE(log.lines.lines().empty()) << "failures are the caller's to report";

        // Nothing is remembered: the next call searches again.
        EXPECT_FALSE(runtime.ensureRuntime());
        EXPECT_EQ(library.attempts().size(), 4u);
    }
}

TEST(NdiLoader, ARetryAfterAFailureLoadsTheRuntimeWhichThenStays) {
    CapturedLog log;
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
    EXPECT_TRUE(log.lines.contains("INF", kLoadedLine));

    // Later calls neither search, initialise, log nor unload.
    const size_t attempts = library.attempts().size();
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(runtime.ensureRuntime(&missing, &error));
    EXPECT_EQ(library.attempts().size(), attempts);
    EXPECT_EQ(library.initializeCalls(), 1);
    EXPECT_EQ(library.unloads(), 1) << "only the old runtime was let go";
    EXPECT_EQ(library.loadedNow(), "path C:\\NDI\\Processing.NDI.Lib.x64.dll");
    EXPECT_EQ(log.lines.lines().size(), 1u);
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
        EXPECT_EQ(frame.fourCC, 0x41524742u);
        EXPECT_EQ(frame.frameRateN, c.rateN);
        EXPECT_EQ(frame.frameRateD, 1000);
        EXPECT_FLOAT_EQ(frame.aspect, c.aspect);
        EXPECT_EQ(frame.formatType, 1) << "progressive";
        EXPECT_EQ(frame.timecode, INT64_MAX) << "the runtime makes the time code";
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

} // namespace
} // namespace qv
