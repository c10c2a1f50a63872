#pragma once
#include "vdisplay/Backend.h"
#include "vdisplay/DeviceApi.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qv::vdisplay {

// The answer to the own driver's version query.
struct DriverInfo {
    uint32_t version = 0; // major << 16 | minor
    uint32_t iddcxVersion = 0;
    bool hdrCapable = false;
};

// Quorvane's own indirect display driver, controlled through buffered I/O
// control requests on its control device. Monitors belong to the driver and
// stay when this object closes.
class QvIddBackend final : public Backend {
public:
    // The device interface class the driver registers for its control
    // device. The driver is built with the same value.
    static constexpr const char* kInterfaceClass = "{6F1C2B7A-9D4E-4C3B-8A51-2E7D90B4C6F3}";

    // CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800..0x803, METHOD_BUFFERED,
    // FILE_ANY_ACCESS), learn.microsoft.com "Defining I/O Control Codes"; the
    // driver's control header is built with the same values.
    static constexpr uint32_t kVersionQuery = 0x222000;
    static constexpr uint32_t kAddMonitor = 0x222004;
    static constexpr uint32_t kRemoveMonitor = 0x222008;
    static constexpr uint32_t kListMonitors = 0x22200C;

    static constexpr size_t kVersionAnswerSize = 16;
    static constexpr size_t kAddRequestSize = 80;
    static constexpr size_t kListAnswerSize = 708;
    static constexpr size_t kListEntrySize = 88;
    static constexpr uint32_t kListEntries = 8;
    static constexpr size_t kNameUnits = 32; // UTF-16 units, NUL included

    static constexpr uint32_t kFlagHdr = 1;
    static constexpr uint32_t kFlagTenBit = 2;
    static constexpr uint32_t kFlagVrr = 4;

    // The driver answers an add beyond its monitor limit with this error.
    static constexpr uint32_t kErrorMonitorLimit = 4;

    // The software device node that makes Windows load the driver.
    static constexpr const char* kHardwareId = "Root\\QuorvaneIdd";
    // Its SW_DEVICE_CAPABILITIES: removable | silent install | driver required
    // (0x1 | 0x2 | 0x8; learn.microsoft.com "SW_DEVICE_CAPABILITIES enumeration").
    static constexpr uint32_t kCapabilities = 0x1 | 0x2 | 0x8;
    // HRESULTs of the device's creation: E_ACCESSDENIED, and E_FAIL that
    // stands until the completion callback says otherwise (winerror.h,
    // learn.microsoft.com "Common HRESULT Values").
    static constexpr int32_t kAccessDenied = static_cast<int32_t>(0x80070005);
    static constexpr int32_t kFail = static_cast<int32_t>(0x80004005);
    static constexpr uint32_t kInstallTimeoutMs = 10000;

    explicit QvIddBackend(DeviceApi& devices);
    ~QvIddBackend() override;
    QvIddBackend(const QvIddBackend&) = delete;
    QvIddBackend& operator=(const QvIddBackend&) = delete;

    std::string id() const override { return "qv-idd"; }
    std::string displayName() const override { return "Quorvane Virtual Display"; }
    bool isInstalled() override;
    Capabilities capabilities() const override;
    bool open(std::string& error) override;
    void close() override;
    bool addMonitor(const MonitorRequest& request, VirtualMonitor& monitor, std::string& error) override;
    bool removeMonitor(uint32_t id, std::string& error) override;
    std::vector<VirtualMonitor> listMonitors() override;

    // Opens when needed and asks the driver for its version.
    bool driverInfo(DriverInfo& info);
    // Creates the driver's device node unless the driver's interface exists
    // already. Needs no open backend.
    bool installDevice(std::string& error);
    // Removes the first device node whose first hardware id is kHardwareId.
    bool uninstallDevice(std::string& error);

    // The 80-byte add request for a monitor request.
    static std::vector<uint8_t> encodeAddRequest(const MonitorRequest& request);

private:
    bool queryVersion(DeviceApi::Handle device, DriverInfo& info, uint32_t& rawHdr);

    DeviceApi& devices_;
    DeviceApi::Handle device_ = 0;
};

} // namespace qv::vdisplay
