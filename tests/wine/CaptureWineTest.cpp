// The capture adapters against Wine's DXGI, Direct3D 11, Media Foundation and
// audio stack. Wine has no desktop duplication, no H.264 encoder and, without
// a sound server, no playback device: these tests run the adapters up to the
// step where Wine stops and check that they fail there cleanly.
#include "base/win32/Utf16.h"
#include "capture/ScreenRecorder.h"
#include "capture/win32/Win32AudioLoopback.h"
#include "capture/win32/Win32CaptureBackend.h"
#include "capture/win32/Win32CaptureClock.h"
#include "capture/win32/Win32EncoderSink.h"
#include "capture/win32/Win32ScreenCapture.h"
#include "wine/WineTestSupport.h"

#include "wine/ThreadCount.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <string>
#include <thread>

namespace qv {
namespace {

constexpr const char* kDisplay = "\\\\.\\DISPLAY1";

std::string hex(uint32_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
}

// Threads of this process, from a toolhelp snapshot.

// Runs body on a thread of its own inside the capture clock's apartment, as
// the recorder's worker does.
template <typename Body>
void onCaptureThread(Body body) {
    std::thread thread([&] {
        Win32CaptureClock clock;
        clock.enterThread();
        body();
        clock.leaveThread();
    });
    thread.join();
}

TEST(CaptureWine, TheClockCountsInHundredNanosecondsAndMilliseconds) {
    Win32CaptureClock clock;
    const int64_t before = clock.now100ns();
    const uint64_t tickBefore = clock.tickMs();
    clock.sleepMs(20);
    const int64_t after = clock.now100ns();
    EXPECT_GT(after - before, 100000) << "at least 10 ms in 100 ns units";
    EXPECT_LT(after - before, 100000000) << "less than 10 s";
    EXPECT_GE(clock.tickMs(), tickBefore);
}

// A capture thread enters the multithreaded apartment and leaves it again; a
// thread that already lives in a single-threaded one keeps it.
TEST(CaptureWine, TheClockEntersAndLeavesTheMultithreadedApartment) {
    std::thread fresh([] {
        Win32CaptureClock clock;
        clock.enterThread();
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE) << "in the MTA";
        clock.leaveThread();
        const HRESULT after = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        EXPECT_EQ(after, S_OK) << "the MTA was left";
        if (SUCCEEDED(after)) CoUninitialize();
    });
    fresh.join();

    std::thread singleThreaded([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        Win32CaptureClock clock;
        clock.enterThread();
        clock.leaveThread();
        const HRESULT again = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        EXPECT_EQ(again, S_FALSE) << "the thread's own apartment is still there";
        if (SUCCEEDED(again)) CoUninitialize();
        CoUninitialize();
    });
    singleThreaded.join();
}

TEST(CaptureWine, FindsWinesDisplayButCannotDuplicateIt) {
    onCaptureThread([] {
        Win32ScreenCapture capture;
        ASSERT_EQ(capture.open(kDisplay), ScreenCapture::OpenResult::Ok) << hex(capture.lastError());
        int32_t width = 0;
        int32_t height = 0;
        recorder::Rotation rotation = recorder::Rotation::Identity;
        // E_NOTIMPL never passes with time: a failure, not a pause.
        EXPECT_EQ(capture.duplicate(width, height, rotation), ScreenCapture::Duplicate::Failed)
            << "Wine has no desktop duplication";
        EXPECT_EQ(capture.lastError(), 0x80004001u) << hex(capture.lastError()); // E_NOTIMPL
        EXPECT_FALSE(capture.hasDuplication());
        EXPECT_TRUE(capture.createStaging(64, 32)) << hex(capture.lastError());
        uint8_t pixels[64 * 32 * 4];
        const recorder::Crop box{0, 0, 64, 32};
        EXPECT_EQ(capture.acquire(0, &box, recorder::Rotation::Identity, pixels), ScreenCapture::Acquire::Failed)
            << "no duplication to acquire from";
        capture.close();
        capture.close();
    });
}

TEST(CaptureWine, AnUnknownDisplayNameMatchesNoOutput) {
    onCaptureThread([] {
        Win32ScreenCapture capture;
        for (const char* name : {"\\\\.\\DISPLAY9", "\\\\.\\display1", "\\\\.\\DISPLAY1 ", "\\\\.\\DISPLAY", ""}) {
            SCOPED_TRACE(name);
            EXPECT_EQ(capture.open(name), ScreenCapture::OpenResult::OutputNotFound);
        }
    });
}

TEST(CaptureWine, ARecorderOnWinesDisplayStopsAtTheDuplication) {
    CapturedLog log;
    Win32CaptureBackend backend;
    {
        // The first run loads the graphics and media libraries, which keep
        // threads of their own for the life of the process.
        ScreenRecorder warmUp(backend);
        EXPECT_FALSE(warmUp.start(kDisplay, "unused.mp4", 30, true, {}));
    }
    const int before = test::stableThreadCount();
    ASSERT_GT(before, 0);
    {
        // The snapshot does see a thread that is still there.
        HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::thread waiting([release] { WaitForSingleObject(release, INFINITE); });
        EXPECT_EQ(test::stableThreadCount(), before + 1);
        SetEvent(release);
        waiting.join();
        CloseHandle(release);
    }

    ScreenRecorder recorder(backend);
    EXPECT_FALSE(recorder.start(kDisplay, "unused.mp4", 30, true, {}));
    EXPECT_EQ(recorder.status(), "DuplicateOutput failed");
    EXPECT_TRUE(log.has("WRN", "ScreenRecorder start failed: DuplicateOutput failed"));
    EXPECT_FALSE(recorder.isRecording());
    recorder.stop();
    EXPECT_LE(test::threadCountSettled(before), before) << "the recording left a thread behind";

    ScreenRecorder elsewhere(backend);
    EXPECT_FALSE(elsewhere.start("\\\\.\\DISPLAY9", "unused.mp4", 30, false, {}));
    EXPECT_EQ(elsewhere.status(), "Display not found for recording");
}

// Wine's Media Foundation starts, but its sink writer knows no container (it
// finds no sink for ".mp4"), so creating the file is where it stops.
TEST(CaptureWine, TheWriterStartsMediaFoundationButWineCannotMakeAnMp4) {
    TempFolder folder("qv-capture");
    ASSERT_FALSE(folder.path().empty());
    ASSERT_TRUE(CreateDirectoryW(widen(folder.path()).c_str(), nullptr));
    const std::string path = folder.path() + "\\QV-20250307-090503.mp4";
    onCaptureThread([&] {
        EXPECT_TRUE(Win32EncoderSink::available()) << "mfplat.dll and mfreadwrite.dll with every entry point";
        Win32EncoderSink sink;
        EXPECT_FALSE(sink.create(path)) << "no file before Media Foundation has started";
        ASSERT_TRUE(sink.startup()) << hex(sink.lastError());

        EXPECT_FALSE(sink.create(path));
        EXPECT_EQ(sink.lastError(), 0x80070057u) << hex(sink.lastError()); // E_INVALIDARG
        EXPECT_EQ(GetFileAttributesW(widen(path).c_str()), INVALID_FILE_ATTRIBUTES) << "no file is left behind";

        // Without a writer every later step fails instead of crashing.
        EXPECT_EQ(sink.addVideo(640, 480, 30, 4000000), EncoderSink::VideoResult::AddStreamFailed);
        EXPECT_FALSE(sink.addAudio(2, 48000));
        EXPECT_FALSE(sink.beginWriting());
        const uint8_t pixel[4] = {1, 2, 3, 4};
        EXPECT_FALSE(sink.writeVideo(pixel, sizeof pixel, 0, 333333));
        const int16_t samples[2] = {1, -1};
        EXPECT_FALSE(sink.writeAudio(samples, 2, 0, 208));
        EXPECT_FALSE(sink.finalize()) << "no file to finish";
        EXPECT_EQ(sink.failureText(), "") << "a refusal of our own has no system text";
        sink.discard();
        sink.shutdown();
        sink.shutdown();
    });
}

// Without a sound server Wine lists no playback device. With one, it has a
// device but refuses loopback capture.
TEST(CaptureWine, TheLoopbackFailsCleanlyWithoutAPlaybackDevice) {
    onCaptureThread([] {
        Win32AudioLoopback loopback;
        AudioLoopback::MixFormat format;
        if (loopback.open(format)) {
            EXPECT_GT(format.channels, 0u);
            EXPECT_FALSE(loopback.initialize()) << "Wine does not capture playback";
        } else {
            EXPECT_NE(loopback.lastError(), 0u);
            EXPECT_FALSE(loopback.initialize());
        }
        EXPECT_FALSE(loopback.start());
        uint32_t frames = 7;
        EXPECT_FALSE(loopback.nextPacketSize(frames));
        EXPECT_EQ(frames, 0u);
        AudioLoopback::Packet packet;
        EXPECT_FALSE(loopback.getBuffer(packet));
        loopback.releaseBuffer(0);
        loopback.stop();
        loopback.close();
        loopback.close();
    });
}

} // namespace
} // namespace qv
