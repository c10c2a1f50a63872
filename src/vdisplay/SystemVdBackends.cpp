#include "vdisplay/SystemVdBackends.h"

#include "vdisplay/DeviceApi.h"

// The own driver's backend brings the version query and the device node;
// without its header the version is not shown and install and uninstall fail.
// TO CONNECT: the guard and the fallbacks go once the header is always there.
#if __has_include("vdisplay/QvIddBackend.h")
#include "vdisplay/QvIddBackend.h"
#define QV_HAS_OWN_DRIVER_BACKEND 1
#else
#define QV_HAS_OWN_DRIVER_BACKEND 0
#endif

namespace qv::vdisplay {

namespace {

constexpr const char* kOwnDriverId = "qv-idd";

constexpr const char* kNoOwnDriver = "the own driver's backend is not part of this build";

} // namespace

Environment SystemVdBackends::environment() { return probeEnvironment(system_); }

std::vector<BackendStatus> SystemVdBackends::probes() {
    std::vector<BackendStatus> statuses;
    for (const std::unique_ptr<Backend>& backend : makeBackends(devices_)) {
        BackendStatus status;
        status.probe.id = backend->id();
        status.probe.installed = backend->isInstalled();
        status.probe.capabilities = backend->capabilities();
#if QV_HAS_OWN_DRIVER_BACKEND
        if (status.probe.id == kOwnDriverId && status.probe.installed) {
            if (auto* own = dynamic_cast<QvIddBackend*>(backend.get())) {
                DriverInfo info;
                if (own->driverInfo(info)) {
                    status.hasDriver = true;
                    status.driver = {info.version, info.iddcxVersion, info.hdrCapable};
                }
            }
        }
#endif
        statuses.push_back(std::move(status));
    }
    return statuses;
}

BackendChoice SystemVdBackends::choose(const std::vector<BackendProbe>& probes, const Environment& environment) {
    return chooseBackend(probes, environment, std::string());
}

std::unique_ptr<Backend> SystemVdBackends::open(const std::string& preferredId, std::string& reason) {
    return openBackend(devices_, system_, preferredId, reason);
}

bool SystemVdBackends::install(std::string& error) {
#if QV_HAS_OWN_DRIVER_BACKEND
    for (const std::unique_ptr<Backend>& backend : makeBackends(devices_)) {
        if (backend->id() != kOwnDriverId) continue;
        if (auto* own = dynamic_cast<QvIddBackend*>(backend.get())) return own->installDevice(error);
    }
#endif
    error = kNoOwnDriver;
    return false;
}

bool SystemVdBackends::uninstall(std::string& error) {
#if QV_HAS_OWN_DRIVER_BACKEND
    for (const std::unique_ptr<Backend>& backend : makeBackends(devices_)) {
        if (backend->id() != kOwnDriverId) continue;
        if (auto* own = dynamic_cast<QvIddBackend*>(backend.get())) return own->uninstallDevice(error);
    }
#endif
    error = kNoOwnDriver;
    return false;
}

} // namespace qv::vdisplay
