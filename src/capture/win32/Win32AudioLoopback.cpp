#include "capture/win32/Win32AudioLoopback.h"

#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <objbase.h>
#include <wrl/client.h>

namespace qv {

using Microsoft::WRL::ComPtr;

namespace {

// 200 ms in 100-nanosecond units.
constexpr REFERENCE_TIME kBufferDuration = 2000000;

} // namespace

struct Win32AudioLoopback::Client {
    ComPtr<IMMDeviceEnumerator> enumerator;
    ComPtr<IMMDevice> device;
    ComPtr<IAudioClient> audio;
    ComPtr<IAudioCaptureClient> capture;
    WAVEFORMATEX* mix = nullptr; // from GetMixFormat, freed with CoTaskMemFree

    ~Client() {
        capture.Reset();
        audio.Reset();
        device.Reset();
        enumerator.Reset();
        CoTaskMemFree(mix);
    }
};

Win32AudioLoopback::Win32AudioLoopback() = default;

Win32AudioLoopback::~Win32AudioLoopback() { close(); }

bool Win32AudioLoopback::failed(long hr) {
    if (SUCCEEDED(hr)) return false;
    lastError_ = static_cast<uint32_t>(hr);
    return true;
}

bool Win32AudioLoopback::open(MixFormat& format) {
    close();
    auto client = std::make_unique<Client>();
    if (failed(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                IID_PPV_ARGS(&client->enumerator))) ||
        failed(client->enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &client->device)) ||
        failed(client->device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                        reinterpret_cast<void**>(client->audio.GetAddressOf()))) ||
        failed(client->audio->GetMixFormat(&client->mix)) || client->mix == nullptr)
        return false;
    format.channels = client->mix->nChannels;
    format.sampleRate = client->mix->nSamplesPerSec;
    format.bitsPerSample = client->mix->wBitsPerSample;
    client_ = std::move(client);
    return true;
}

bool Win32AudioLoopback::initialize() {
    if (!client_) return false;
    Client& c = *client_;
    return !failed(c.audio->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_LOOPBACK, kBufferDuration, 0,
                                       c.mix, nullptr)) &&
           !failed(c.audio->GetService(IID_PPV_ARGS(&c.capture)));
}

bool Win32AudioLoopback::start() { return client_ && client_->capture && !failed(client_->audio->Start()); }

void Win32AudioLoopback::stop() {
    if (client_) client_->audio->Stop();
}

bool Win32AudioLoopback::nextPacketSize(uint32_t& frames) {
    frames = 0;
    if (!client_ || !client_->capture) return false;
    UINT32 next = 0;
    if (failed(client_->capture->GetNextPacketSize(&next))) return false;
    frames = next;
    return true;
}

bool Win32AudioLoopback::getBuffer(Packet& packet) {
    if (!client_ || !client_->capture) return false;
    BYTE* data = nullptr;
    UINT32 frames = 0;
    DWORD flags = 0;
    UINT64 position = 0; // the performance counter, already in 100-nanosecond units
    if (failed(client_->capture->GetBuffer(&data, &frames, &flags, nullptr, &position))) return false;
    packet.data = data;
    packet.frames = frames;
    packet.silent = (flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0;
    packet.position100ns = static_cast<int64_t>(position);
    return true;
}

void Win32AudioLoopback::releaseBuffer(uint32_t frames) {
    if (client_ && client_->capture) client_->capture->ReleaseBuffer(frames);
}

void Win32AudioLoopback::close() { client_.reset(); }

} // namespace qv
