#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qv::vdisplay {

// What a virtual display backend can do.
struct Mode {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t refresh = 0;
    friend bool operator==(const Mode&, const Mode&) = default;
};

struct Capabilities {
    bool runtime = false;     // monitors can be added and removed while the driver runs
    bool custom = false;      // any width, height and refresh may be requested
    bool hdr = false;
    bool tenBit = false;
    bool vrr = false;
    bool dropsOnExit = false; // the driver removes the monitors when the controlling process ends
    uint32_t maxWidth = 0;
    uint32_t maxHeight = 0;
    uint32_t maxRefresh = 0;
    uint32_t maxMonitors = 0;
    std::vector<Mode> modes;  // empty: any mode up to the maxima
};

// What the caller asks for.
struct MonitorRequest {
    uint32_t width = 3840;
    uint32_t height = 2160;
    uint32_t refresh = 120;
    bool hdr = true;
    bool tenBit = true;
    bool vrr = true;
    std::string name = "Quorvane Stream";
};

// A monitor a backend created or reports.
struct VirtualMonitor {
    uint32_t id = 0; // the driver's identifier, or the slot index
    uint32_t width = 3840;
    uint32_t height = 2160;
    uint32_t refresh = 120;
    bool hdr = true;
    bool tenBit = true;
    bool vrr = true;
    std::string name = "Quorvane Stream";
    bool active = false;
};

// The machine's driver-signing situation.
struct Environment {
    bool secureBoot = false;
    bool testSigning = false;
    bool windows11 = false; // build 22000 or later
};

struct BackendProbe {
    std::string id;
    bool installed = false;
    Capabilities capabilities;
};

struct BackendChoice {
    std::string id; // empty: no backend is usable
    std::string reason;
};

// One virtual display driver. The slot order of the virtual operations is
// fixed: destructor, id, displayName, isInstalled, capabilities, open, close,
// addMonitor, removeMonitor, listMonitors, lost.
class Backend {
public:
    virtual ~Backend() = default;
    virtual std::string id() const = 0;
    virtual std::string displayName() const = 0;
    // The driver is present; does not open it.
    virtual bool isInstalled() = 0;
    virtual Capabilities capabilities() const = 0;
    // Connects to the driver; true at once when connected already.
    virtual bool open(std::string& error) = 0;
    virtual void close() = 0;
    // Opens first when needed.
    virtual bool addMonitor(const MonitorRequest& request, VirtualMonitor& monitor, std::string& error) = 0;
    virtual bool removeMonitor(uint32_t id, std::string& error) = 0;
    virtual std::vector<VirtualMonitor> listMonitors() = 0;
    // Empty while the driver keeps this backend's monitors; otherwise the
    // sentence saying why it has dropped them (a driver that must be kept
    // alive and stopped answering). Safe to call from any thread.
    virtual std::string lost() const { return std::string(); }
};

class DeviceApi;
class SystemInfo;
class PacingClock;

// The three backends in their fixed order: the own driver, Parsec VDD,
// Tarnwick's VDD. None is opened. clock paces Parsec's keep-alive thread
// (it must outlive the backends); null gives each its own steady clock.
std::vector<std::unique_ptr<Backend>> makeBackends(DeviceApi& devices, PacingClock* clock = nullptr);
Environment probeEnvironment(SystemInfo& system);
BackendChoice chooseBackend(const std::vector<BackendProbe>& probes, const Environment& environment,
                            const std::string& preferredId);
// Makes the backends, chooses one and hands it over (not yet opened); null
// when none is usable. reason receives the choice's sentence.
std::unique_ptr<Backend> openBackend(DeviceApi& devices, SystemInfo& system, const std::string& preferredId,
                                     std::string& reason, PacingClock* clock = nullptr);

} // namespace qv::vdisplay
