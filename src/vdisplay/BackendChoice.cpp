#include "vdisplay/Backend.h"
#include "vdisplay/DeviceApi.h"
#include "vdisplay/ParsecVddBackend.h"
#include "vdisplay/QvIddBackend.h"
#include "vdisplay/TarnwickVddBackend.h"

namespace qv::vdisplay {

std::vector<std::unique_ptr<Backend>> makeBackends(DeviceApi& devices, PacingClock* clock) {
    std::vector<std::unique_ptr<Backend>> backends;
    backends.push_back(std::make_unique<QvIddBackend>(devices));
    backends.push_back(std::make_unique<ParsecVddBackend>(devices, clock));
    backends.push_back(std::make_unique<TarnwickVddBackend>(devices));
    return backends;
}

Environment probeEnvironment(SystemInfo& system) {
    Environment environment;
    uint32_t value = 0;
    environment.secureBoot =
        system.machineDword("SYSTEM\\CurrentControlSet\\Control\\SecureBoot\\State", "UEFISecureBootEnabled", value) &&
        value != 0;
    uint32_t options = 0;
    environment.testSigning =
        system.codeIntegrityOptions(options) && (options & SystemInfo::kCodeIntegrityTestSign) != 0;
    uint32_t build = 0;
    environment.windows11 = system.buildNumber(build) && build > 21999;
    return environment;
}

BackendChoice chooseBackend(const std::vector<BackendProbe>& probes, const Environment& environment,
                            const std::string& preferredId) {
    if (!preferredId.empty()) {
        for (const BackendProbe& probe : probes) {
            if (probe.id != preferredId) continue;
            if (probe.installed) return {probe.id, "Selected in Settings."};
            break;
        }
    }
    for (const BackendProbe& probe : probes)
        if (probe.id == "qv-idd" && probe.installed) return {probe.id, "Quorvane's own driver is installed."};
    for (const BackendProbe& probe : probes)
        if (probe.id != "qv-idd" && probe.installed && probe.capabilities.runtime)
            return {probe.id, probe.id + " is installed and can add monitors on demand."};
    for (const BackendProbe& probe : probes)
        if (probe.id != "qv-idd" && probe.installed)
            return {probe.id, probe.id + " is installed (monitors are fixed until the driver is reloaded)."};
    if (environment.secureBoot)
        return {"", "No virtual display driver is installed, and Secure Boot blocks the unsigned Quorvane driver. "
                    "Install Parsec VDD or Virtual Display Driver, or wait for the signed Quorvane driver."};
    if (environment.testSigning)
        return {"", "No virtual display driver is installed. This machine accepts test-signed drivers, so the "
                    "Quorvane driver can be installed for development."};
    return {"", "No virtual display driver is installed. Enable test signing (bcdedit /set testsigning on) for the "
                "Quorvane driver, or install Parsec VDD."};
}

std::unique_ptr<Backend> openBackend(DeviceApi& devices, SystemInfo& system, const std::string& preferredId,
                                     std::string& reason, PacingClock* clock) {
    std::vector<std::unique_ptr<Backend>> backends = makeBackends(devices, clock);
    std::vector<BackendProbe> probes;
    for (const auto& backend : backends)
        probes.push_back({backend->id(), backend->isInstalled(), backend->capabilities()});
    BackendChoice choice = chooseBackend(probes, probeEnvironment(system), preferredId);
    reason = choice.reason;
    if (choice.id.empty()) return nullptr;
    for (auto& backend : backends)
        if (backend->id() == choice.id) return std::move(backend);
    return nullptr;
}

} // namespace qv::vdisplay
