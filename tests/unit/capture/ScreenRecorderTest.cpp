// The screen recorder over the simulated capture backend: what reaches the
// MP4 writer (frame size, rate, bitrate, samples and their times), which
// failures stop a recording before or while it runs, and that every thread
// and capture object is gone when it ends.
#include "capture/ScreenRecorder.h"

#include "capture/CaptureActivity.h"
#include "sim/SimCapture.h"
#include "sim/SimDebugOutput.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace qv {
namespace {

using recorder::Crop;
using recorder::Region;

constexpr const char* kDisplay = "\\\\.\\DISPLAY1";
constexpr const char* kPath = "C:\\Users\\u\\Videos\\Quorvane\\QV-20250307-090503.mp4";
constexpr uint64_t kStart = sim::SimCaptureClock::kStartMs;
constexpr int64_t kStart100ns = static_cast<int64_t>(kStart) * 10000;

// One simulated machine and one recorder on it. Whatever a test leaves
// running is released and stopped first.
struct Rig {
    sim::SimCaptureBackend backend;
    ScreenRecorder recorder{backend};

    ~Rig() {
        backend.simClock().release();
        recorder.stop();
    }

    sim::SimScreen& screen() { return backend.screens().front(); }
    sim::SimCaptureClock& clock() { return backend.simClock(); }
    // The writer of the last start; read under backend.lock() while recording.
    sim::SimMp4& file() { return *backend.files().back(); }

    bool start(int32_t fps = 30, const Region& region = {}, bool audio = false) {
        return recorder.start(kDisplay, kPath, fps, audio, region);
    }

    // Waits in real time (up to ten seconds) until done() holds; done() runs
    // under the backend's lock.
    bool waitFor(const std::function<bool()>& done) {
        for (int i = 0; i < 10000; ++i) {
            {
                auto lock = backend.lock();
                if (done()) return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    void expectNothingLeft() {
        EXPECT_EQ(backend.liveObjects(), 0) << "capture objects still alive";
        EXPECT_EQ(clock().threadsEntered(), clock().threadsLeft()) << "a thread did not leave";
    }
};

class ScreenRecorderTest : public ::testing::Test {
protected:
    sim::CapturedLog log;
};

TEST_F(ScreenRecorderTest, RecordsTheClippedRegionAtTheGivenRateAndBitrate) {
    struct Case {
        const char* what;
        int32_t displayWidth, displayHeight, fps;
        Region region;
        Crop crop;
        uint32_t recordedFps;
        uint32_t bitrate;
    };
    const Case cases[] = {
        {"fps 0 records at 30", 1920, 1080, 0, {}, {0, 0, 1920, 1080}, 30, 6220800},
        {"negative fps records at 30", 1920, 1080, -5, {}, {0, 0, 1920, 1080}, 30, 6220800},
        {"1000 x 601 records 1000 x 600", 1920, 1080, 30, {100, 50, 1100, 651}, {100, 50, 1000, 600}, 30, 4000000},
        {"a region wholly outside records the display", 1920, 1080, 30, {3000, 0, 3200, 200}, {0, 0, 1920, 1080},
         30, 6220800},
        {"16 x 16 records", 1920, 1080, 30, {10, 20, 26, 36}, {10, 20, 16, 16}, 30, 4000000},
        {"3840 x 2160 at 60 is capped at 24 Mbit/s", 3840, 2160, 60, {}, {0, 0, 3840, 2160}, 60, 24000000},
        {"640 x 480 at 10 gets the 4 Mbit/s floor", 640, 480, 10, {}, {0, 0, 640, 480}, 10, 4000000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        rig.screen().width = c.displayWidth;
        rig.screen().height = c.displayHeight;
        rig.screen().pendingFrames = 1;
        ASSERT_TRUE(rig.start(c.fps, c.region)) << rig.recorder.status();
        EXPECT_TRUE(rig.recorder.isRecording());
        ASSERT_TRUE(rig.waitFor([&] { return rig.file().video.size() >= 2; }));
        rig.recorder.stop();
        EXPECT_FALSE(rig.recorder.isRecording());

        const sim::SimMp4& file = rig.file();
        EXPECT_EQ(file.path, kPath);
        EXPECT_EQ(file.width, c.crop.width);
        EXPECT_EQ(file.height, c.crop.height);
        EXPECT_EQ(file.fps, c.recordedFps);
        EXPECT_EQ(file.bitrate, c.bitrate);
        EXPECT_EQ(rig.screen().stagingWidth, c.crop.width);
        EXPECT_EQ(rig.screen().stagingHeight, c.crop.height);
        ASSERT_FALSE(rig.screen().copiedBoxes.empty());
        const Crop& box = rig.screen().copiedBoxes.front();
        EXPECT_EQ(box.left, c.crop.left);
        EXPECT_EQ(box.top, c.crop.top);
        EXPECT_EQ(box.width, c.crop.width);
        EXPECT_EQ(box.height, c.crop.height);
        for (const sim::SimVideoSample& sample : file.video) {
            EXPECT_EQ(sample.duration, 10000000 / static_cast<int64_t>(c.recordedFps));
            EXPECT_EQ(sample.bytes, static_cast<size_t>(c.crop.width) * c.crop.height * 4);
            EXPECT_EQ(sample.firstPixel, 0x10203040u);
        }
        EXPECT_TRUE(file.finalized);
        EXPECT_TRUE(file.shutDown);
        rig.expectNothingLeft();
    }
    EXPECT_TRUE(log.contains("INF", std::string("Recording -> ") + kPath));
}

// A display turned with "Rotate 90°": the region picked on its desktop is
// cut from where it lies in the frames as delivered, and recorded upright.
// The first pixel of each sample is the region's top-left desktop pixel,
// the last its bottom-right one.
TEST_F(ScreenRecorderTest, ATurnedDisplayIsRecordedUprightWithTheRegionPickedOnItsDesktop) {
    struct Case {
        uint32_t rotation; // as DXGI_OUTDUPL_DESC.Rotation reports it
        Region region;     // on the upright desktop
        int32_t width, height; // recorded
        Crop box;          // in the 1920 x 1080 frames
    };
    const Case cases[] = {
        {sim::dxgi_rotation::kIdentity, {100, 50, 741, 531}, 640, 480, {100, 50, 640, 480}},
        {sim::dxgi_rotation::kRotate90, {100, 50, 741, 531}, 640, 480, {50, 340, 480, 640}},
        {sim::dxgi_rotation::kRotate180, {100, 50, 741, 531}, 640, 480, {1180, 550, 640, 480}},
        {sim::dxgi_rotation::kRotate270, {100, 50, 741, 531}, 640, 480, {1390, 100, 480, 640}},
        // Portrait: a region below the frames' height, and the whole display.
        {sim::dxgi_rotation::kRotate90, {0, 1500, 1080, 1920}, 1080, 420, {1500, 0, 420, 1080}},
        {sim::dxgi_rotation::kRotate90, {}, 1080, 1920, {0, 0, 1920, 1080}},
        {sim::dxgi_rotation::kRotate270, {}, 1080, 1920, {0, 0, 1920, 1080}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "rotation " << c.rotation << ", region " << c.region.left << ","
                                        << c.region.top << "," << c.region.right << "," << c.region.bottom);
        Rig rig;
        rig.screen().rotation = c.rotation;
        rig.screen().desktopPicture = true;
        rig.screen().pendingFrames = 1;
        ASSERT_TRUE(rig.start(30, c.region)) << rig.recorder.status();
        ASSERT_TRUE(rig.waitFor([&] { return !rig.file().video.empty(); }));
        rig.recorder.stop();

        const sim::SimMp4& file = rig.file();
        EXPECT_EQ(file.width, c.width);
        EXPECT_EQ(file.height, c.height);
        EXPECT_EQ(rig.screen().stagingWidth, c.box.width);
        EXPECT_EQ(rig.screen().stagingHeight, c.box.height);
        ASSERT_EQ(rig.screen().copiedBoxes.size(), 1u);
        const Crop& box = rig.screen().copiedBoxes.front();
        EXPECT_EQ(box.left, c.box.left);
        EXPECT_EQ(box.top, c.box.top);
        EXPECT_EQ(box.width, c.box.width);
        EXPECT_EQ(box.height, c.box.height);
        const sim::SimVideoSample& sample = file.video.front();
        EXPECT_EQ(sample.bytes, static_cast<size_t>(c.width) * c.height * 4);
        EXPECT_EQ(sample.firstPixel, sim::simDesktopPixel(c.region.left, c.region.top));
        EXPECT_EQ(sample.lastPixel,
                  sim::simDesktopPixel(c.region.left + c.width - 1, c.region.top + c.height - 1));
        rig.expectNothingLeft();
    }
}

// Turned half way round during a recording, the display keeps its upright
// size: the recording goes on, the region now cut from the other end of the
// frames.
TEST_F(ScreenRecorderTest, AHalfTurnDuringARecordingMovesTheBoxAndGoesOn) {
    Rig rig;
    rig.screen().desktopPicture = true;
    rig.screen().pendingFrames = 3;
    rig.clock().holdAt(kStart + 1000);
    ASSERT_TRUE(rig.start(30, Region{100, 50, 741, 531}));
    ASSERT_TRUE(rig.clock().waitUntilHeld());
    {
        auto lock = rig.backend.lock();
        rig.screen().rotation = sim::dxgi_rotation::kRotate180;
        rig.screen().loseAccess = true;
        rig.screen().pendingFrames = 1;
    }
    rig.clock().release();
    ASSERT_TRUE(rig.waitFor([&] { return rig.screen().copiedBoxes.size() >= 4; }));
    rig.recorder.stop();

    EXPECT_FALSE(log.contains("WRN", "Recorder: stopping (display mode changed)"));
    const Crop& box = rig.screen().copiedBoxes.back();
    EXPECT_EQ(box.left, 1180);
    EXPECT_EQ(box.top, 550);
    EXPECT_EQ(rig.screen().copiedRotations.back(), sim::dxgi_rotation::kRotate180);
    const sim::SimVideoSample& sample = rig.file().video.back();
    EXPECT_EQ(sample.firstPixel, sim::simDesktopPixel(100, 50));
    EXPECT_EQ(sample.lastPixel, sim::simDesktopPixel(739, 529));
    EXPECT_TRUE(rig.file().finalized);
    rig.expectNothingLeft();
}

TEST_F(ScreenRecorderTest, ASetupFailureReportsItsTextAndLeavesNothingRunning) {
    struct Case {
        const char* text;
        std::function<void(sim::SimCaptureBackend&)> arrange;
        Region region;
    };
    const Case cases[] = {
        {"MFStartup failed", [](auto& b) { b.encoderBehaviour().startupFails = true; }, {}},
        {"CreateDXGIFactory1 failed",
         [](auto& b) { b.screens().front().openResult = ScreenCapture::OpenResult::FactoryFailed; }, {}},
        {"Display not found for recording", [](auto& b) { b.screens().front().gdiName = "\\\\.\\DISPLAY2"; }, {}},
        {"D3D11CreateDevice failed",
         [](auto& b) { b.screens().front().openResult = ScreenCapture::OpenResult::DeviceFailed; }, {}},
        {"IDXGIOutput1 unavailable",
         [](auto& b) { b.screens().front().openResult = ScreenCapture::OpenResult::OutputFailed; }, {}},
        {"DuplicateOutput failed", [](auto& b) { b.screens().front().duplicateFailures = -1; }, {}},
        {"Selected region is too small to record", [](auto&) {}, {100, 100, 115, 300}},
        {"Selected region is too small to record", [](auto&) {}, {1905, 0, 2500, 400}}, // 15 wide once clipped
        {"Staging texture failed", [](auto& b) { b.screens().front().stagingFails = true; }, {}},
        {"Could not create the output file", [](auto& b) { b.encoderBehaviour().createFails = true; }, {}},
        {"AddStream (video) failed",
         [](auto& b) { b.encoderBehaviour().videoResult = EncoderSink::VideoResult::AddStreamFailed; }, {}},
        {"SetInputMediaType (video) failed",
         [](auto& b) { b.encoderBehaviour().videoResult = EncoderSink::VideoResult::InputTypeFailed; }, {}},
        {"BeginWriting failed", [](auto& b) { b.encoderBehaviour().beginFails = true; }, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        log.clear();
        Rig rig;
        rig.screen().width = 1920;
        rig.screen().height = 1080;
        c.arrange(rig.backend);
        EXPECT_FALSE(rig.start(30, c.region, true));
        EXPECT_EQ(rig.recorder.status(), c.text);
        EXPECT_TRUE(log.contains("WRN", std::string("ScreenRecorder start failed: ") + c.text));
        EXPECT_FALSE(log.contains("INF", std::string("Recording -> ") + kPath));
        EXPECT_FALSE(rig.recorder.isRecording());
        rig.expectNothingLeft();
        EXPECT_EQ(rig.clock().threadsEntered(), 1);
        EXPECT_EQ(rig.backend.speakers().started, 0);
        const sim::SimMp4& file = rig.file();
        EXPECT_EQ(file.shutDown, file.started) << "Media Foundation shut down exactly when it was started";
        EXPECT_FALSE(file.finalized);
        EXPECT_TRUE(file.video.empty());
        rig.recorder.stop(); // harmless after a failed start
    }
}

TEST_F(ScreenRecorderTest, RecordsSoundOnlyFromASuitablePlaybackDevice) {
    struct Case {
        const char* what;
        AudioLoopback::MixFormat format;
        std::function<void(sim::SimCaptureBackend&)> arrange;
        uint32_t channels; // 0: video only
        bool warning;
    };
    const auto none = [](sim::SimCaptureBackend&) {};
    const Case cases[] = {
        {"stereo float at 48 kHz", {2, 48000, 32}, none, 2, false},
        {"mono 16-bit at 44.1 kHz", {1, 44100, 16}, none, 1, false},
        {"5.1", {6, 48000, 32}, none, 0, false},
        {"96 kHz", {2, 96000, 32}, none, 0, false},
        {"24-bit", {2, 48000, 24}, none, 0, false},
        {"no playback device", {2, 48000, 32}, [](auto& b) { b.speakers().present = false; }, 0, false},
        {"loopback refused", {2, 48000, 32}, [](auto& b) { b.speakers().initializeFails = true; }, 0, false},
        {"the writer refuses the audio stream", {2, 48000, 32},
         [](auto& b) { b.encoderBehaviour().audioFails = true; }, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log.clear();
        Rig rig;
        rig.backend.speakers().format = c.format;
        c.arrange(rig.backend);
        ASSERT_TRUE(rig.start(30, {}, true)) << rig.recorder.status();
        {
            auto lock = rig.backend.lock();
            EXPECT_EQ(rig.file().audioChannels, c.channels);
            EXPECT_EQ(rig.file().audioRate, c.channels ? c.format.sampleRate : 0u);
            EXPECT_EQ(rig.backend.speakers().started, c.channels ? 1 : 0);
        }
        EXPECT_EQ(log.contains("WRN", "Recorder: audio stream unavailable; recording video only"), c.warning);
        rig.recorder.stop();
        EXPECT_EQ(rig.backend.speakers().stopped, rig.backend.speakers().started);
        EXPECT_TRUE(rig.file().finalized);
        rig.expectNothingLeft();
        EXPECT_EQ(rig.clock().threadsEntered(), c.channels ? 2 : 1) << "the audio thread runs only with sound";
    }
}

// At 25 fps a pass takes T = 40 ms and a sample lasts P = 400,000 units:
// both divide a second evenly, so ten seconds are exactly 250 passes (at 30
// fps T would be 33 ms and ten seconds 303 passes).
TEST_F(ScreenRecorderTest, AStaticScreenStillGetsASamplePerFrameInterval) {
    Rig rig;
    rig.screen().pendingFrames = 1; // one image, then nothing changes
    rig.clock().holdAt(kStart + 10000);
    ASSERT_TRUE(rig.start(25));
    ASSERT_TRUE(rig.clock().waitUntilHeld());
    {
        auto lock = rig.backend.lock();
        const std::vector<sim::SimVideoSample>& video = rig.file().video;
        EXPECT_EQ(video.size(), 10u * 25u);
        int64_t total = 0;
        int64_t previous = -1;
        for (const sim::SimVideoSample& sample : video) {
            EXPECT_EQ(sample.duration, 400000);
            EXPECT_EQ(sample.firstPixel, 0x10203040u) << "every sample repeats the one image";
            EXPECT_GT(sample.time, previous);
            EXPECT_LE(sample.time, 100000000);
            previous = sample.time;
            total += sample.duration;
        }
        EXPECT_EQ(total, 100000000) << "the samples last ten seconds";
        EXPECT_EQ(rig.screen().copiedBoxes.size(), 1u);
    }
    rig.clock().release();
    rig.recorder.stop();
    EXPECT_TRUE(rig.file().finalized);
    rig.expectNothingLeft();
}

// Another size, or the same size in the other orientation (the crop box and
// the encoder's frame size would no longer fit), ends the recording with a
// finished file and no retries.
TEST_F(ScreenRecorderTest, AModeChangeEndsTheRecordingWithAFinishedFile) {
    struct Case {
        const char* name;
        int32_t width;
        int32_t height;
        uint32_t rotation = sim::dxgi_rotation::kIdentity;
    };
    // Turning a display keeps the mode duplication reports and turns the
    // desktop on it: the upright picture changes shape all the same.
    const Case cases[] = {{"smaller", 1280, 720},
                          {"a mode of swapped sides", 1080, 1920},
                          {"turned a quarter", 1920, 1080, sim::dxgi_rotation::kRotate90}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.clear();
        Rig rig;
        rig.screen().pendingFrames = 3;
        rig.clock().holdAt(kStart + 1000);
        ASSERT_TRUE(rig.start(30));
        ASSERT_TRUE(rig.clock().waitUntilHeld());
        {
            auto lock = rig.backend.lock();
            rig.screen().width = c.width;
            rig.screen().height = c.height;
            rig.screen().rotation = c.rotation;
            rig.screen().loseAccess = true;
        }
        rig.clock().release();
        ASSERT_TRUE(rig.waitFor([&] { return !rig.recorder.isRecording(); }));

        EXPECT_TRUE(log.contains("WRN", "Recorder: stopping (display mode changed)"));
        EXPECT_EQ(rig.screen().duplicateCalls, 2) << "no retries after a mode change";
        const sim::SimMp4& file = rig.file();
        EXPECT_FALSE(file.video.empty());
        EXPECT_TRUE(file.finalized);
        EXPECT_TRUE(file.shutDown);
        rig.expectNothingLeft();
        rig.recorder.stop();
        rig.recorder.stop();
        EXPECT_FALSE(rig.recorder.isRecording());
    }
}

TEST_F(ScreenRecorderTest, GivesUpOnlyAfterTheHundredAndFirstFailedReDuplication) {
    struct Case {
        int failures;
        bool ends;
    };
    for (const Case c : {Case{101, true}, Case{100, false}}) {
        SCOPED_TRACE(c.failures);
        log.clear();
        Rig rig;
        rig.screen().pendingFrames = 1;
        rig.clock().holdAt(kStart + 1000);
        ASSERT_TRUE(rig.start(30));
        ASSERT_TRUE(rig.clock().waitUntilHeld());
        {
            auto lock = rig.backend.lock();
            rig.screen().loseAccess = true;
            rig.screen().duplicateFailures = c.failures;
        }
        if (c.ends) {
            rig.clock().release();
            ASSERT_TRUE(rig.waitFor([&] { return !rig.recorder.isRecording(); }));
            EXPECT_TRUE(log.contains("WRN", "Recorder: stopping (DuplicateOutput failed)"));
            EXPECT_EQ(rig.screen().duplicateCalls, 1 + 101);
            EXPECT_TRUE(rig.file().finalized);
            rig.expectNothingLeft();
            continue;
        }
        // A hundred failures wait 50 ms each, five seconds in all; then
        // recording goes on.
        rig.clock().holdAt(kStart + 8000);
        ASSERT_TRUE(rig.clock().waitUntilHeld());
        auto lock = rig.backend.lock();
        EXPECT_TRUE(rig.recorder.isRecording());
        EXPECT_EQ(rig.screen().duplicateCalls, 1 + 101);
        EXPECT_FALSE(log.contains("WRN", "Recorder: stopping (DuplicateOutput failed)"));
        const std::vector<sim::SimVideoSample>& video = rig.file().video;
        int64_t longestGap = 0;
        for (size_t i = 1; i < video.size(); ++i) longestGap = std::max(longestGap, video[i].time - video[i - 1].time);
        EXPECT_GE(longestGap, 100 * 50 * 10000) << "no samples while the duplication was gone";
        EXPECT_LE(longestGap, (100 * 50 + 3 * 33) * 10000) << "each failed attempt waits 50 ms";
        EXPECT_GT(video.back().time, 6000 * 10000);
    }
}

// How often the log holds exactly this line.
size_t count(const sim::CapturedLog& log, const std::string& level, const std::string& message) {
    const std::string line = "[Quorvane][" + level + "] " + message + "\n";
    size_t n = 0;
    for (const std::string& entry : log.lines()) n += entry == line;
    return n;
}

// A locked workstation or a UAC prompt: the duplication is lost and, for 300
// attempts, cannot be made again. The recording pauses instead of giving up,
// goes on writing the last image at its pace (no hole in the file's timeline,
// so the sound stays in step) and resumes when the desktop is back; a desktop
// that comes back at another size ends it as any mode change does.
TEST_F(ScreenRecorderTest, AnUnavailableDesktopPausesTheRecordingWithTheLastImageUntilItIsBack) {
    struct Case {
        const char* what;
        int32_t widthAfter;
        bool resumes;
    };
    for (const Case c : {Case{"back at the same size", 1920, true}, Case{"back at another size", 1280, false}}) {
        SCOPED_TRACE(c.what);
        log.clear();
        Rig rig;
        std::atomic<int> endedByItself{0};
        rig.recorder.onEnded([&] { ++endedByItself; });
        rig.screen().pendingFrames = 1;
        rig.clock().holdAt(kStart + 1000);
        ASSERT_TRUE(rig.start(25));
        ASSERT_TRUE(rig.clock().waitUntilHeld());
        {
            auto lock = rig.backend.lock();
            rig.screen().loseAccess = true;
            rig.screen().duplicateUnavailable = 300;
            rig.screen().width = c.widthAfter;
            rig.screen().pendingFrames = 1; // the desktop after the pause
        }
        // The attempts come 500 ms apart: 150 seconds of a locked desktop.
        rig.clock().holdAt(kStart + 200000);
        if (!c.resumes) {
            ASSERT_TRUE(rig.waitFor([&] { return !rig.recorder.isRecording(); }));
            ASSERT_TRUE(rig.waitFor([&] { return endedByItself == 1; }));
            EXPECT_TRUE(log.contains("WRN", "Recorder: stopping (display mode changed)"));
            EXPECT_FALSE(log.contains("INF", "Recorder: resumed"));
            EXPECT_EQ(rig.screen().duplicateCalls, 1 + 300 + 1);
            const ScreenRecorder::Outcome outcome = rig.recorder.outcome();
            EXPECT_TRUE(outcome.saved);
            EXPECT_EQ(outcome.reason, "display mode changed");
            EXPECT_TRUE(rig.file().finalized);
            rig.expectNothingLeft();
            continue;
        }
        ASSERT_TRUE(rig.clock().waitUntilHeld());
        {
            auto lock = rig.backend.lock();
            EXPECT_TRUE(rig.recorder.isRecording());
            EXPECT_EQ(rig.screen().duplicateCalls, 1 + 300 + 1);
            const std::vector<sim::SimVideoSample>& video = rig.file().video;
            ASSERT_FALSE(video.empty());
            EXPECT_EQ(video.front().time, 0);
            EXPECT_GE(video.back().time, 199 * 10000000LL);
            // Without new images a sample follows every 40 ms; a fresh image
            // taken at once is followed by a full wait, as at the start.
            int64_t longestGap = 0;
            for (size_t i = 1; i < video.size(); ++i)
                longestGap = std::max(longestGap, video[i].time - video[i - 1].time);
            EXPECT_LE(longestGap, 2 * 400000);
            // The image from before the lock fills the pause; the desktop
            // after it follows.
            size_t firstAfter = 0;
            while (firstAfter < video.size() && video[firstAfter].firstPixel == 0x10203040u) ++firstAfter;
            ASSERT_LT(firstAfter, video.size());
            EXPECT_GE(video[firstAfter].time, (1000 + 300 * 500 - 500) * 10000LL);
            for (size_t i = 1; i < firstAfter; ++i) {
                if (video[i].time <= 1000 * 10000LL) continue;
                ASSERT_EQ(video[i].time - video[i - 1].time, 400000) << "a held image every 40 ms while paused, at " << i;
            }
            for (size_t i = firstAfter; i < video.size(); ++i) EXPECT_EQ(video[i].firstPixel, 0x10203041u);
        }
        EXPECT_EQ(count(log, "WRN", "Recorder: paused (desktop unavailable)"), 1u) << "once, not per attempt";
        EXPECT_EQ(count(log, "INF", "Recorder: resumed"), 1u);
        EXPECT_FALSE(log.contains("WRN", "Recorder: stopping (DuplicateOutput failed)"));
        rig.clock().release();
        rig.recorder.stop();
        EXPECT_TRUE(rig.recorder.outcome().saved);
        EXPECT_EQ(rig.recorder.outcome().reason, "");
        EXPECT_EQ(endedByItself, 0) << "a stop on request is not reported as an end by itself";
        EXPECT_TRUE(rig.file().finalized);
        rig.expectNothingLeft();
    }
}

// A sample the writer refuses (a full disk, a removed drive) ends the
// recording at once with the writer's text; the file is finished with what
// it holds, or removed when it holds nothing. A file that cannot be finished
// is never reported as saved.
TEST_F(ScreenRecorderTest, AFailedWriteOrFinishEndsTheRecordingAndSaysWhy) {
    constexpr const char* kDiskFull = "There is not enough space on the disk (0x80070070)";
    struct Case {
        const char* what;
        std::function<void(sim::SimCaptureBackend&)> arrange;
        bool audio;
        bool stopAsked; // the user stops it; otherwise it ends by itself
        const char* reason;
        bool saved;
        bool removed;
        size_t videoSamples; // SIZE_MAX: some
    };
    const Case cases[] = {
        {"disk full after ten frames",
         [&](auto& b) {
             b.encoderBehaviour().videoWritesBeforeFailure = 10;
             b.encoderBehaviour().failureText = kDiskFull;
         },
         false, false, kDiskFull, true, false, 10},
        {"a writer without a text for it", [](auto& b) { b.encoderBehaviour().videoWritesBeforeFailure = 10; },
         false, false, "could not write to the file", true, false, 10},
        {"the very first frame refused",
         [&](auto& b) {
             b.encoderBehaviour().videoWritesBeforeFailure = 0;
             b.encoderBehaviour().failureText = kDiskFull;
         },
         false, false, kDiskFull, false, true, 0},
        {"a sound sample refused",
         [&](auto& b) {
             b.encoderBehaviour().audioWritesFail = true;
             b.encoderBehaviour().failureText = kDiskFull;
             b.speakers().packets.push_back({std::vector<uint8_t>(480 * 2 * 4), 480, false, kStart100ns});
         },
         true, false, kDiskFull, true, false, SIZE_MAX},
        {"the file cannot be finished", [](auto& b) { b.encoderBehaviour().finalizeFails = true; }, false, true,
         "the file could not be finished", false, false, SIZE_MAX},
        {"stopped before the first image", [](auto& b) { b.screens().front().pendingFrames = 0; }, false, true,
         "nothing was recorded", false, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log.clear();
        Rig rig;
        std::atomic<int> endedByItself{0};
        rig.recorder.onEnded([&] { ++endedByItself; });
        rig.screen().pendingFrames = 1;
        c.arrange(rig.backend);
        ASSERT_TRUE(rig.start(30, {}, c.audio)) << rig.recorder.status();
        if (c.stopAsked) {
            rig.recorder.stop();
        } else {
            ASSERT_TRUE(rig.waitFor([&] { return !rig.recorder.isRecording(); }));
            ASSERT_TRUE(rig.waitFor([&] { return endedByItself == 1; }));
            EXPECT_TRUE(log.contains("WRN", std::string("Recorder: stopping (") + c.reason + ")"));
        }
        const ScreenRecorder::Outcome outcome = rig.recorder.outcome();
        EXPECT_EQ(outcome.reason, c.reason);
        EXPECT_EQ(outcome.saved, c.saved);
        EXPECT_EQ(endedByItself, c.stopAsked ? 0 : 1);
        rig.recorder.stop();
        const sim::SimMp4& file = rig.file();
        EXPECT_EQ(file.removed, c.removed);
        if (c.videoSamples == SIZE_MAX) {
            EXPECT_FALSE(file.video.empty());
        } else {
            EXPECT_EQ(file.video.size(), c.videoSamples) << "nothing is written after the failure";
        }
        EXPECT_EQ(log.contains("WRN", "Recorder: nothing was recorded; the file is removed"), c.removed);
        EXPECT_EQ(log.contains("WRN", "Recorder: the file could not be finished"), !c.saved && !c.removed);
        rig.expectNothingLeft();
    }
}

std::vector<uint8_t> bytesOf(const std::vector<float>& values) {
    std::vector<uint8_t> bytes(values.size() * sizeof(float));
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

std::vector<uint8_t> bytesOf(const std::vector<int16_t>& values) {
    std::vector<uint8_t> bytes(values.size() * sizeof(int16_t));
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

TEST_F(ScreenRecorderTest, AudioPacketsBecomeTimedSixteenBitSamples) {
    struct Expected {
        int64_t time;
        int64_t duration;
        std::vector<int16_t> head; // the first samples
        size_t count;
    };
    struct Case {
        const char* what;
        AudioLoopback::MixFormat format;
        std::vector<sim::SimAudioPacket> packets;
        std::vector<Expected> samples;
    };

    std::vector<float> loud(960, 0.25f);
    const float head[] = {0.5f, -0.5f, 2.0f, -3.0f, 1.0f, -1.0f};
    std::copy(std::begin(head), std::end(head), loud.begin());
    std::vector<int16_t> pcm(441, 7);
    const int16_t pcmHead[] = {1, -2, 32767, -32768};
    std::copy(std::begin(pcmHead), std::end(pcmHead), pcm.begin());

    const Case cases[] = {
        {"float stereo at 48 kHz",
         {2, 48000, 32},
         {
             {bytesOf(loud), 480, false, kStart100ns + 100000},
             {bytesOf(std::vector<float>(960, 0.9f)), 480, true, kStart100ns + 200000}, // silent: zeros
             {bytesOf(std::vector<float>(2000, -0.25f)), 1000, false, kStart100ns - 50000}, // before the start
         },
         {
             {100000, 100000, {16383, -16383, 32767, -32767, 32767, -32767, 8191}, 960},
             {200000, 100000, {0, 0, 0, 0}, 960},
             {0, 208333, {-8191, -8191}, 2000}, // 1000 × 10,000,000 / 48,000, truncated
         }},
        {"16-bit mono at 44.1 kHz",
         {1, 44100, 16},
         {{bytesOf(pcm), 441, false, kStart100ns}},
         {{0, 100000, {1, -2, 32767, -32768, 7}, 441}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        uint32_t frames = 0;
        rig.backend.speakers().format = c.format;
        rig.backend.speakers().goneWhenEmpty = true; // the audio thread ends once they are played
        for (const sim::SimAudioPacket& packet : c.packets) {
            rig.backend.speakers().packets.push_back(packet);
            frames += packet.frames;
        }
        ASSERT_TRUE(rig.start(30, {}, true)) << rig.recorder.status();
        // The device's disappearance ends the audio thread; video goes on.
        ASSERT_TRUE(rig.waitFor([&] { return rig.clock().threadsLeft() == 1; }));
        EXPECT_TRUE(rig.recorder.isRecording());
        rig.recorder.stop();

        EXPECT_EQ(rig.backend.speakers().released, static_cast<int>(frames));
        const std::vector<sim::SimAudioSample>& audio = rig.file().audio;
        ASSERT_EQ(audio.size(), c.samples.size());
        for (size_t i = 0; i < audio.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(audio[i].time, c.samples[i].time);
            EXPECT_EQ(audio[i].duration, c.samples[i].duration);
            ASSERT_EQ(audio[i].samples.size(), c.samples[i].count);
            const std::vector<int16_t> got(audio[i].samples.begin(),
                                           audio[i].samples.begin() + c.samples[i].head.size());
            EXPECT_EQ(got, c.samples[i].head);
        }
        rig.expectNothingLeft();
    }
}

TEST_F(ScreenRecorderTest, StopIsSafeInEveryState) {
    {
        Rig rig;
        rig.recorder.stop(); // never started
        rig.recorder.stop();
        EXPECT_FALSE(rig.recorder.isRecording());
        EXPECT_EQ(rig.clock().threadsEntered(), 0);
    }
    {
        Rig rig;
        rig.screen().pendingFrames = 1;
        ASSERT_TRUE(rig.start());
        EXPECT_FALSE(rig.start()) << "one recording per recorder";
        EXPECT_EQ(rig.backend.files().size(), 1u);
        EXPECT_TRUE(rig.recorder.isRecording());
        EXPECT_TRUE(CaptureActivity::anyRunning()) << "a running recording counts as capture activity";
        rig.recorder.stop();
        rig.recorder.stop();
        EXPECT_FALSE(rig.recorder.isRecording());
        EXPECT_FALSE(CaptureActivity::anyRunning());
        EXPECT_TRUE(rig.file().finalized);
        rig.expectNothingLeft();
    }
    {
        // Destroying a recorder that is still recording finishes the file.
        sim::SimCaptureBackend backend;
        auto recorder = std::make_unique<ScreenRecorder>(backend);
        ASSERT_TRUE(recorder->start(kDisplay, kPath, 30, true, {}));
        recorder.reset();
        EXPECT_TRUE(backend.files().back()->finalized);
        EXPECT_EQ(backend.liveObjects(), 0);
        EXPECT_EQ(backend.simClock().threadsEntered(), backend.simClock().threadsLeft());
    }
}

} // namespace
} // namespace qv
