#pragma once
#include "vdisplay/Backend.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qv::vdisplay {

// The own driver's answer to its version query.
struct DriverVersion {
    uint32_t version = 0; // major in the high 16 bits, minor in the low 16
    uint32_t iddcxVersion = 0;
    bool hdrCapable = false;
};

// One backend of the fixed list, probed without opening it.
struct BackendStatus {
    BackendProbe probe;
    // Filled only for the own driver when it is installed and answered its
    // version query.
    bool hasDriver = false;
    DriverVersion driver;
};

// Everything the console commands need from the virtual display backends:
// the environment, the probe of every backend, the choice and the own
// driver's device node. The production version goes through the backends
// themselves; tests hand in fakes.
class VdBackends {
public:
    virtual ~VdBackends() = default;

    virtual Environment environment() = 0;
    // Every backend in the fixed order, probed.
    virtual std::vector<BackendStatus> probes() = 0;
    // The choice over the probes without a preferred id.
    virtual BackendChoice choose(const std::vector<BackendProbe>& probes, const Environment& environment) = 0;
    // The chosen backend, not yet opened; null when none is usable. reason
    // receives the choice's sentence.
    virtual std::unique_ptr<Backend> open(const std::string& preferredId, std::string& reason) = 0;
    // Creates or removes the own driver's device node.
    virtual bool install(std::string& error) = 0;
    virtual bool uninstall(std::string& error) = 0;
};

} // namespace qv::vdisplay
