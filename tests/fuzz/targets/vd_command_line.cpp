// The console's "--vd-" command lines (one argument per line) against a
// simulated desktop and a virtual display driver that grants whatever it is
// asked for and plugs the new monitor in. Every command ends with one of
// its exit codes, and a monitor is only ever requested with the mode the
// command line spells: each number as its digits read, never wrapped around
// or overflowed.
#include "FuzzSupport.h"

#include "vdisplay/Backend.h"
#include "vdisplay/VdBackends.h"
#include "vdisplay/VdClock.h"
#include "vdisplay/VdCommandLine.h"
#include "vdisplay/VdConsole.h"

using namespace qv;
using namespace qv::vdisplay;

namespace {

class Console final : public VdConsole {
public:
    bool attachParentConsole() override { return true; }
    bool allocConsole() override { return true; }
    bool hasStandardHandle(Stream) override { return true; }
    void reopenOnConsole(Stream) override {}
    void print(const std::string& text) override { output += text; }
    void catchControlEvents() override {}
    Release waitForRelease(uint32_t) override { return Release::Input; }
    bool controlEventArrived() override { return false; }
    void releaseControlEvents() override {}
    int32_t coInitialize(uint32_t) override { return 0; }
    void coUninitialize() override {}
    std::string output;
};

class Clock final : public VdClock {
public:
    double milliseconds() override { return now; }
    void sleep(uint32_t ms) override { now += ms; }
    double now = 1000;
};

struct Driver {
    sim::SimDisplays* displays = nullptr;
    std::vector<MonitorRequest> requests;
    std::vector<VirtualMonitor> monitors;
};

class GrantingBackend final : public Backend {
public:
    explicit GrantingBackend(Driver& driver) : driver_(driver) {}
    std::string id() const override { return "qv-idd"; }
    std::string displayName() const override { return "Quorvane IDD"; }
    bool isInstalled() override { return true; }
    Capabilities capabilities() const override {
        return {true, true, true, true, true, false, 7680, 4320, 240, 4, {}};
    }
    bool open(std::string&) override { return true; }
    void close() override {}
    bool addMonitor(const MonitorRequest& request, VirtualMonitor& monitor, std::string&) override {
        driver_.requests.push_back(request);
        monitor.id = static_cast<uint32_t>(driver_.monitors.size() + 1);
        monitor.width = request.width;
        monitor.height = request.height;
        monitor.refresh = request.refresh;
        monitor.name = request.name;
        monitor.active = true;
        driver_.monitors.push_back(monitor);
        sim::SimMonitor plugged;
        plugged.friendlyName = "QV Stream";
        plugged.pnpId = "QVS0001";
        plugged.modes = {{1920, 1080, 60}, {request.width, request.height, request.refresh}};
        plugged.current = {1920, 1080, 60};
        driver_.displays->plug(plugged, 7680, 0);
        return true;
    }
    bool removeMonitor(uint32_t monitorId, std::string& error) override {
        if (monitorId == 0 || monitorId > driver_.monitors.size()) {
            error = "no such monitor";
            return false;
        }
        return true;
    }
    std::vector<VirtualMonitor> listMonitors() override { return driver_.monitors; }

private:
    Driver& driver_;
};

class Backends final : public VdBackends {
public:
    explicit Backends(Driver& driver) : driver_(driver) {}
    Environment environment() override { return {false, true, true}; }
    std::vector<BackendStatus> probes() override {
        BackendStatus own;
        own.probe = {"qv-idd", true, GrantingBackend(driver_).capabilities()};
        return {own};
    }
    BackendChoice choose(const std::vector<BackendProbe>&, const Environment&) override {
        return {"qv-idd", "the own driver is installed"};
    }
    std::unique_ptr<Backend> open(const std::string&, std::string& reason) override {
        reason = "the own driver is installed";
        return std::make_unique<GrantingBackend>(driver_);
    }
    bool install(std::string&) override { return true; }
    bool uninstall(std::string&) override { return true; }

private:
    Driver& driver_;
};

// The number a run of decimal digits stands for, as far as 64 bits go; the
// part must not hold a minus sign before its digits.
bool spelled(const std::string& part, uint64_t& value) {
    const size_t first = part.find_first_of("0123456789");
    if (first == std::string::npos || part.find('-') < first) return false;
    value = 0;
    for (size_t i = first; i < part.size() && part[i] >= '0' && part[i] <= '9'; ++i) {
        if (value > (uint64_t{1} << 40)) return false;
        value = value * 10 + static_cast<uint64_t>(part[i] - '0');
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> arguments = fuzz::lines(fuzz::bytes(data, size), 12);
    fuzz::Disk disk;
    sim::SimDisplays displays;
    displays.laptopWithTwoDocked();
    Driver driver;
    driver.displays = &displays;
    Backends backends(driver);
    Clock clock;
    Console console;

    VdCommandLine::Services services;
    services.displays = &displays;
    services.backends = &backends;
    services.clock = &clock;
    VdCommandLine line(arguments, console, services);
    int exitCode = -1;
    if (!line.run(exitCode)) {
        QV_FUZZ_CHECK(line.command().empty() && driver.requests.empty(), line.command());
        return 0;
    }
    std::string shownArguments;
    for (const std::string& a : arguments) shownArguments += fuzz::shown(a) + " ";
    const std::string detail = shownArguments + "\n" + console.output;
    QV_FUZZ_CHECK(exitCode >= 0 && exitCode <= 3, std::to_string(exitCode) + ": " + detail);

    const std::string mode = line.positional();
    if (driver.requests.empty() || line.command() != "--vd-create" || mode.empty()) return 0;
    const MonitorRequest& r = driver.requests.front();
    const size_t x = mode.find('x');
    const size_t at = mode.find('@', x == std::string::npos ? 0 : x);
    QV_FUZZ_CHECK(x != std::string::npos && at != std::string::npos, detail);
    uint64_t w = 0, h = 0, hz = 0;
    const bool read = spelled(mode.substr(0, x), w) && spelled(mode.substr(x + 1, at - x - 1), h) &&
                      spelled(mode.substr(at + 1), hz);
    QV_FUZZ_CHECK(read && w == r.width && h == r.height && hz == r.refresh,
                  "requested " + std::to_string(r.width) + "x" + std::to_string(r.height) + "@" +
                      std::to_string(r.refresh) + " for '" + fuzz::shown(mode) + "': " + detail);
    return 0;
}
