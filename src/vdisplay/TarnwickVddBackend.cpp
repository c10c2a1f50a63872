#include "vdisplay/TarnwickVddBackend.h"

#include "base/StrPrintf.h"

#include <algorithm>
#include <cctype>

namespace qv::vdisplay {
namespace {

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

TarnwickVddBackend::TarnwickVddBackend(DeviceApi& devices) : devices_(devices) {}

bool TarnwickVddBackend::isInstalled() {
    std::vector<DeviceApi::DeviceIds> devices;
    if (!devices_.devicesOfClass(kDisplayClass, devices)) return false;
    for (const DeviceApi::DeviceIds& device : devices)
        for (const std::string& hardwareId : device.hardwareIds)
            if (equalsIgnoringCase(hardwareId, kHardwareId)) return true;
    return false;
}

Capabilities TarnwickVddBackend::capabilities() const {
    Capabilities c;
    c.custom = true;
    c.maxWidth = 7680;
    c.maxHeight = 4320;
    c.maxRefresh = 500;
    c.maxMonitors = 8;
    return c;
}

bool TarnwickVddBackend::open(std::string& error) {
    if (isInstalled()) return true;
    error = "Virtual Display Driver (Tarnwick) isn't installed.";
    return false;
}

bool TarnwickVddBackend::addMonitor(const MonitorRequest& request, VirtualMonitor&, std::string& error) {
    error = strprintf("Virtual Display Driver (Tarnwick) can't add monitors on demand. Add a %ux%u@%u entry to "
                      "C:\\VirtualDisplayDriver\\vdd_settings.xml and reload the driver, or install Parsec VDD for "
                      "runtime control.",
                      request.width, request.height, request.refresh);
    return false;
}

bool TarnwickVddBackend::removeMonitor(uint32_t, std::string& error) {
    error = "Virtual Display Driver (Tarnwick) monitors are removed by editing vdd_settings.xml and reloading the "
            "driver.";
    return false;
}

} // namespace qv::vdisplay
