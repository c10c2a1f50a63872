#include "capture/ScreenRecorder.h"

#include "base/Log.h"
#include "capture/CaptureActivity.h"

#include <algorithm>
#include <cstring>
#include <future>
#include <memory>
#include <mutex>
#include <system_error>
#include <vector>

namespace qv {

namespace {

// Ends a recording when the re-created duplication has a different size: the
// crop and the encoder's frame size no longer fit.
constexpr const char* kModeChanged = "display mode changed";
// Ends a recording whose sample could not be written and whose writer has no
// text of its own for it.
constexpr const char* kWriteFailed = "could not write to the file";
// Why a file that was written to is not whole, or was removed.
constexpr const char* kNotFinished = "the file could not be finished";
constexpr const char* kNothingRecorded = "nothing was recorded";
// Consecutive failed re-duplications after which the recording gives up.
constexpr int kDuplicationAttempts = 101;
constexpr uint32_t kRetryWaitMs = 50;
// While the desktop cannot be duplicated (locked, a UAC prompt) the recording
// waits this long between attempts, writing the last image meanwhile.
constexpr uint32_t kPausedRetryMs = 500;
// The audio thread's wait when no packet is ready.
constexpr uint32_t kAudioIdleMs = 4;

// The encoder takes 16-bit PCM of one or two channels at the two common
// rates; the loopback delivers the mix format unchanged, so anything else is
// recorded without sound.
bool acceptedMix(const AudioLoopback::MixFormat& format) {
    return (format.channels == 1 || format.channels == 2) &&
           (format.sampleRate == 44100 || format.sampleRate == 48000) &&
           (format.bitsPerSample == 32 || format.bitsPerSample == 16);
}

} // namespace

// Everything one recording's threads share. Lives on the worker's stack.
struct ScreenRecorder::Session {
    Session(ScreenRecorder& recorderIn, std::promise<bool>& resultIn)
        : owner(recorderIn), clock(recorderIn.backend_.clock()), result(resultIn) {}

    bool setup(std::string& error);
    ScreenCapture::Duplicate duplicateAndCrop(std::string& error);
    void setupAudio();
    bool setupWriter(std::string& error);
    // Returns the text the loop ended with; empty when stopped on request.
    std::string videoLoop();
    void audioLoop();
    // Counts a sample the writer took; records the first refused one, whose
    // text ends the recording. Called under the writer lock.
    bool written(bool ok);
    // Finishes the file and tells how the recording came out; a file that
    // got no sample is removed.
    Outcome finish(std::string reason);
    // Stops the loopback if it was started, closes the capture objects, shuts
    // the writer's platform down if it was started and destroys them all, on
    // the thread that made them.
    void release();

    ScreenRecorder& owner;
    CaptureClock& clock;
    std::promise<bool>& result;
    std::unique_ptr<ScreenCapture> capture;
    std::unique_ptr<EncoderSink> encoder;
    std::unique_ptr<AudioLoopback> loopback;
    bool encoderStarted = false;
    bool audioReady = false;
    bool audioIsFloat = false;
    bool audioStarted = false;
    AudioLoopback::MixFormat mix;
    std::mutex writerLock;
    int64_t startTime = 0;
    // The display's upright size (a turned display's frames are recorded
    // upright), the recorded part of it, where that part lies in the frames
    // as they are delivered and how they are turned.
    int32_t outputWidth = 0;
    int32_t outputHeight = 0;
    recorder::Crop crop;
    recorder::Crop box;
    recorder::Rotation rotation = recorder::Rotation::Identity;
    std::atomic<bool> videoEnded{false};
    // Under the writer lock: samples written, and the text of the first
    // refused write; writeFailed is also read without it.
    uint64_t samples = 0;
    std::string writeFailure;
    std::atomic<bool> writeFailed{false};
};

ScreenRecorder::ScreenRecorder(CaptureBackend& backend) : backend_(backend) {}

ScreenRecorder::~ScreenRecorder() { stop(); }

bool ScreenRecorder::start(const std::string& gdiName, const std::string& outputPathUtf8, int32_t fps, bool audio,
                           const recorder::Region& region) {
    if (worker_.joinable()) return false;
    gdiName_ = gdiName;
    outputPath_ = outputPathUtf8;
    fps_ = fps < 1 ? 30 : fps;
    audio_ = audio;
    region_ = region;
    stopRequested_ = false;
    status_.clear();

    // The worker owns the promise, so it outlives the hand-over even when
    // this function returns first.
    std::promise<bool> channel;
    std::future<bool> started = channel.get_future();
    worker_ = std::thread([this, channel = std::move(channel)]() mutable {
        Session session(*this, channel);
        run(session);
    });
    if (started.get()) {
        log::write(log::Info, "Recording -> " + outputPath_);
        return true;
    }
    if (worker_.joinable()) worker_.join();
    log::write(log::Warn, "ScreenRecorder start failed: " + status_);
    return false;
}

void ScreenRecorder::stop() {
    stopRequested_ = true;
    if (worker_.joinable()) worker_.join();
    recording_ = false;
}

// Written only by the worker's setup phase, before it hands its result over.
std::string ScreenRecorder::status() const { return status_; }

ScreenRecorder::Outcome ScreenRecorder::outcome() const {
    std::lock_guard<std::mutex> lock(outcomeLock_);
    return outcome_;
}

void ScreenRecorder::run(Session& session) {
    CaptureClock& clock = session.clock;
    clock.enterThread();

    std::string error;
    if (!session.setup(error)) {
        session.release();
        clock.leaveThread();
        status_ = error;
        session.result.set_value(false);
        return;
    }

    session.startTime = clock.now100ns();
    if (session.audioReady) {
        session.audioStarted = session.loopback->start();
        session.audioReady = session.audioStarted;
    }
    {
        std::lock_guard<std::mutex> lock(outcomeLock_);
        outcome_ = Outcome{};
    }
    const CaptureActivity active;
    recording_ = true;
    session.result.set_value(true);

    std::thread audioThread;
    if (session.audioReady) {
        // Without a thread for the sound the recording goes on silent rather
        // than letting the exception end the process.
        try {
            audioThread = std::thread([&session] { session.audioLoop(); });
        } catch (const std::system_error&) {
            session.audioReady = false;
        }
    }

    const std::string reason = session.videoLoop();
    if (!reason.empty()) log::write(log::Warn, "Recorder: stopping (" + reason + ")");

    session.videoEnded = true;
    if (audioThread.joinable()) audioThread.join();
    if (session.audioStarted) {
        session.loopback->stop();
        session.audioStarted = false;
    }
    const Outcome outcome = session.finish(reason);
    session.release();
    {
        std::lock_guard<std::mutex> lock(outcomeLock_);
        outcome_ = outcome;
    }
    clock.leaveThread();
    recording_ = false;
    // The owner learns of an end it did not ask for; after a stop it reads
    // the outcome itself.
    if (!stopRequested_ && ended_) ended_();
}

ScreenRecorder::Outcome ScreenRecorder::Session::finish(std::string reason) {
    Outcome outcome;
    const bool finished = encoder->finalize();
    if (samples == 0) {
        // An MP4 without a single sample plays nothing; it is not left behind.
        encoder->discard();
        log::write(log::Warn, "Recorder: nothing was recorded; the file is removed");
        outcome.reason = reason.empty() ? kNothingRecorded : reason;
        return outcome;
    }
    if (!finished) {
        // What was written stays on disk: without its index the file does not
        // play, but the samples in it can still be rescued.
        const std::string text = encoder->failureText();
        log::write(log::Warn, std::string("Recorder: ") + kNotFinished + (text.empty() ? "" : " (" + text + ")"));
        outcome.reason = reason.empty() ? kNotFinished : reason;
        return outcome;
    }
    outcome.saved = true;
    outcome.reason = std::move(reason);
    return outcome;
}

bool ScreenRecorder::Session::setup(std::string& error) {
    CaptureBackend& backend = owner.backend_;
    encoder = backend.encoder();
    capture = backend.screenCapture();

    if (!encoder->startup()) {
        error = "MFStartup failed";
        return false;
    }
    encoderStarted = true;

    const ScreenCapture::OpenResult opened = capture->open(owner.gdiName_);
    if (opened != ScreenCapture::OpenResult::Ok) {
        error = ScreenCapture::openFailureText(opened, "Display not found for recording");
        return false;
    }
    if (duplicateAndCrop(error) != ScreenCapture::Duplicate::Ok) return false;
    if (!capture->createStaging(box.width, box.height)) {
        error = "Staging texture failed";
        return false;
    }
    if (owner.audio_) setupAudio();
    return setupWriter(error);
}

ScreenCapture::Duplicate ScreenRecorder::Session::duplicateAndCrop(std::string& error) {
    int32_t width = 0;
    int32_t height = 0;
    recorder::Rotation turned = recorder::Rotation::Identity;
    const ScreenCapture::Duplicate duplicated = capture->duplicate(width, height, turned);
    if (duplicated != ScreenCapture::Duplicate::Ok) {
        error = "DuplicateOutput failed";
        return duplicated;
    }
    // The region was picked on the desktop as the user sees it: it is cut
    // from the upright image, whose sides swap on a display turned a quarter.
    int32_t uprightWidth = 0;
    int32_t uprightHeight = 0;
    recorder::uprightSize(turned, width, height, uprightWidth, uprightHeight);
    if (outputWidth != 0) {
        // A re-created duplication must show the display as it was: the crop
        // and the encoder's frame size depend on it.
        if (uprightWidth != outputWidth || uprightHeight != outputHeight) {
            capture->releaseDuplication();
            error = kModeChanged;
            return ScreenCapture::Duplicate::Failed;
        }
        // The same upright picture may now lie turned another way in the
        // frames (a half turn keeps the size): the crop stays, its box moves.
        const recorder::Crop moved = recorder::frameBox(crop, turned, width, height);
        const bool resized = moved.width != box.width || moved.height != box.height;
        if (resized && !capture->createStaging(moved.width, moved.height)) {
            capture->releaseDuplication();
            error = "Staging texture failed";
            return ScreenCapture::Duplicate::Failed;
        }
        box = moved;
        rotation = turned;
        return ScreenCapture::Duplicate::Ok;
    }
    outputWidth = uprightWidth;
    outputHeight = uprightHeight;
    if (!recorder::crop(owner.region_, uprightWidth, uprightHeight, crop, error)) {
        capture->releaseDuplication();
        return ScreenCapture::Duplicate::Failed;
    }
    box = recorder::frameBox(crop, turned, width, height);
    rotation = turned;
    return ScreenCapture::Duplicate::Ok;
}

void ScreenRecorder::Session::setupAudio() {
    loopback = owner.backend_.loopback();
    AudioLoopback::MixFormat format;
    if (!loopback->open(format) || !acceptedMix(format) || !loopback->initialize()) return;
    mix = format;
    audioIsFloat = format.bitsPerSample == 32;
    audioReady = true;
}

bool ScreenRecorder::Session::setupWriter(std::string& error) {
    if (!encoder->create(owner.outputPath_)) {
        error = "Could not create the output file";
        return false;
    }
    const uint32_t fps = static_cast<uint32_t>(owner.fps_);
    const uint32_t bitrate = recorder::videoBitrate(crop.width, crop.height, owner.fps_);
    switch (encoder->addVideo(crop.width, crop.height, fps, bitrate)) {
    case EncoderSink::VideoResult::Ok: break;
    case EncoderSink::VideoResult::AddStreamFailed: error = "AddStream (video) failed"; return false;
    case EncoderSink::VideoResult::InputTypeFailed: error = "SetInputMediaType (video) failed"; return false;
    }
    if (audioReady && !encoder->addAudio(mix.channels, mix.sampleRate)) {
        audioReady = false;
        log::write(log::Warn, "Recorder: audio stream unavailable; recording video only");
    }
    if (!encoder->beginWriting()) {
        error = "BeginWriting failed";
        return false;
    }
    return true;
}

bool ScreenRecorder::Session::written(bool ok) {
    if (ok) {
        ++samples;
        return true;
    }
    if (!writeFailed) {
        writeFailure = encoder->failureText();
        if (writeFailure.empty()) writeFailure = kWriteFailed;
        writeFailed = true;
    }
    return false;
}

std::string ScreenRecorder::Session::videoLoop() {
    const uint32_t fps = static_cast<uint32_t>(owner.fps_);
    const int64_t period = 10000000 / fps;
    const uint32_t waitMs = 1000 / fps;

    std::vector<uint8_t> frame(static_cast<size_t>(crop.width) * static_cast<size_t>(crop.height) * 4, 0);
    bool haveFrame = false;
    int failures = 0;
    // While the desktop cannot be duplicated the recording is paused: the
    // last image goes on being written at the recording's pace, so the
    // picture keeps its place beside the sound, and duplication is tried
    // again every kPausedRetryMs.
    bool paused = false;
    uint64_t nextAttempt = 0;
    int64_t lastVideoTime = -1;

    for (;;) {
        const uint64_t passStart = clock.tickMs();
        bool capturing = capture->hasDuplication();
        bool waiting = false; // a failed attempt outside a pause: no sample this pass
        if (!capturing && (!paused || passStart >= nextAttempt)) {
            std::string error;
            switch (duplicateAndCrop(error)) {
            case ScreenCapture::Duplicate::Ok:
                failures = 0;
                capturing = true;
                if (paused) {
                    paused = false;
                    log::write(log::Info, "Recorder: resumed");
                }
                break;
            case ScreenCapture::Duplicate::Unavailable:
                // Not a failure: the desktop comes back when the user unlocks
                // it or answers the prompt.
                failures = 0;
                if (!paused) {
                    paused = true;
                    log::write(log::Warn, "Recorder: paused (desktop unavailable)");
                }
                nextAttempt = passStart + kPausedRetryMs;
                break;
            case ScreenCapture::Duplicate::Failed:
                if (error == kModeChanged) return error;
                if (++failures >= kDuplicationAttempts) return error;
                if (paused) {
                    nextAttempt = passStart + kRetryWaitMs;
                } else {
                    clock.sleepMs(kRetryWaitMs);
                    waiting = true;
                }
                break;
            }
        }

        if (!waiting) {
            if (capturing && capture->acquire(waitMs, &box, rotation, frame.data()) == ScreenCapture::Acquire::Frame)
                haveFrame = true;
            // A static screen still gets fps samples a second, each repeating
            // the last image. A pass that took no time (a lost duplication
            // right after a wait) would repeat the previous sample's time;
            // it writes nothing.
            const int64_t time = std::max<int64_t>(clock.now100ns() - startTime, 0);
            if (haveFrame && time > lastVideoTime) {
                lastVideoTime = time;
                std::lock_guard<std::mutex> lock(writerLock);
                if (!written(encoder->writeVideo(frame.data(), frame.size(), time, period))) return writeFailure;
            }
            const uint64_t now = clock.tickMs();
            const uint64_t elapsed = now > passStart ? now - passStart : 0;
            if (elapsed < waitMs) clock.sleepMs(static_cast<uint32_t>(waitMs - elapsed));
        }

        // A sound sample the writer refused ends the recording as well.
        if (writeFailed) {
            std::lock_guard<std::mutex> lock(writerLock);
            return writeFailure;
        }
        if (owner.stopRequested_) return {};
    }
}

void ScreenRecorder::Session::audioLoop() {
    clock.enterThread();
    const size_t channels = mix.channels;
    const int64_t rate = mix.sampleRate;
    std::vector<int16_t> pcm;

    while (!owner.stopRequested_ && !videoEnded && !writeFailed) {
        uint32_t frames = 0;
        if (!loopback->nextPacketSize(frames)) break;
        if (frames == 0) {
            clock.sleepMs(kAudioIdleMs);
            continue;
        }
        AudioLoopback::Packet packet;
        if (!loopback->getBuffer(packet)) break;
        if (packet.frames > 0) {
            const size_t count = channels * packet.frames;
            pcm.resize(count);
            if (packet.silent || packet.data == nullptr) {
                std::fill(pcm.begin(), pcm.end(), int16_t{0});
            } else if (audioIsFloat) {
                recorder::floatToS16(reinterpret_cast<const float*>(packet.data), pcm.data(), count);
            } else {
                std::memcpy(pcm.data(), packet.data, count * sizeof(int16_t));
            }
            const int64_t time = std::max<int64_t>(packet.position100ns - startTime, 0);
            const int64_t duration = static_cast<int64_t>(packet.frames) * 10000000 / rate;
            std::lock_guard<std::mutex> lock(writerLock);
            written(encoder->writeAudio(pcm.data(), count, time, duration));
        }
        loopback->releaseBuffer(packet.frames);
    }
    clock.leaveThread();
}

void ScreenRecorder::Session::release() {
    if (audioStarted) {
        loopback->stop();
        audioStarted = false;
    }
    if (loopback) loopback->close();
    if (capture) capture->close();
    if (encoder && encoderStarted) encoder->shutdown();
    encoderStarted = false;
    loopback.reset();
    capture.reset();
    encoder.reset();
}

} // namespace qv
