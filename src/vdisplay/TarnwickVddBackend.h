#pragma once
#include "vdisplay/Backend.h"
#include "vdisplay/DeviceApi.h"

namespace qv::vdisplay {

// The community "Virtual Display Driver" (Tarnwick's build). Its monitors come
// from its own settings file when it loads, so this backend only detects the
// driver and tells the user how to change the monitors by hand. It keeps no
// state and opens no device.
class TarnwickVddBackend final : public Backend {
public:
    // GUID_DEVCLASS_DISPLAY, as learn.microsoft.com "System-Defined Device Setup Classes" lists it.
    static constexpr const char* kDisplayClass = "{4D36E968-E325-11CE-BFC1-08002BE10318}";
    // The id the driver's public install scripts register (VirtualDrivers/Virtual-Display-Driver).
    static constexpr const char* kHardwareId = "Root\\MttVDD";

    explicit TarnwickVddBackend(DeviceApi& devices);

    std::string id() const override { return "tnw-vdd"; }
    std::string displayName() const override { return "Virtual Display Driver (Tarnwick)"; }
    bool isInstalled() override;
    Capabilities capabilities() const override;
    bool open(std::string& error) override;
    void close() override {}
    bool addMonitor(const MonitorRequest& request, VirtualMonitor& monitor, std::string& error) override;
    bool removeMonitor(uint32_t id, std::string& error) override;
    std::vector<VirtualMonitor> listMonitors() override { return {}; }

private:
    DeviceApi& devices_;
};

} // namespace qv::vdisplay
