#pragma once
#include "vdisplay/DeviceApi.h"
#include "vdisplay/PacingClock.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace qv::sim {

// A monotonic clock that stands still until a test moves it. Sleepers wake
// when the clock reaches their deadline or when they are told to stop.
class SimPacingClock final : public vdisplay::PacingClock {
public:
    static constexpr uint64_t kStartNs = 5'000'000'000;

    uint64_t nowNs() override;
    void sleepUntil(uint64_t deadlineNs, const std::atomic<bool>& stop) override;
    void wake() override;

    void advanceNs(uint64_t ns);
    void advanceMs(uint64_t ms) { advanceNs(ms * 1'000'000); }
    // Blocks until `count` sleeps have begun in all; false when that has not
    // happened within a generous real-time bound (a broken test then fails
    // instead of hanging).
    bool waitForSleeps(size_t count);
    // The deadline of every sleep that has begun, in order.
    std::vector<uint64_t> sleepDeadlines() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t now_ = kStartNs;
    std::vector<uint64_t> deadlines_;
};

// A simulated device tree with the three virtual display drivers and the
// system facts the backends probe; implements DeviceApi and SystemInfo. Set
// the public fields before the code under test runs; read the records after
// it. Everything a running Parsec keep-alive thread touches goes through the
// locked functions below the Parsec section.
class SimVirtualDisplays final : public vdisplay::DeviceApi, public vdisplay::SystemInfo {
public:
    static constexpr int32_t kAccessDenied = static_cast<int32_t>(0x80070005);
    static constexpr int32_t kFail = static_cast<int32_t>(0x80004005);
    static constexpr const char* kDisplayClass = "{4D36E968-E325-11CE-BFC1-08002BE10318}";

    // clock (may be null) is the clock the Parsec driver stamps its requests with.
    explicit SimVirtualDisplays(SimPacingClock* clock = nullptr);

    // ---- Quorvane's own driver -------------------------------------------
    struct QvIddMonitor {
        uint32_t id = 0;
        uint32_t active = 1;
        uint32_t width = 0, height = 0, refresh = 0, flags = 0;
        std::array<uint8_t, 64> name{}; // the UTF-16 name field as received
    };
    struct QvIddDriver {
        bool present = false;          // its device interface exists
        uint32_t openError = 0;        // non-zero: opening the device fails with it
        bool answersVersion = true;
        uint32_t version = 0x00010000; // major << 16 | minor
        uint32_t iddcxVersion = 0x1A00;
        uint32_t hdrCapable = 1;
        uint32_t monitorLimit = 8;     // an add beyond it fails with error 4
        uint32_t addError = 0;         // non-zero: every add fails with it
        bool answersList = true;
        std::optional<uint32_t> listCount; // answer this count instead of the real one
        uint32_t nextId = 1;
        std::vector<QvIddMonitor> monitors; // the list answer shows up to 8 of them
        // Records.
        std::vector<std::vector<uint8_t>> addRequests; // the input bytes of every add
        std::vector<uint32_t> removeRequests;
    };
    QvIddDriver qvIdd;

    // ---- Parsec VDD ---------------------------------------------------------
    // The driver's control protocol, written from nomi-san/parsec-vdd
    // core/parsec-vdd.h (VDD_ADAPTER_GUID, VddCtlCode) rather than taken from
    // the backend, so a wrong value there shows. Tests name requests by these.
    static constexpr const char* kParsecClass = "{00b41627-04c4-429e-a26e-0265cf50c8fa}";
    static constexpr uint32_t kParsecAdd = 0x0022e004;
    static constexpr uint32_t kParsecRemove = 0x0022a008;
    static constexpr uint32_t kParsecUpdate = 0x0022a00c;
    static constexpr uint32_t kParsecVersion = 0x0022e010;

    struct ParsecRequest {
        uint32_t code = 0;
        std::array<uint8_t, 32> input{};
        uint64_t atNs = 0; // on the clock, when the request arrived
    };
    struct ParsecDriver {
        bool present = false;
        bool openFails = false;
        bool answersVersion = true;
        int32_t version = 7;
        bool refusesAdd = false;   // the add answers -1
        uint64_t requestCostNs = 0; // each answered request moves the clock on by this
        int32_t nextSlot = 0;
    };
    ParsecDriver parsec;
    // While false every request fails (as after the 5-second wait).
    void setParsecAnswering(bool answering);
    // While true every request fails at once (a driver that answers with an
    // error, as while its device restarts).
    void setParsecFailing(bool failing);
    std::vector<ParsecRequest> parsecRequests() const;
    size_t parsecRequestCount(uint32_t code) const;
    // Blocks until `count` requests with that code have arrived; false when
    // that has not happened within a generous real-time bound.
    bool waitForParsecRequests(uint32_t code, size_t count);

    // ---- The device tree ----------------------------------------------------
    struct Device {
        std::string setupClass; // e.g. kDisplayClass
        std::string enumerator; // "ROOT", "SWD", "PCI", ...
        std::vector<std::string> hardwareIds;
        bool readFails = false; // its hardware ids cannot be read
    };
    std::vector<Device> devices;
    bool enumerationFails = false;
    bool removeFails = false;
    std::vector<Device> removedDevices;

    // ---- Software device creation -------------------------------------------
    int32_t createResult = 0;     // what SwDeviceCreate itself returns
    int32_t completionResult = 0; // what its completion reports (kFail for a time-out)
    std::vector<SoftwareDevice> createdDevices;
    std::vector<uint32_t> createTimeouts;

    // ---- Handles -------------------------------------------------------------
    size_t openHandleCount() const;
    // Requests sent on a handle that is not open (must stay 0).
    size_t requestsOnClosedHandles() const;

    // ---- System facts --------------------------------------------------------
    std::map<std::string, uint32_t> machineDwords; // key "<key>|<value>"
    std::optional<uint32_t> codeIntegrity;
    std::optional<uint32_t> build;
    void setSecureBoot(uint32_t value);

    // DeviceApi
    std::string interfacePath(const vdisplay::GuidText& interfaceClass) override;
    Handle openDevice(const std::string& path, bool overlapped, uint32_t& error) override;
    void closeDevice(Handle device) override;
    bool control(Handle device, uint32_t code, const void* input, size_t inputSize, void* output, size_t outputSize,
                 uint32_t& error) override;
    bool controlOverlapped(Handle device, uint32_t code, const uint8_t (&input)[32], uint8_t (&output)[32],
                           uint32_t timeoutMs) override;
    bool devicesOfClass(const vdisplay::GuidText& setupClass, std::vector<DeviceIds>& out) override;
    bool devicesOfEnumerator(const std::string& enumerator, std::vector<DeviceIds>& out) override;
    bool removeDevice(const std::string& enumerator, uint32_t index, const std::string& expectedHardwareId) override;
    int32_t createSoftwareDevice(const SoftwareDevice& device, uint32_t timeoutMs, int32_t& completion) override;

    // SystemInfo
    bool machineDword(const std::string& key, const std::string& value, uint32_t& out) override;
    bool codeIntegrityOptions(uint32_t& options) override;
    bool buildNumber(uint32_t& build) override;

    static constexpr const char* kQvIddPath = "\\\\?\\ROOT#DISPLAY#0000#{qv-idd-control}";
    static constexpr const char* kParsecPath = "\\\\?\\ROOT#DISPLAY#0001#{parsec-vdd-control}";

private:
    bool qvIddControl(uint32_t code, const uint8_t* input, size_t inputSize, uint8_t* output, size_t outputSize,
                      uint32_t& error);

    SimPacingClock* clock_;
    mutable std::mutex mutex_;
    std::condition_variable parsecRequested_;
    bool parsecAnswering_ = true;
    bool parsecFailing_ = false;
    std::vector<ParsecRequest> parsecRequests_;
    struct OpenDevice {
        std::string path;
        bool open = true;
    };
    std::map<Handle, OpenDevice> handles_;
    Handle nextHandle_ = 0x100;
    size_t closedHandleRequests_ = 0;
};

} // namespace qv::sim
