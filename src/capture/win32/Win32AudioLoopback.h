#pragma once
#include "capture/CapturePorts.h"

#include <cstdint>
#include <memory>

namespace qv {

// Loopback capture of the default playback device (render, console role)
// through WASAPI in shared mode. Used from threads inside a COM apartment.
class Win32AudioLoopback final : public AudioLoopback {
public:
    Win32AudioLoopback();
    ~Win32AudioLoopback() override;
    Win32AudioLoopback(const Win32AudioLoopback&) = delete;
    Win32AudioLoopback& operator=(const Win32AudioLoopback&) = delete;

    bool open(MixFormat& format) override;
    bool initialize() override;
    bool start() override;
    void stop() override;
    bool nextPacketSize(uint32_t& frames) override;
    bool getBuffer(Packet& packet) override;
    void releaseBuffer(uint32_t frames) override;
    void close() override;

    // The HRESULT of the last call that failed, 0 when none has.
    uint32_t lastError() const { return lastError_; }

private:
    struct Client;
    bool failed(long hr);

    std::unique_ptr<Client> client_;
    uint32_t lastError_ = 0;
};

} // namespace qv
