#include "vdisplay/SystemVdBackends.h"

#include "vdisplay/DeviceApi.h"
#include "vdisplay/QvIddBackend.h"

namespace qv::vdisplay {

Environment SystemVdBackends::environment() { return probeEnvironment(system_); }

std::vector<BackendStatus> SystemVdBackends::probes() {
    std::vector<BackendStatus> statuses;
    for (const std::unique_ptr<Backend>& backend : makeBackends(devices_)) {
        BackendStatus status;
        status.probe.id = backend->id();
        status.probe.installed = backend->isInstalled();
        status.probe.capabilities = backend->capabilities();
        // The own driver also tells its version when it is there and answers.
        if (auto* own = dynamic_cast<QvIddBackend*>(backend.get()); own && status.probe.installed) {
            DriverInfo info;
            if (own->driverInfo(info)) {
                status.hasDriver = true;
                status.driver = {info.version, info.iddcxVersion, info.hdrCapable};
            }
        }
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

bool SystemVdBackends::install(std::string& error) { return QvIddBackend(devices_).installDevice(error); }

bool SystemVdBackends::uninstall(std::string& error) { return QvIddBackend(devices_).uninstallDevice(error); }

} // namespace qv::vdisplay
