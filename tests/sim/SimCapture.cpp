#include "sim/SimCapture.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace qv::sim {

void SimCaptureClock::sleepMs(uint32_t milliseconds) {
    std::unique_lock<std::mutex> lock(holdMutex_);
    const uint64_t target = ms_.load() + milliseconds;
    if (holdAt_ != 0 && target > holdAt_) {
        if (ms_.load() < holdAt_) ms_ = holdAt_;
        heldTargets_.push_back(target);
        holdChanged_.notify_all();
        holdChanged_.wait(lock, [&] { return holdAt_ == 0 || target <= holdAt_; });
        heldTargets_.erase(std::find(heldTargets_.begin(), heldTargets_.end(), target));
    }
    ms_ = std::max(ms_.load(), target);
}

void SimCaptureClock::holdAt(uint64_t ms) {
    std::lock_guard<std::mutex> lock(holdMutex_);
    holdAt_ = ms;
    holdChanged_.notify_all();
}

void SimCaptureClock::release() { holdAt(0); }

bool SimCaptureClock::waitUntilHeld() {
    std::unique_lock<std::mutex> lock(holdMutex_);
    // A wait released by a moved hold may not have woken yet: only one that
    // still wants to pass the current hold counts.
    return holdChanged_.wait_for(lock, std::chrono::seconds(10), [&] {
        return holdAt_ != 0 && std::any_of(heldTargets_.begin(), heldTargets_.end(),
                                           [&](uint64_t target) { return target > holdAt_; });
    });
}

void simDesktopOf(uint32_t rotation, int32_t frameWidth, int32_t frameHeight, int32_t x, int32_t y, int32_t& desktopX,
                  int32_t& desktopY) {
    switch (rotation) {
    case dxgi_rotation::kRotate90: // frame (l, t, r, b) at desktop (W − b, l, W − t, r), W = frameHeight
        desktopX = frameHeight - 1 - y;
        desktopY = x;
        break;
    case dxgi_rotation::kRotate180:
        desktopX = frameWidth - 1 - x;
        desktopY = frameHeight - 1 - y;
        break;
    case dxgi_rotation::kRotate270: // frame (l, t, r, b) at desktop (t, H − r, b, H − l), H = frameWidth
        desktopX = y;
        desktopY = frameWidth - 1 - x;
        break;
    default:
        desktopX = x;
        desktopY = y;
        break;
    }
}

class SimScreenCapture final : public ScreenCapture {
public:
    explicit SimScreenCapture(SimCaptureBackend& backend) : backend_(backend) { ++backend_.live_; }
    ~SimScreenCapture() override { --backend_.live_; }

    OpenResult open(const std::string& gdiName) override {
        auto lock = backend_.lock();
        SimScreen* screen = backend_.screen(gdiName);
        if (!screen) return OpenResult::OutputNotFound;
        if (screen->openResult == OpenResult::Ok) gdiName_ = gdiName;
        return screen->openResult;
    }

    Duplicate duplicate(int32_t& width, int32_t& height, recorder::Rotation& rotation) override {
        auto lock = backend_.lock();
        duplicated_ = false;
        SimScreen* screen = current();
        if (!screen) return Duplicate::Failed;
        ++screen->duplicateCalls;
        if (screen->duplicateFailures != 0) {
            if (screen->duplicateFailures > 0) --screen->duplicateFailures;
            return Duplicate::Failed;
        }
        if (screen->duplicateUnavailable != 0) {
            if (screen->duplicateUnavailable > 0) --screen->duplicateUnavailable;
            return Duplicate::Unavailable;
        }
        width = screen->width;
        height = screen->height;
        rotation = static_cast<recorder::Rotation>(screen->rotation);
        duplicated_ = true;
        return Duplicate::Ok;
    }

    bool hasDuplication() const override { return duplicated_; }
    void releaseDuplication() override { duplicated_ = false; }

    bool createStaging(int32_t width, int32_t height) override {
        auto lock = backend_.lock();
        SimScreen* screen = current();
        if (!screen || screen->stagingFails) return false;
        screen->stagingWidth = width;
        screen->stagingHeight = height;
        return true;
    }

    Acquire acquire(uint32_t timeoutMs, const recorder::Crop* box, recorder::Rotation rotation,
                    uint8_t* destination) override {
        bool waited = false;
        {
            auto lock = backend_.lock();
            SimScreen* screen = current();
            if (!screen || !duplicated_) return Acquire::Failed;
            ++screen->acquireCalls;
            if (screen->loseAccess) {
                screen->loseAccess = false;
                duplicated_ = false;
                return Acquire::AccessLost;
            }
            if (screen->pendingFrames > 0) {
                --screen->pendingFrames;
                recorder::Crop whole{0, 0, screen->width, screen->height};
                const recorder::Crop& copied = box ? *box : whole;
                screen->copiedBoxes.push_back(copied);
                screen->copiedRotations.push_back(static_cast<uint32_t>(rotation));
                const uint32_t value = screen->frameValue++;
                const size_t pixels = static_cast<size_t>(copied.width) * static_cast<size_t>(copied.height);
                if (screen->desktopPicture) {
                    copyPicture(*screen, copied, rotation, destination);
                } else {
                    for (size_t i = 0; i < pixels; ++i) std::memcpy(destination + i * 4, &value, 4);
                }
                return Acquire::Frame;
            }
            waited = true;
        }
        if (waited) backend_.clock().sleepMs(timeoutMs);
        return Acquire::Timeout;
    }

    void close() override { duplicated_ = false; }

private:
    SimScreen* current() { return gdiName_.empty() ? nullptr : backend_.screen(gdiName_); }

    // The box of a frame that shows the desktop, put in a staging mapping
    // and turned upright from there as the Win32 adapter does. Pixels the
    // box holds outside the frame read 0xFFFFFFFF.
    static void copyPicture(const SimScreen& screen, const recorder::Crop& box, recorder::Rotation rotation,
                            uint8_t* destination) {
        const size_t pitch = static_cast<size_t>(box.width) * 4 + 12; // a padded mapping
        std::vector<uint8_t> staging(pitch * static_cast<size_t>(box.height), 0);
        for (int32_t y = 0; y < box.height; ++y) {
            for (int32_t x = 0; x < box.width; ++x) {
                const int32_t fx = box.left + x;
                const int32_t fy = box.top + y;
                uint32_t pixel = 0xFFFFFFFFu;
                if (fx >= 0 && fy >= 0 && fx < screen.width && fy < screen.height) {
                    int32_t dx = 0, dy = 0;
                    simDesktopOf(screen.rotation, screen.width, screen.height, fx, fy, dx, dy);
                    pixel = simDesktopPixel(dx, dy);
                }
                std::memcpy(staging.data() + static_cast<size_t>(y) * pitch + static_cast<size_t>(x) * 4, &pixel, 4);
            }
        }
        recorder::copyUpright(destination, staging.data(), pitch, static_cast<size_t>(box.width),
                              static_cast<size_t>(box.height), rotation);
    }

    SimCaptureBackend& backend_;
    std::string gdiName_;
    bool duplicated_ = false;
};

class SimEncoderSink final : public EncoderSink {
public:
    explicit SimEncoderSink(SimCaptureBackend& backend) : backend_(backend) {
        ++backend_.live_;
        auto lock = backend_.lock();
        backend_.files_.push_back(file_);
    }
    ~SimEncoderSink() override { --backend_.live_; }

    bool startup() override {
        auto lock = backend_.lock();
        if (backend_.encoderBehaviour_.startupFails) return false;
        file_->started = true;
        return true;
    }
    void shutdown() override {
        auto lock = backend_.lock();
        file_->shutDown = true;
    }
    bool create(const std::string& pathUtf8) override {
        auto lock = backend_.lock();
        if (backend_.encoderBehaviour_.createFails) return false;
        file_->path = pathUtf8;
        return true;
    }
    VideoResult addVideo(int32_t width, int32_t height, uint32_t fps, uint32_t bitrate) override {
        auto lock = backend_.lock();
        if (backend_.encoderBehaviour_.videoResult != VideoResult::Ok) return backend_.encoderBehaviour_.videoResult;
        file_->width = width;
        file_->height = height;
        file_->fps = fps;
        file_->bitrate = bitrate;
        return VideoResult::Ok;
    }
    bool addAudio(uint32_t channels, uint32_t sampleRate) override {
        auto lock = backend_.lock();
        if (backend_.encoderBehaviour_.audioFails) return false;
        file_->audioChannels = channels;
        file_->audioRate = sampleRate;
        return true;
    }
    bool beginWriting() override {
        auto lock = backend_.lock();
        if (backend_.encoderBehaviour_.beginFails) return false;
        file_->writing = true;
        return true;
    }
    bool writeVideo(const uint8_t* pixels, size_t bytes, int64_t time, int64_t duration) override {
        auto lock = backend_.lock();
        int& before = backend_.encoderBehaviour_.videoWritesBeforeFailure;
        if (before == 0) return false;
        if (before > 0) --before;
        SimVideoSample sample{time, duration, bytes, 0, 0};
        if (bytes >= 4) {
            std::memcpy(&sample.firstPixel, pixels, 4);
            std::memcpy(&sample.lastPixel, pixels + bytes - 4, 4);
        }
        file_->video.push_back(sample);
        return true;
    }
    bool writeAudio(const int16_t* samples, size_t count, int64_t time, int64_t duration) override {
        auto lock = backend_.lock();
        if (backend_.encoderBehaviour_.audioWritesFail) return false;
        file_->audio.push_back(SimAudioSample{time, duration, std::vector<int16_t>(samples, samples + count)});
        return true;
    }
    bool finalize() override {
        bool finished = false;
        std::string path;
        {
            auto lock = backend_.lock();
            finished = !backend_.encoderBehaviour_.finalizeFails;
            file_->finalized = finished;
            path = file_->path;
        }
        if (backend_.journal) backend_.journal("Finalize(" + path + ")");
        return finished;
    }
    void discard() override {
        std::string path;
        {
            auto lock = backend_.lock();
            file_->removed = true;
            path = file_->path;
        }
        if (backend_.journal) backend_.journal("DeleteFile(" + path + ")");
    }
    std::string failureText() override {
        auto lock = backend_.lock();
        return backend_.encoderBehaviour_.failureText;
    }

private:
    SimCaptureBackend& backend_;
    std::shared_ptr<SimMp4> file_ = std::make_shared<SimMp4>();
};

class SimAudioLoopback final : public AudioLoopback {
public:
    explicit SimAudioLoopback(SimCaptureBackend& backend) : backend_(backend) { ++backend_.live_; }
    ~SimAudioLoopback() override { --backend_.live_; }

    bool open(MixFormat& format) override {
        auto lock = backend_.lock();
        if (!backend_.speakers_.present) return false;
        format = backend_.speakers_.format;
        return true;
    }
    bool initialize() override {
        auto lock = backend_.lock();
        return !backend_.speakers_.initializeFails;
    }
    bool start() override {
        auto lock = backend_.lock();
        ++backend_.speakers_.started;
        return true;
    }
    void stop() override {
        auto lock = backend_.lock();
        ++backend_.speakers_.stopped;
    }
    bool nextPacketSize(uint32_t& frames) override {
        auto lock = backend_.lock();
        SimSpeakers& speakers = backend_.speakers_;
        if (speakers.packets.empty()) {
            frames = 0;
            return !speakers.goneWhenEmpty;
        }
        frames = speakers.packets.front().frames;
        return true;
    }
    bool getBuffer(Packet& packet) override {
        auto lock = backend_.lock();
        SimSpeakers& speakers = backend_.speakers_;
        if (speakers.packets.empty()) return false;
        current_ = std::move(speakers.packets.front());
        speakers.packets.pop_front();
        packet.data = current_.data.data();
        packet.frames = current_.frames;
        packet.silent = current_.silent;
        packet.position100ns = current_.position100ns;
        return true;
    }
    void releaseBuffer(uint32_t frames) override {
        auto lock = backend_.lock();
        backend_.speakers_.released += static_cast<int>(frames);
    }
    void close() override {}

private:
    SimCaptureBackend& backend_;
    SimAudioPacket current_;
};

std::unique_ptr<ScreenCapture> SimCaptureBackend::screenCapture() { return std::make_unique<SimScreenCapture>(*this); }
std::unique_ptr<EncoderSink> SimCaptureBackend::encoder() { return std::make_unique<SimEncoderSink>(*this); }
std::unique_ptr<AudioLoopback> SimCaptureBackend::loopback() { return std::make_unique<SimAudioLoopback>(*this); }

SimScreen* SimCaptureBackend::screen(const std::string& gdiName) {
    for (SimScreen& screen : screens_) {
        if (screen.gdiName == gdiName) return &screen;
    }
    return nullptr;
}

} // namespace qv::sim
