#pragma once
#include "vdisplay/Backend.h"
#include "vdisplay/DeviceApi.h"
#include "vdisplay/PacingClock.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace qv::vdisplay {

// The Parsec Virtual Display Driver. It adds monitors in fixed slots and drops
// them once keep-alive requests stop for about 100 ms, so while open this
// object runs a thread that sends one every 50 ms. The driver reports no
// modes; each added monitor records the listed mode closest to the request.
class ParsecVddBackend final : public Backend {
public:
    // Checked against nomi-san/parsec-vdd core/parsec-vdd.h (VDD_ADAPTER_GUID).
    static constexpr const char* kInterfaceClass = "{00B41627-04C4-429E-A26E-0265CF50C8FA}";

    // Checked against nomi-san/parsec-vdd core/parsec-vdd.h (VddCtlCode):
    // CTL_CODE(FILE_DEVICE_UNKNOWN, 0x801..0x804, METHOD_BUFFERED, access).
    static constexpr uint32_t kVersionQuery = 0x0022E010;  // function 0x804, read and write access
    static constexpr uint32_t kAddMonitor = 0x0022E004;    // function 0x801, read and write access
    static constexpr uint32_t kRemoveMonitor = 0x0022A008; // function 0x802, write access
    static constexpr uint32_t kKeepAlive = 0x0022A00C;     // function 0x803, write access

    static constexpr uint32_t kRequestTimeoutMs = 5000;
    // The driver drops its monitors when no keep-alive reaches it for about
    // 100 ms; half that leaves room for a late round.
    static constexpr uint64_t kKeepAliveIntervalNs = 50'000'000;
    // Once no keep-alive request has been answered for this long the driver
    // has dropped every monitor: the thread ends and the backend is lost.
    static constexpr uint64_t kKeepAliveGiveUpNs = 5'000'000'000;
    static constexpr size_t kMaxMonitors = 8;

    // clock paces the keep-alive thread and must outlive this object; null
    // gives the object its own steady clock.
    explicit ParsecVddBackend(DeviceApi& devices, PacingClock* clock = nullptr);
    ~ParsecVddBackend() override;
    ParsecVddBackend(const ParsecVddBackend&) = delete;
    ParsecVddBackend& operator=(const ParsecVddBackend&) = delete;

    std::string id() const override { return "parsec-vdd"; }
    std::string displayName() const override { return "Parsec Virtual Display"; }
    bool isInstalled() override;
    Capabilities capabilities() const override;
    bool open(std::string& error) override;
    void close() override;
    bool addMonitor(const MonitorRequest& request, VirtualMonitor& monitor, std::string& error) override;
    bool removeMonitor(uint32_t id, std::string& error) override;
    std::vector<VirtualMonitor> listMonitors() override;
    std::string lost() const override;

    // The 23 modes the driver offers, in table order.
    static const std::vector<Mode>& modeTable();
    // The listed mode closest to the requested one: the requested size if
    // listed, else the largest listed area; then the nearest rate, a rate
    // above the request losing to any at or below it.
    static Mode closestMode(uint32_t width, uint32_t height, uint32_t refresh);

private:
    // One request with 32-byte buffers; result is the answer's first 32-bit value.
    bool request(uint32_t code, const uint8_t* input, size_t inputSize, int32_t* result);
    void keepAliveLoop();
    void stopKeepAlive();

    DeviceApi& devices_;
    std::unique_ptr<PacingClock> ownClock_;
    PacingClock& clock_;
    DeviceApi::Handle device_ = 0;
    std::thread keepAlive_;
    std::atomic<bool> stopKeepAlive_{false};
    // Set by the keep-alive thread when it gives up; cleared by close().
    std::atomic<bool> lost_{false};
    std::vector<VirtualMonitor> monitors_;
};

} // namespace qv::vdisplay
