#include "capture/win32/Win32EncoderSink.h"

#include "base/ErrorText.h"
#include "base/win32/SystemMessage.h"
#include "base/win32/Utf16.h"

#include <windows.h>

#include <cstring>
#include <limits>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <wrl/client.h>

namespace qv {

using Microsoft::WRL::ComPtr;

namespace {

// The Media Foundation entry points, resolved once per process. The
// libraries stay loaded: Media Foundation keeps worker threads of its own.
struct MfApi {
    HRESULT(WINAPI* startup)(ULONG, DWORD) = nullptr;
    HRESULT(WINAPI* shutdown)() = nullptr;
    HRESULT(WINAPI* createAttributes)(IMFAttributes**, UINT32) = nullptr;
    HRESULT(WINAPI* createMediaType)(IMFMediaType**) = nullptr;
    HRESULT(WINAPI* createMemoryBuffer)(DWORD, IMFMediaBuffer**) = nullptr;
    HRESULT(WINAPI* createSample)(IMFSample**) = nullptr;
    HRESULT(WINAPI* createSinkWriterFromURL)(LPCWSTR, IMFByteStream*, IMFAttributes*, IMFSinkWriter**) = nullptr;
    bool complete = false;
};

template <typename Function>
bool resolve(HMODULE module, const char* name, Function& function) {
    if (module == nullptr) return false;
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return function != nullptr;
}

MfApi loadMfApi() {
    MfApi api;
    // Only from the system folder: a library of that name beside the
    // program or in the current folder is never picked up.
    HMODULE plat = LoadLibraryExW(L"mfplat.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    HMODULE readWrite = LoadLibraryExW(L"mfreadwrite.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    api.complete = resolve(plat, "MFStartup", api.startup) && resolve(plat, "MFShutdown", api.shutdown) &&
                   resolve(plat, "MFCreateAttributes", api.createAttributes) &&
                   resolve(plat, "MFCreateMediaType", api.createMediaType) &&
                   resolve(plat, "MFCreateMemoryBuffer", api.createMemoryBuffer) &&
                   resolve(plat, "MFCreateSample", api.createSample) &&
                   resolve(readWrite, "MFCreateSinkWriterFromURL", api.createSinkWriterFromURL);
    return api;
}

const MfApi& mfApi() {
    static const MfApi api = loadMfApi();
    return api;
}

constexpr UINT32 kProgressive = 2;     // MFVideoInterlace_Progressive
constexpr UINT32 kH264MainProfile = 77; // eAVEncH264VProfile_Main
constexpr UINT32 kAacBytesPerSecond = 16000;

} // namespace

struct Win32EncoderSink::Writer {
    ComPtr<IMFSinkWriter> sink;
    DWORD videoStream = 0;
    DWORD audioStream = 0;
    bool hasVideo = false;
    bool hasAudio = false;
};

Win32EncoderSink::Win32EncoderSink() = default;

Win32EncoderSink::~Win32EncoderSink() { shutdown(); }

bool Win32EncoderSink::available() { return mfApi().complete; }

bool Win32EncoderSink::failed(long hr) {
    if (SUCCEEDED(hr)) return false;
    lastError_ = static_cast<uint32_t>(hr);
    return true;
}

bool Win32EncoderSink::startup() {
    const MfApi& api = mfApi();
    if (!api.complete) return false;
    if (failed(api.startup(MF_VERSION, MFSTARTUP_FULL))) return false;
    started_ = true;
    return true;
}

void Win32EncoderSink::shutdown() {
    writer_.reset();
    if (!started_) return;
    mfApi().shutdown();
    started_ = false;
}

bool Win32EncoderSink::create(const std::string& pathUtf8) {
    const MfApi& api = mfApi();
    writer_.reset();
    if (!started_) return false;
    ComPtr<IMFAttributes> attributes;
    if (failed(api.createAttributes(&attributes, 1))) return false;
    if (failed(attributes->SetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, TRUE))) return false;
    auto writer = std::make_unique<Writer>();
    const std::wstring path = widen(pathUtf8);
    if (failed(api.createSinkWriterFromURL(path.c_str(), nullptr, attributes.Get(), &writer->sink))) return false;
    writer_ = std::move(writer);
    path_ = path;
    return true;
}

EncoderSink::VideoResult Win32EncoderSink::addVideo(int32_t width, int32_t height, uint32_t fps, uint32_t bitrate) {
    const MfApi& api = mfApi();
    if (!writer_ || width <= 0 || height <= 0 || fps == 0) return VideoResult::AddStreamFailed;
    const UINT32 w = static_cast<UINT32>(width);
    const UINT32 h = static_cast<UINT32>(height);

    ComPtr<IMFMediaType> output;
    if (failed(api.createMediaType(&output)) || failed(output->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video)) ||
        failed(output->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_H264)) ||
        failed(output->SetUINT32(MF_MT_AVG_BITRATE, bitrate)) ||
        failed(output->SetUINT32(MF_MT_INTERLACE_MODE, kProgressive)) ||
        failed(output->SetUINT32(MF_MT_MPEG2_PROFILE, kH264MainProfile)) ||
        failed(MFSetAttributeSize(output.Get(), MF_MT_FRAME_SIZE, w, h)) ||
        failed(MFSetAttributeRatio(output.Get(), MF_MT_FRAME_RATE, fps, 1)) ||
        failed(MFSetAttributeRatio(output.Get(), MF_MT_PIXEL_ASPECT_RATIO, 1, 1)) ||
        failed(writer_->sink->AddStream(output.Get(), &writer_->videoStream)))
        return VideoResult::AddStreamFailed;

    ComPtr<IMFMediaType> input;
    if (failed(api.createMediaType(&input)) || failed(input->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video)) ||
        failed(input->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_RGB32)) ||
        failed(input->SetUINT32(MF_MT_INTERLACE_MODE, kProgressive)) ||
        failed(input->SetUINT32(MF_MT_DEFAULT_STRIDE, w * 4)) ||
        failed(MFSetAttributeSize(input.Get(), MF_MT_FRAME_SIZE, w, h)) ||
        failed(MFSetAttributeRatio(input.Get(), MF_MT_FRAME_RATE, fps, 1)) ||
        failed(MFSetAttributeRatio(input.Get(), MF_MT_PIXEL_ASPECT_RATIO, 1, 1)) ||
        failed(writer_->sink->SetInputMediaType(writer_->videoStream, input.Get(), nullptr)))
        return VideoResult::InputTypeFailed;
    writer_->hasVideo = true;
    return VideoResult::Ok;
}

bool Win32EncoderSink::addAudio(uint32_t channels, uint32_t sampleRate) {
    const MfApi& api = mfApi();
    if (!writer_ || channels == 0 || sampleRate == 0) return false;

    ComPtr<IMFMediaType> output;
    DWORD stream = 0;
    if (failed(api.createMediaType(&output)) || failed(output->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio)) ||
        failed(output->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_AAC)) ||
        failed(output->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16)) ||
        failed(output->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, sampleRate)) ||
        failed(output->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, channels)) ||
        failed(output->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, kAacBytesPerSecond)) ||
        failed(writer_->sink->AddStream(output.Get(), &stream)))
        return false;

    ComPtr<IMFMediaType> input;
    if (failed(api.createMediaType(&input)) || failed(input->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio)) ||
        failed(input->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM)) ||
        failed(input->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16)) ||
        failed(input->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, sampleRate)) ||
        failed(input->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, channels)) ||
        failed(input->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, channels * 2)) ||
        failed(input->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, sampleRate * channels * 2)) ||
        failed(writer_->sink->SetInputMediaType(stream, input.Get(), nullptr)))
        return false;
    writer_->audioStream = stream;
    writer_->hasAudio = true;
    return true;
}

bool Win32EncoderSink::beginWriting() {
    if (!writer_) return false;
    return !failed(writer_->sink->BeginWriting());
}

bool Win32EncoderSink::writeSample(uint32_t stream, const void* data, size_t bytes, int64_t time, int64_t duration) {
    const MfApi& api = mfApi();
    // A failure's text is this call's, never an earlier one's.
    lastError_ = 0;
    if (!writer_ || data == nullptr || bytes == 0 || bytes > std::numeric_limits<DWORD>::max()) return false;
    const DWORD length = static_cast<DWORD>(bytes);
    ComPtr<IMFMediaBuffer> buffer;
    if (failed(api.createMemoryBuffer(length, &buffer))) return false;
    BYTE* target = nullptr;
    if (failed(buffer->Lock(&target, nullptr, nullptr))) return false;
    std::memcpy(target, data, bytes);
    buffer->Unlock();
    ComPtr<IMFSample> sample;
    if (failed(buffer->SetCurrentLength(length)) || failed(api.createSample(&sample)) ||
        failed(sample->AddBuffer(buffer.Get())) || failed(sample->SetSampleTime(time)) ||
        failed(sample->SetSampleDuration(duration)))
        return false;
    return !failed(writer_->sink->WriteSample(stream, sample.Get()));
}

bool Win32EncoderSink::writeVideo(const uint8_t* pixels, size_t bytes, int64_t time, int64_t duration) {
    if (!writer_ || !writer_->hasVideo) return false;
    return writeSample(writer_->videoStream, pixels, bytes, time, duration);
}

bool Win32EncoderSink::writeAudio(const int16_t* samples, size_t count, int64_t time, int64_t duration) {
    if (!writer_ || !writer_->hasAudio) return false;
    return writeSample(writer_->audioStream, samples, count * sizeof(int16_t), time, duration);
}

bool Win32EncoderSink::finalize() {
    lastError_ = 0;
    if (!writer_) return false;
    return !failed(writer_->sink->Finalize());
}

void Win32EncoderSink::discard() {
    // Releasing the writer closes the file; only then can it be deleted.
    writer_.reset();
    if (!path_.empty() && !DeleteFileW(path_.c_str())) lastError_ = static_cast<uint32_t>(HRESULT_FROM_WIN32(GetLastError()));
    path_.clear();
}

std::string Win32EncoderSink::failureText() {
    // Media Foundation's own codes have no text in the system's table.
    if (lastError_ == 0) return {};
    const std::string message = systemMessage(lastError_);
    return message.empty() ? std::string() : errorLine(message, lastError_);
}

} // namespace qv
