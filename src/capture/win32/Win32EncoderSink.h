#pragma once
#include "capture/CapturePorts.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qv {

// The MP4 writer over Media Foundation's sink writer: H.264 video from
// 32-bit BGR frames and AAC audio from 16-bit PCM. mfplat.dll and
// mfreadwrite.dll are loaded from the system folder on first use, so the
// program also starts on editions of Windows without Media Foundation; there
// startup() fails.
class Win32EncoderSink final : public EncoderSink {
public:
    Win32EncoderSink();
    ~Win32EncoderSink() override;
    Win32EncoderSink(const Win32EncoderSink&) = delete;
    Win32EncoderSink& operator=(const Win32EncoderSink&) = delete;

    bool startup() override;
    void shutdown() override;
    bool create(const std::string& pathUtf8) override;
    VideoResult addVideo(int32_t width, int32_t height, uint32_t fps, uint32_t bitrate) override;
    bool addAudio(uint32_t channels, uint32_t sampleRate) override;
    bool beginWriting() override;
    bool writeVideo(const uint8_t* pixels, size_t bytes, int64_t time, int64_t duration) override;
    bool writeAudio(const int16_t* samples, size_t count, int64_t time, int64_t duration) override;
    bool finalize() override;
    void discard() override;
    std::string failureText() override;

    // Whether both Media Foundation libraries and every entry point used were found.
    static bool available();
    // The HRESULT of the last call that failed, 0 when none has.
    uint32_t lastError() const { return lastError_; }

private:
    struct Writer;
    bool writeSample(uint32_t stream, const void* data, size_t bytes, int64_t time, int64_t duration);
    bool failed(long hr);

    std::unique_ptr<Writer> writer_;
    std::wstring path_; // the file create() made
    bool started_ = false;
    uint32_t lastError_ = 0;
};

} // namespace qv
