#pragma once
#include "vdisplay/VdBackends.h"

namespace qv::vdisplay {

class DeviceApi;
class SystemInfo;

// The console commands' backends on the real machine: the fixed list of
// makeBackends, the environment probe and the choice of Backend.h, and the
// own driver's version query and device node.
class SystemVdBackends final : public VdBackends {
public:
    SystemVdBackends(DeviceApi& devices, SystemInfo& system) : devices_(devices), system_(system) {}

    Environment environment() override;
    std::vector<BackendStatus> probes() override;
    BackendChoice choose(const std::vector<BackendProbe>& probes, const Environment& environment) override;
    std::unique_ptr<Backend> open(const std::string& preferredId, std::string& reason) override;
    bool install(std::string& error) override;
    bool uninstall(std::string& error) override;

private:
    DeviceApi& devices_;
    SystemInfo& system_;
};

} // namespace qv::vdisplay
