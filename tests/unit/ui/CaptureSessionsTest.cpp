#include "ui/CaptureSessions.h"

#include "base/LogTesting.h"
#include "capture/NdiRuntime.h"
#include "sim/SimCapture.h"
#include "sim/SimNdi.h"
#include "sim/SimProcess.h"
#include "sim/SimShell.h"
#include "ui/CaptureWindows.h"
#include "ui/TrayController.h"
#include "unit/CoreWorld.h"
#include "web/FlyoutHooks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace qv {
namespace {

using Notice = sim::SimShell::Notice;
constexpr uint64_t kInstance = 0x140000000;
// learn.microsoft.com/windows/win32/shutdown/wm-queryendsession and .../wm-endsession
constexpr uint32_t kWmQueryEndSession = 0x0011;
constexpr uint32_t kWmEndSession = 0x0016;
constexpr const char* kDiskFull = "There is not enough space on the disk (0x80070070)";

// Preview windows that open (or not, when the test says) and that the user
// can close.
class FakePreviews final : public PreviewWindows {
public:
    struct Window final : LivePreview {
        explicit Window(FakePreviews& owner) : owner_(owner) {}
        bool isClosed() const override { return closed; }
        void close() override {
            closed = true;
            ++owner_.closeCalls;
        }
        bool closed = false;

    private:
        FakePreviews& owner_;
    };

    std::unique_ptr<LivePreview> open(uint64_t, const std::string& title, const std::string& gdiName) override {
        opened.push_back(title + " " + gdiName);
        if (fails) return nullptr;
        auto window = std::make_unique<Window>(*this);
        windows.push_back(window.get());
        return window;
    }

    bool fails = false;
    int closeCalls = 0;
    std::vector<std::string> opened;
    std::vector<Window*> windows; // every window opened, in order (not owned)
};

// The region picker: answers with a rectangle, or cancels.
class FakePicker final : public RegionPicker {
public:
    bool pick(uint64_t, const ScreenRect& shown, ScreenRect& out) override {
        bounds = shown;
        if (!answer) return false;
        out = *answer;
        return true;
    }
    std::optional<ScreenRect> answer;
    ScreenRect bounds;
};

class CaptureSessionsTest : public test::CoreWorld {
protected:
    void SetUp() override {
        log::resetForTests();
        left = desk.displays.plug(sim::SimMonitor{}, -1920, 0);
        right = desk.displays.plug(sim::SimMonitor{}, 0, 0);
        {
            auto lock = capture.lock();
            capture.screens().clear();
            capture.screens().push_back(sim::SimScreen{desk.displays.gdiNameOf(left)});
            capture.screens().push_back(sim::SimScreen{desk.displays.gdiNameOf(right)});
            // Each display shows its desktop at once, as a duplication's first
            // frame does, so a recording holds a sample before it can be stopped.
            for (sim::SimScreen& screen : capture.screens()) screen.pendingFrames = 1;
        }
        config.recordingDir = "D:\\Rec";
        desk.crash.setLocalTime({2025, 3, 7, 9, 5, 3});
        for (const DisplayInfo& display : bus.displays()) {
            if (display.gdiName == desk.displays.gdiNameOf(left)) leftKey = display.key;
            if (display.gdiName == desk.displays.gdiNameOf(right)) rightKey = display.key;
        }
        controller = std::make_unique<TrayController>(ports());
        ASSERT_TRUE(controller->create(kInstance, bus, manager, layouts, config));
        hooks = controller->flyoutHooks();
        desk.shell.notices.clear();
        desk.process.calls.clear();
    }

    TrayController::Ports ports() {
        TrayController::Ports p{desk.process, desk.shell, desk.hotkeys, desk.ticks};
        p.shellApi = &desk.process;
        p.capture = &capture;
        p.ndi = &ndi;
        p.previews = &previews;
        p.regionPicker = &picker;
        return p;
    }

    bool called(const std::string& prefix) const {
        for (const std::string& call : desk.process.calls)
            if (call.rfind(prefix, 0) == 0) return true;
        return false;
    }
    size_t times(const std::string& call) const {
        return static_cast<size_t>(std::count(desk.process.calls.begin(), desk.process.calls.end(), call));
    }
    // Waits in real time (up to ten seconds) for a worker's post to the
    // controller window.
    bool waitForPost() {
        for (int i = 0; i < 2000 && desk.process.postedCount() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return desk.process.postedCount() != 0;
    }

    sim::SimCaptureBackend capture;
    // No runtime is installed until a test places one.
    sim::SimNdiLibrary ndiLibrary;
    NdiRuntime ndi{ndiLibrary};
    FakePreviews previews;
    FakePicker picker;
    uint32_t left = 0;
    uint32_t right = 0;
    std::string leftKey;
    std::string rightKey;
    std::unique_ptr<TrayController> controller;
    FlyoutHooks hooks;
};

TEST_F(CaptureSessionsTest, PreviewLimitCountsOnlyOpenWindowsAndToggleCloses) {
    config.maxPreviews = 2;
    hooks.togglePreview(leftKey);
    hooks.togglePreview(rightKey);
    hooks.togglePreview(leftKey); // open already: closes it
    EXPECT_FALSE(hooks.previewOpen(leftKey));
    hooks.togglePreview(leftKey);
    EXPECT_TRUE(hooks.previewOpen(leftKey));
    EXPECT_TRUE(hooks.previewOpen(rightKey));

    // A third display's preview would pass the limit; a second window of the
    // same display counts the same.
    controller->captures().togglePreview("unknown key");
    EXPECT_EQ(desk.shell.notices, (std::vector<Notice>{{"Quorvane", "Preview limit reached (2). Close one first.", true}}));

    // The user closes one window: the next request succeeds.
    previews.windows[1]->closed = true;
    desk.shell.notices.clear();
    hooks.togglePreview(rightKey);
    EXPECT_TRUE(desk.shell.notices.empty());
    EXPECT_TRUE(hooks.previewOpen(rightKey));
    EXPECT_EQ(previews.opened.size(), 4u);
}

TEST_F(CaptureSessionsTest, PreviewFailuresAreNotices) {
    struct Case {
        const char* name;
        bool unknownKey;
        bool windowFails;
        const char* text;
    };
    const Case cases[] = {
        {"unplugged", true, false, "That monitor is no longer connected."},
        {"no window", false, true, "Could not open preview window."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        desk.shell.notices.clear();
        previews.fails = c.windowFails;
        hooks.togglePreview(c.unknownKey ? std::string("gone") : leftKey);
        EXPECT_EQ(desk.shell.notices, (std::vector<Notice>{{"Quorvane", c.text, true}}));
        EXPECT_FALSE(hooks.previewOpen(leftKey));
    }
}

TEST_F(CaptureSessionsTest, RecordingStartsNamedByTheTimeAndStopsWithItsPath) {
    hooks.toggleRecording(rightKey);
    ASSERT_TRUE(hooks.recordingActive(rightKey));
    const std::string name = bus.displays()[1].name;
    EXPECT_EQ(desk.shell.notices,
              (std::vector<Notice>{{"Recording started", name + "  \xE2\x86\x92  QV-20250307-090503.mp4", false}}));
    ASSERT_EQ(capture.files().size(), 1u);
    EXPECT_EQ(capture.files()[0]->path, "D:\\Rec\\QV-20250307-090503.mp4");

    desk.shell.notices.clear();
    hooks.toggleRecording(rightKey);
    EXPECT_FALSE(hooks.recordingActive(rightKey));
    EXPECT_TRUE(capture.files()[0]->finalized);
    EXPECT_EQ(desk.shell.notices, (std::vector<Notice>{{"Recording saved", "D:\\Rec\\QV-20250307-090503.mp4", false}}));
}

TEST_F(CaptureSessionsTest, RecordingsInTheSameSecondNeverShareAFile) {
    // Another program's file of that name is on disk already, then two
    // displays start in the same second.
    desk.process.existingPaths.insert("D:\\Rec\\QV-20250307-090503.mp4");
    hooks.toggleRecording(leftKey);
    hooks.toggleRecording(rightKey);
    ASSERT_EQ(capture.files().size(), 2u);
    EXPECT_EQ(capture.files()[0]->path, "D:\\Rec\\QV-20250307-090503-2.mp4");
    EXPECT_EQ(capture.files()[1]->path, "D:\\Rec\\QV-20250307-090503-3.mp4");
    EXPECT_EQ(desk.shell.notices.back().text.substr(desk.shell.notices.back().text.size() - 24),
              "QV-20250307-090503-3.mp4");
}

TEST_F(CaptureSessionsTest, RegionIsPickedOverTheDisplayAndMadeDisplayRelative) {
    picker.answer = ScreenRect{-1820, 100, -1420, 400};
    hooks.toggleRegionRecording(leftKey);
    EXPECT_EQ(picker.bounds, (ScreenRect{-1920, 0, 0, 1080}));
    ASSERT_TRUE(hooks.recordingActive(leftKey));
    ASSERT_EQ(capture.files().size(), 1u);
    EXPECT_EQ(capture.files()[0]->width, 400);
    EXPECT_EQ(capture.files()[0]->height, 300);
    EXPECT_NE(desk.shell.notices.back().text.find(" (region)  \xE2\x86\x92  "), std::string::npos);
    hooks.toggleRecording(leftKey);

    // Cancelling the picker starts nothing and says nothing.
    desk.shell.notices.clear();
    picker.answer.reset();
    hooks.toggleRegionRecording(leftKey);
    hooks.toggleRegionNdi(leftKey);
    EXPECT_FALSE(hooks.recordingActive(leftKey));
    EXPECT_EQ(capture.files().size(), 1u);
}

TEST_F(CaptureSessionsTest, FailedRecordingShowsTheRecordersText) {
    {
        auto lock = capture.lock();
        capture.screens()[1].duplicateFailures = -1;
    }
    hooks.toggleRecording(rightKey);
    EXPECT_FALSE(hooks.recordingActive(rightKey));
    EXPECT_EQ(desk.shell.notices, (std::vector<Notice>{{"Recording failed", "DuplicateOutput failed", true}}));
}

TEST_F(CaptureSessionsTest, RecordingThatEndedOnItsOwnIsReplacedNotStoppedAgain) {
    hooks.toggleRecording(rightKey);
    {
        auto lock = capture.lock();
        capture.screens()[1].width = 2560;
        capture.screens()[1].height = 1440;
        capture.screens()[1].loseAccess = true;
    }
    for (int i = 0; i < 2000 && hooks.recordingActive(rightKey); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_FALSE(hooks.recordingActive(rightKey));
    desk.shell.notices.clear();
    desk.crash.setLocalTime({2025, 3, 7, 9, 6, 0});
    hooks.toggleRecording(rightKey);
    EXPECT_TRUE(hooks.recordingActive(rightKey));
    ASSERT_EQ(desk.shell.notices.size(), 1u);
    EXPECT_EQ(desk.shell.notices[0].title, "Recording started");
}

// A recording that ends by itself (here the disk is full) tells the
// controller window from its worker; the notice says why, on the
// user-interface thread, once.
TEST_F(CaptureSessionsTest, ARecordingThatEndsByItselfSaysWhyAtOnce) {
    {
        auto lock = capture.lock();
        capture.encoderBehaviour().videoWritesBeforeFailure = 5;
        capture.encoderBehaviour().failureText = kDiskFull;
    }
    hooks.toggleRecording(rightKey);
    ASSERT_EQ(desk.shell.notices.size(), 1u);
    ASSERT_TRUE(waitForPost());
    EXPECT_FALSE(hooks.recordingActive(rightKey));
    EXPECT_EQ(times("PostMessageW(0x8008, 0, 0)"), 1u);
    desk.shell.notices.clear();
    desk.process.calls.clear();

    EXPECT_EQ(desk.process.runMessageLoop(), -1);
    EXPECT_EQ(desk.shell.notices,
              (std::vector<Notice>{{"Recording stopped", std::string("Recording stopped: ") + kDiskFull, true}}));
    EXPECT_EQ(times("ShutdownBlockReasonDestroy"), 1u);
    EXPECT_FALSE(desk.process.shutdownBlockReason.has_value());
    ASSERT_EQ(capture.files().size(), 1u);
    EXPECT_TRUE(capture.files()[0]->finalized);
    EXPECT_EQ(capture.files()[0]->video.size(), 5u);

    // Said once: the message again finds nothing to report.
    desk.shell.notices.clear();
    controller->onMessage(controller->window(), CaptureSessions::kRecordingEndedMessage, 0, 0);
    EXPECT_TRUE(desk.shell.notices.empty());
}

// A recording the user stops is reported saved only when its file was
// finished.
TEST_F(CaptureSessionsTest, AStopSaysSavedOnlyForAFinishedFile) {
    {
        auto lock = capture.lock();
        capture.encoderBehaviour().finalizeFails = true;
    }
    hooks.toggleRecording(leftKey);
    desk.shell.notices.clear();
    hooks.toggleRecording(leftKey);
    EXPECT_FALSE(hooks.recordingActive(leftKey));
    EXPECT_EQ(desk.shell.notices, (std::vector<Notice>{{"Recording stopped",
                                                         "Recording stopped: the file could not be finished", true}}));
}

TEST_F(CaptureSessionsTest, TheShutdownBlockReasonIsHeldWhileAnyRecordingRuns) {
    const std::string create = "ShutdownBlockReasonCreate(Finishing a recording\xE2\x80\xA6)";
    ndiLibrary.placeSystemLibrary(sim::SimNdiBuild::Complete);
    hooks.toggleNdi(leftKey);
    EXPECT_FALSE(called("ShutdownBlockReason")) << "a share finishes nothing";

    hooks.toggleRecording(leftKey);
    hooks.toggleRecording(rightKey);
    EXPECT_EQ(times(create), 1u);
    EXPECT_EQ(desk.process.shutdownBlockReason, std::optional<std::string>("Finishing a recording\xE2\x80\xA6"));

    hooks.toggleRecording(leftKey);
    EXPECT_FALSE(called("ShutdownBlockReasonDestroy")) << "the other recording still runs";
    hooks.toggleRecording(rightKey);
    EXPECT_EQ(times("ShutdownBlockReasonDestroy"), 1u);
    EXPECT_FALSE(desk.process.shutdownBlockReason.has_value());
    EXPECT_TRUE(hooks.ndiActive(leftKey));
}

// Windows may end the process as soon as WM_ENDSESSION has been answered, so
// every recording is finished (its index written) and every share ended
// inside the handler; a session end that was cancelled stops nothing.
TEST_F(CaptureSessionsTest, TheEndOfTheSessionFinishesEveryRecordingBeforeItsHandlerReturns) {
    ndiLibrary.placeSystemLibrary(sim::SimNdiBuild::Complete);
    capture.journal = [this](const std::string& line) { desk.process.record(line); };
    {
        auto lock = capture.lock();
        capture.screens()[0].pendingFrames = 2; // one for the recording, one for the share
    }
    hooks.toggleRecording(leftKey);
    // The share on the same display must not take the recording's frame: a
    // recording without a sample is removed, not finalised.
    const auto recordingHasItsFrame = [this] {
        for (int i = 0; i < 1000; ++i) {
            {
                auto lock = capture.lock();
                if (capture.screens()[0].pendingFrames <= 1) return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    };
    ASSERT_TRUE(recordingHasItsFrame());
    hooks.toggleRecording(rightKey);
    hooks.toggleNdi(leftKey);
    desk.process.calls.clear();
    desk.shell.notices.clear();
    const WindowHandle window = controller->window();

    EXPECT_EQ(controller->onMessage(window, kWmQueryEndSession, 0, 0), 1);
    EXPECT_EQ(controller->onMessage(window, kWmEndSession, 0, 0), 0);
    EXPECT_TRUE(desk.process.calls.empty()) << "a cancelled session end stops nothing";
    EXPECT_TRUE(hooks.recordingActive(leftKey));
    EXPECT_TRUE(hooks.recordingActive(rightKey));
    EXPECT_TRUE(hooks.ndiActive(leftKey));

    EXPECT_EQ(controller->onMessage(window, kWmEndSession, 1, 0), 0);
    desk.process.record("WM_ENDSESSION answered");
    EXPECT_EQ(desk.process.calls, (std::vector<std::string>{
                                      "Finalize(D:\\Rec\\QV-20250307-090503.mp4)",
                                      "Finalize(D:\\Rec\\QV-20250307-090503-2.mp4)",
                                      "ShutdownBlockReasonDestroy",
                                      "PostQuitMessage(0)",
                                      "WM_ENDSESSION answered",
                                  }));
    EXPECT_FALSE(hooks.recordingActive(leftKey));
    EXPECT_FALSE(hooks.recordingActive(rightKey));
    EXPECT_FALSE(hooks.ndiActive(leftKey));
    EXPECT_TRUE(desk.shell.notices.empty());
    EXPECT_EQ(capture.liveObjects(), 0);
    EXPECT_EQ(desk.process.runMessageLoop(), 0);
}

TEST_F(CaptureSessionsTest, TeardownFinalisesRecordingsQuietlyAndClosesPreviews) {
    hooks.toggleRecording(leftKey);
    hooks.togglePreview(rightKey);
    desk.shell.notices.clear();
    controller.reset();
    ASSERT_EQ(capture.files().size(), 1u);
    EXPECT_TRUE(capture.files()[0]->finalized);
    EXPECT_EQ(previews.closeCalls, 1);
    EXPECT_TRUE(desk.shell.notices.empty());
    EXPECT_EQ(capture.liveObjects(), 0);
}

TEST_F(CaptureSessionsTest, MissingNdiRuntimeOffersTheDownloadPage) {
    for (const int answer : {7, 6}) {
        SCOPED_TRACE(answer);
        desk.process.calls.clear();
        desk.process.messageBoxAnswer = answer;
        hooks.toggleNdi(leftKey);
        EXPECT_TRUE(called("MessageBoxW(owner " + std::to_string(controller->window()) +
                           ", Sharing a display over NDI needs the free NDI Runtime, which isn't installed on this PC "
                           "(or is too old).\n\nOpen the official download page now? After installing, just click "
                           "NDI again \xE2\x80\x94 no restart needed., NDI Runtime required, 0x10044)"));
        EXPECT_EQ(called(std::string("ShellExecuteExW(open, ") + CaptureSessions::kNdiDownloadPage), answer == 6);
        EXPECT_FALSE(hooks.ndiActive(leftKey));
    }
    EXPECT_TRUE(desk.shell.notices.empty());
}

TEST_F(CaptureSessionsTest, NdiSharesStartAndStopUnderTheDisplaysSourceName) {
    ndiLibrary.placeSystemLibrary(sim::SimNdiBuild::Complete);
    const std::string name = bus.displays()[1].name;
    hooks.toggleNdi(rightKey);
    ASSERT_TRUE(hooks.ndiActive(rightKey));
    picker.answer = ScreenRect{-1820, 100, -1420, 400};
    hooks.toggleRegionNdi(leftKey);
    ASSERT_TRUE(hooks.ndiActive(leftKey));
    const std::string leftName = bus.displays()[0].name;
    ASSERT_EQ(ndiLibrary.creates().size(), 2u);
    EXPECT_EQ(ndiLibrary.creates()[0].name, name + " (DISPLAY2)");
    EXPECT_EQ(ndiLibrary.creates()[1].name, leftName + " Region 400x300 (DISPLAY1)");

    hooks.toggleNdi(rightKey);
    EXPECT_FALSE(hooks.ndiActive(rightKey));
    EXPECT_TRUE(hooks.ndiActive(leftKey));
    EXPECT_EQ(desk.shell.notices,
              (std::vector<Notice>{{"NDI sharing started", name + " (DISPLAY2)", false},
                                   {"NDI sharing started", leftName + " Region 400x300 (DISPLAY1)", false},
                                   {"NDI sharing stopped", name + " (DISPLAY2)", false}}));
}

TEST_F(CaptureSessionsTest, NdiFailuresOtherThanAMissingRuntimeAreNotices) {
    struct Case {
        const char* name;
        sim::SimNdiBuild build;
        bool duplicationFails;
        Notice notice;
    };
    const Case cases[] = {
        {"refused initialisation", sim::SimNdiBuild::RefusesInitialize, false,
         {"NDI sharing unavailable",
          "NDIlib_initialize() returned false. This CPU may be unsupported (NDI requires SSSE3).", true}},
        {"display busy", sim::SimNdiBuild::Complete, true,
         {"NDI sharing failed",
          "DuplicateOutput failed (another app may hold the display, or access was denied on a secure desktop)",
          true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::SimNdiLibrary library;
        library.placeSystemLibrary(c.build);
        NdiRuntime runtime(library);
        TrayController::Ports p = ports();
        p.ndi = &runtime;
        controller.reset();
        controller = std::make_unique<TrayController>(p);
        ASSERT_TRUE(controller->create(kInstance, bus, manager, layouts, config));
        {
            auto lock = capture.lock();
            capture.screens()[1].duplicateFailures = c.duplicationFails ? -1 : 0;
        }
        desk.shell.notices.clear();
        controller->flyoutHooks().toggleNdi(rightKey);
        EXPECT_FALSE(controller->flyoutHooks().ndiActive(rightKey));
        EXPECT_EQ(desk.shell.notices, std::vector<Notice>{c.notice});
        controller.reset();
    }
}

TEST(CaptureSessionsNames, SourceNamesAndFileNames) {
    EXPECT_EQ(CaptureSessions::ndiSourceName("DELL U2720Q", "\\\\.\\DISPLAY2", false, {}), "DELL U2720Q (DISPLAY2)");
    EXPECT_EQ(CaptureSessions::ndiSourceName("Left", "\\\\.\\DISPLAY1", true, {100, 50, 740, 530}),
              "Left Region 640x480 (DISPLAY1)");
    EXPECT_EQ(CaptureSessions::ndiSourceName("Odd", "DISPLAY3", false, {}), "Odd (DISPLAY3)");
    EXPECT_EQ(CaptureSessions::recordingFileName({2025, 3, 7, 9, 5, 3}), "QV-20250307-090503.mp4");
    EXPECT_EQ(CaptureSessions::recordingFileName({2026, 12, 31, 23, 59, 59}), "QV-20261231-235959.mp4");
}

} // namespace
} // namespace qv
