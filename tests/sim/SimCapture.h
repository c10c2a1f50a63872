#pragma once
#include "capture/CapturePorts.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qv::sim {

// The capture side of the simulated desktop: a clock that moves only when
// someone waits, displays as desktop duplication sees them, an MP4 writer
// that records what it is given and a loopback device that plays packets a
// test queues. Tests change a display's state through SimCaptureBackend while
// a worker runs; every shared member is guarded by the backend's mutex.

class SimCaptureClock final : public CaptureClock {
public:
    static constexpr uint64_t kStartMs = 3600000;

    int64_t now100ns() override { return static_cast<int64_t>(ms_.load()) * 10000; }
    uint64_t tickMs() override { return ms_.load(); }
    // Waiting moves time on by the wait. A wait that would pass the hold
    // point (holdAt) moves time to that point and blocks there until the hold
    // is moved beyond the wait's end or released.
    void sleepMs(uint32_t milliseconds) override;
    void enterThread() override { ++threadsEntered_; }
    void leaveThread() override { ++threadsLeft_; }

    void advance(uint64_t ms) { ms_ += ms; }
    int threadsEntered() const { return threadsEntered_.load(); }
    int threadsLeft() const { return threadsLeft_.load(); }

    // Lets a test stop a worker's time at a known point (absolute, in the
    // clock's milliseconds) and look at what it did up to there.
    void holdAt(uint64_t ms);
    void release();
    // Waits (in real time, up to ten seconds) until some thread is blocked at
    // the hold; false when none got there.
    bool waitUntilHeld();

private:
    std::atomic<uint64_t> ms_{kStartMs};
    std::atomic<int> threadsEntered_{0};
    std::atomic<int> threadsLeft_{0};
    std::mutex holdMutex_;
    std::condition_variable holdChanged_;
    uint64_t holdAt_ = 0;                // 0: no hold
    std::vector<uint64_t> heldTargets_; // where each blocked wait wants to go
};

// What DXGI_OUTDUPL_DESC.Rotation reports, as DXGI_MODE_ROTATION numbers it
// (learn.microsoft.com, "DXGI_MODE_ROTATION enumeration"). Kept apart from the
// program's own enumeration so a wrong number there shows.
namespace dxgi_rotation {
constexpr uint32_t kUnspecified = 0;
constexpr uint32_t kIdentity = 1;
constexpr uint32_t kRotate90 = 2;
constexpr uint32_t kRotate180 = 3;
constexpr uint32_t kRotate270 = 4;
} // namespace dxgi_rotation

// The upright desktop position that a frame pixel shows, as Microsoft's
// Desktop Duplication sample places a frame rectangle for each rotation:
// ROTATE90 turns the frame a quarter clockwise, ROTATE270 a quarter
// counter-clockwise, ROTATE180 half way round.
void simDesktopOf(uint32_t rotation, int32_t frameWidth, int32_t frameHeight, int32_t x, int32_t y, int32_t& desktopX,
                  int32_t& desktopY);

// A desktop pixel that names its own place: row in the high half, column in
// the low half.
inline uint32_t simDesktopPixel(int32_t x, int32_t y) {
    return (static_cast<uint32_t>(y) << 16) | (static_cast<uint32_t>(x) & 0xFFFF);
}

// One display as the duplication sees it.
struct SimScreen {
    std::string gdiName = "\\\\.\\DISPLAY1";
    // The mode: the size frames arrive in, the panel's own orientation.
    int32_t width = 1920;
    int32_t height = 1080;
    // How the desktop is turned on the frames (dxgi_rotation).
    uint32_t rotation = dxgi_rotation::kIdentity;
    // Frames show the desktop itself, each pixel simDesktopPixel of its
    // upright place, instead of the one value frameValue.
    bool desktopPicture = false;
    ScreenCapture::OpenResult openResult = ScreenCapture::OpenResult::Ok;
    // The next this many duplicate() calls fail; -1 fails them all.
    int duplicateFailures = 0;
    // The next this many duplicate() calls answer that the desktop cannot be
    // duplicated for now (the secure desktop shows); -1 answers so for ever.
    // Counted after duplicateFailures.
    int duplicateUnavailable = 0;
    bool stagingFails = false;
    // New desktop frames waiting to be acquired; each carries the next pixel
    // value (frameValue, then frameValue + 1, …). With none waiting an
    // acquire waits its whole time-out on the clock.
    int pendingFrames = 0;
    uint32_t frameValue = 0x10203040;
    // The next acquire reports lost access.
    bool loseAccess = false;
    // What the worker did.
    int duplicateCalls = 0;
    int acquireCalls = 0;
    std::vector<recorder::Crop> copiedBoxes; // the box of every copied frame (whole frame: 0,0,W,H)
    std::vector<uint32_t> copiedRotations;   // the rotation each was asked to be turned by
    int stagingWidth = 0;
    int stagingHeight = 0;
};

struct SimVideoSample {
    int64_t time = 0;
    int64_t duration = 0;
    size_t bytes = 0;
    uint32_t firstPixel = 0;
    uint32_t lastPixel = 0;
};

struct SimAudioSample {
    int64_t time = 0;
    int64_t duration = 0;
    std::vector<int16_t> samples;
};

// What one MP4 writer was asked to do.
struct SimMp4 {
    bool started = false;
    bool shutDown = false;
    std::string path;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t fps = 0;
    uint32_t bitrate = 0;
    uint32_t audioChannels = 0;
    uint32_t audioRate = 0;
    bool writing = false;
    bool finalized = false;
    // Discarded: released unfinished and deleted.
    bool removed = false;
    std::vector<SimVideoSample> video;
    std::vector<SimAudioSample> audio;
};

// How the writers behave.
struct SimEncoderBehaviour {
    bool startupFails = false;
    bool createFails = false;
    EncoderSink::VideoResult videoResult = EncoderSink::VideoResult::Ok;
    bool audioFails = false;
    bool beginFails = false;
    // Video samples taken before every later one is refused; -1 takes all.
    int videoWritesBeforeFailure = -1;
    bool audioWritesFail = false;
    bool finalizeFails = false;
    // What the writer says about its last failure.
    std::string failureText;
};

struct SimAudioPacket {
    std::vector<uint8_t> data; // frames × channels × bytes per sample
    uint32_t frames = 0;
    bool silent = false;
    int64_t position100ns = 0;
};

// The default playback device's loopback.
struct SimSpeakers {
    bool present = true;
    AudioLoopback::MixFormat format{2, 48000, 32};
    bool initializeFails = false;
    std::deque<SimAudioPacket> packets;
    // The device disappears once the queue is empty.
    bool goneWhenEmpty = false;
    int started = 0;
    int stopped = 0;
    int released = 0; // frames handed back
};

class SimCaptureBackend final : public CaptureBackend {
public:
    CaptureClock& clock() override { return clock_; }
    std::unique_ptr<ScreenCapture> screenCapture() override;
    std::unique_ptr<EncoderSink> encoder() override;
    std::unique_ptr<AudioLoopback> loopback() override;

    SimCaptureClock& simClock() { return clock_; }
    // Every access to the state below from a test while a worker runs goes
    // through lock().
    std::unique_lock<std::mutex> lock() { return std::unique_lock<std::mutex>(mutex_); }
    std::vector<SimScreen>& screens() { return screens_; }
    SimScreen* screen(const std::string& gdiName);
    SimEncoderBehaviour& encoderBehaviour() { return encoderBehaviour_; }
    // One entry per writer made, in order.
    std::vector<std::shared_ptr<SimMp4>>& files() { return files_; }
    SimSpeakers& speakers() { return speakers_; }
    // Capture objects alive now (made and not yet destroyed).
    int liveObjects() const { return live_.load(); }
    // Told "Finalize(path)" and "DeleteFile(path)" as the writers finish or
    // discard their files, from the thread that does it, so a test can put
    // them beside the calls it records elsewhere. Set before any worker runs.
    std::function<void(const std::string&)> journal;

private:
    friend class SimScreenCapture;
    friend class SimEncoderSink;
    friend class SimAudioLoopback;

    SimCaptureClock clock_;
    std::mutex mutex_;
    std::vector<SimScreen> screens_{SimScreen{}};
    SimEncoderBehaviour encoderBehaviour_;
    std::vector<std::shared_ptr<SimMp4>> files_;
    SimSpeakers speakers_;
    std::atomic<int> live_{0};
};

} // namespace qv::sim
