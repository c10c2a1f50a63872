#include "vdisplay/VdCommandLine.h"

#include "sim/SimDisplays.h"
#include "sim/SimProcess.h"
#include "vdisplay/Backend.h"
#include "vdisplay/DesktopDuplication.h"
#include "vdisplay/VdBackends.h"
#include "vdisplay/VdClock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace qv {
namespace {

using namespace vdisplay;
using Args = std::vector<std::string>;

// What a backend was asked to do; outlives the backend, which the command
// destroys at its end.
struct BackendLog {
    std::vector<std::string> calls;
    MonitorRequest request;
};

class FakeBackend final : public Backend {
public:
    FakeBackend(BackendLog& log, std::string id) : log_(log), id_(std::move(id)) {}

    std::string id() const override { return id_; }
    std::string displayName() const override { return id_; }
    bool isInstalled() override { return true; }
    Capabilities capabilities() const override { return capabilities_; }
    bool open(std::string& error) override {
        log_.calls.push_back("open");
        error = openError;
        return openError.empty();
    }
    void close() override {
        log_.calls.push_back("close");
        if (onClose) onClose();
    }
    bool addMonitor(const MonitorRequest& request, VirtualMonitor& monitor, std::string& error) override {
        log_.calls.push_back("addMonitor");
        log_.request = request;
        if (!addError.empty()) {
            error = addError;
            return false;
        }
        monitor = granted;
        if (onAdd) onAdd();
        return true;
    }
    bool removeMonitor(uint32_t monitorId, std::string& error) override {
        log_.calls.push_back("removeMonitor " + std::to_string(monitorId));
        if (refused.count(monitorId)) {
            error = "the driver refused";
            return false;
        }
        if (onRemove) onRemove();
        return true;
    }
    std::vector<VirtualMonitor> listMonitors() override {
        log_.calls.push_back("listMonitors");
        return monitors;
    }
    std::string lost() const override { return lostText; }

    Capabilities capabilities_;
    std::string lostText;
    std::string openError;
    std::string addError;
    VirtualMonitor granted;
    std::function<void()> onAdd;
    std::function<void()> onRemove;
    std::function<void()> onClose;
    std::set<uint32_t> refused;
    std::vector<VirtualMonitor> monitors;

private:
    BackendLog& log_;
    std::string id_;
};

class FakeBackends final : public VdBackends {
public:
    Environment environment() override { return environment_; }
    std::vector<BackendStatus> probes() override { return statuses; }
    BackendChoice choose(const std::vector<BackendProbe>& probes, const Environment& environment) override {
        chosenFrom = probes;
        choseIn = environment;
        return choice;
    }
    std::unique_ptr<Backend> open(const std::string& preferredId, std::string& reason) override {
        preferred.push_back(preferredId);
        reason = choice.reason;
        return std::move(backend);
    }
    bool install(std::string& error) override {
        error = deviceError;
        return deviceError.empty();
    }
    bool uninstall(std::string& error) override { return install(error); }

    // A backend that open hands over; null: none is usable.
    FakeBackend& makeBackend(const std::string& id) {
        auto made = std::make_unique<FakeBackend>(log, id);
        FakeBackend& ref = *made;
        backend = std::move(made);
        choice.id = id;
        return ref;
    }

    Environment environment_;
    std::vector<BackendStatus> statuses;
    BackendChoice choice{"", "no virtual display driver is installed"};
    std::unique_ptr<FakeBackend> backend;
    std::string deviceError;
    BackendLog log;
    // Observed.
    std::vector<std::string> preferred;
    std::vector<BackendProbe> chosenFrom;
    Environment choseIn;
};

class FakeClock final : public VdClock {
public:
    double milliseconds() override { return now; }
    void sleep(uint32_t ms) override {
        now += ms;
        ++sleeps;
        if (onSleep) onSleep(sleeps);
    }
    double now = 5000;
    int sleeps = 0;
    std::function<void(int)> onSleep;
};

// A duplication that plays a script of frames, each taking some time, and
// times out (100 ms each) once the script has run out.
class FakeDuplication final : public DesktopDuplication {
public:
    struct Step {
        Frame frame;
        double takesMs;
        uint32_t hresult = 0;
    };
    explicit FakeDuplication(FakeClock& clock) : clock_(clock) {}

    Start start(const std::string& gdiName, uint32_t& hresult) override {
        startedOn = gdiName;
        hresult = startHresult;
        return startResult;
    }
    Frame nextFrame(uint32_t timeoutMs, uint32_t& hresult) override {
        ++calls;
        timeouts.insert(timeoutMs);
        if (script.empty()) {
            clock_.now += timeoutMs;
            return Frame::TimedOut;
        }
        const Step step = script.front();
        script.pop_front();
        clock_.now += step.takesMs;
        hresult = step.hresult;
        return step.frame;
    }
    void stop() override { stopped = true; }

    Start startResult = Start::Started;
    uint32_t startHresult = 0;
    std::deque<Step> script;
    // Observed.
    std::string startedOn;
    int calls = 0;
    std::set<uint32_t> timeouts;
    bool stopped = false;

private:
    FakeClock& clock_;
};

sim::SimMonitor monitor(const std::string& name, const std::string& pnpId, sim::SimMode mode) {
    sim::SimMonitor m;
    m.friendlyName = name;
    m.pnpId = pnpId;
    m.modes = {mode, {2560, 1440, 144}, {1920, 1080, 60}};
    m.current = mode;
    return m;
}

// The console, the desktop, the drivers and the clock of one command run.
struct Machine {
    sim::SimProcess console;
    sim::SimDisplays displays;
    FakeBackends backends;
    FakeClock clock;
    FakeDuplication duplication{clock};

    Machine() { console.parentHasConsole = true; }

    int run(const Args& arguments) {
        VdCommandLine::Services services;
        services.displays = &displays;
        services.backends = &backends;
        services.duplication = &duplication;
        services.clock = &clock;
        VdCommandLine line(arguments, console, services);
        int exitCode = -1;
        EXPECT_TRUE(line.run(exitCode));
        return exitCode;
    }
    // The command's output without the empty line every run starts with.
    std::string output() const { return console.consoleOutput.substr(1); }
};

std::string shown(const Args& arguments) {
    std::string text;
    for (const std::string& a : arguments) text += a + " ";
    return text;
}

// The console calls of a run after the console is set up: the hold's.
std::vector<std::string> holdCalls(const std::vector<std::string>& calls) {
    std::vector<std::string> held;
    for (const std::string& call : calls) {
        if (call.rfind("AttachConsole", 0) == 0 || call.rfind("freopen", 0) == 0 || call.rfind("CoInitializeEx", 0) == 0 ||
            call == "CoUninitialize")
            continue;
        held.push_back(call);
    }
    return held;
}

const std::string kHeader =
    "  name                         gdi            mode        pos       flags\n";

TEST(VdCommandStatusTest, PrintsEnvironmentBackendsAndChoice) {
    Machine m;
    m.backends.environment_ = {false, true, true};
    BackendStatus own;
    own.probe = {"qv-idd", true, {true, true, true, true, true, false, 7680, 4320, 240, 8, {}}};
    own.hasDriver = true;
    own.driver = {0x00010002, 0x1900, true};
    BackendStatus parsec;
    parsec.probe = {"parsec-vdd", false, {true, false, false, false, false, true, 3840, 2160, 240, 8, {}}};
    m.backends.statuses = {own, parsec};
    m.backends.choice = {"qv-idd", "the own driver is installed"};

    EXPECT_EQ(m.run({"--vd-status"}), 0);
    EXPECT_EQ(m.output(),
              "environment: secureBoot=0 testSigning=1 windows11=1 canLoadTestSigned=1\n"
              "backend qv-idd      installed=1 runtime=1 custom=1 hdr=1 10bit=1 vrr=1 max=7680x4320@240\n"
              "  driver 1.2 iddcx=0x1900 hdrCapable=1\n"
              "backend parsec-vdd  installed=0 runtime=1 custom=0 hdr=0 10bit=0 vrr=0 max=3840x2160@240\n"
              "chosen: qv-idd\n"
              "  the own driver is installed\n");
    // The choice is made over exactly the probes printed, without a preferred id.
    ASSERT_EQ(m.backends.chosenFrom.size(), 2u);
    EXPECT_EQ(m.backends.chosenFrom[1].id, "parsec-vdd");
    EXPECT_TRUE(m.backends.choseIn.testSigning);
    EXPECT_TRUE(m.backends.preferred.empty());
}

TEST(VdCommandStatusTest, TestSignedDriversLoadOnlyWithTestSigningAndNoSecureBoot) {
    struct Case {
        Environment environment;
        const char* line;
    };
    const std::vector<Case> cases = {
        {{false, false, false}, "environment: secureBoot=0 testSigning=0 windows11=0 canLoadTestSigned=0\n"},
        {{true, true, false}, "environment: secureBoot=1 testSigning=1 windows11=0 canLoadTestSigned=0\n"},
        {{false, true, false}, "environment: secureBoot=0 testSigning=1 windows11=0 canLoadTestSigned=1\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Machine m;
        m.backends.environment_ = c.environment;
        EXPECT_EQ(m.run({"--vd-status"}), 0);
        EXPECT_EQ(m.output(), std::string(c.line) + "chosen: \n  no virtual display driver is installed\n");
    }
}

TEST(VdCommandListTest, ListsMonitorsOrSaysWhyNot) {
    struct Case {
        const char* name;
        bool backend;
        std::string openError;
        std::string output;
        int exitCode;
    };
    const std::vector<Case> cases = {
        {"no backend", false, "", "no backend: no virtual display driver is installed\n", 2},
        {"open fails", true, "Access is denied", "open failed: Access is denied\n", 2},
        {"two monitors", true, "",
         "qv-idd: 2 monitor(s)\n"
         "  [1] 3840x2160@120 hdr=1 10bit=1 vrr=1 connected\n"
         "  [4] 1920x1080@60 hdr=0 10bit=0 vrr=0 \n",
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m;
        if (c.backend) {
            FakeBackend& backend = m.backends.makeBackend("qv-idd");
            backend.openError = c.openError;
            VirtualMonitor second{4, 1920, 1080, 60, false, false, false, "b", false};
            backend.monitors = {{1, 3840, 2160, 120, true, true, true, "a", true}, second};
        }
        EXPECT_EQ(m.run({"--vd-list", "--backend", "qv-idd"}), c.exitCode);
        EXPECT_EQ(m.output(), c.output);
        EXPECT_EQ(m.backends.preferred, std::vector<std::string>{"qv-idd"});
    }
}

// A desktop with one physical monitor; the driver's monitor shows up as a
// second display after the third wait.
struct CreateMachine : Machine {
    CreateMachine(const std::string& id, bool dropsOnExit, sim::SimMode appears) {
        displays.plug(monitor("DELL U2720Q", "DEL1234", {3840, 2160, 60}), 0, 0);
        FakeBackend& backend = backends.makeBackend(id);
        backend.capabilities_.dropsOnExit = dropsOnExit;
        backend.granted = {3, 2560, 1440, 144, false, false, true, "Quorvane Stream", true};
        backend.onAdd = [this, appears] {
            clock.onSleep = [this, appears](int sleeps) {
                if (sleeps == 3) virtualTarget = displays.plug(monitor("QV Stream", "QVS0001", appears), 3840, 0);
            };
        };
        backends.choice.reason = "the own driver is installed";
    }
    uint32_t virtualTarget = 0;
};

const std::string kBefore = "before:\n" + kHeader +
                            "  DELL U2720Q                  \\\\.\\DISPLAY1   3840x2160@60      0,0     primary \n";
const std::string kAfter = "after:\n" + kHeader +
                           "  DELL U2720Q                  \\\\.\\DISPLAY1   3840x2160@60      0,0     primary \n"
                           "  QV Stream                    \\\\.\\DISPLAY2   2560x1440@144  3840,0     \n"
                           "PHYSICAL UNCHANGED: yes\n";

TEST(VdCommandCreateTest, CreatesTheRequestedMonitorAndShowsTheDesktopAround) {
    CreateMachine m("qv-idd", false, {2560, 1440, 144});

    EXPECT_EQ(m.run({"--vd-create", "2560x1440@144", "--no-hdr", "--8bit"}), 0);

    const MonitorRequest& request = m.backends.log.request;
    EXPECT_EQ(request.width, 2560u);
    EXPECT_EQ(request.height, 1440u);
    EXPECT_EQ(request.refresh, 144u);
    EXPECT_FALSE(request.hdr);
    EXPECT_FALSE(request.tenBit);
    EXPECT_TRUE(request.vrr);
    EXPECT_EQ(request.name, "Quorvane Stream");
    EXPECT_EQ(m.output(), "backend: qv-idd (the own driver is installed)\n" + kBefore +
                              "created [3] granted 2560x1440@144 hdr=0 10bit=0 vrr=1\n" + kAfter);
    // Without holding the monitor stays: nothing removed, the driver left as it is.
    EXPECT_EQ(m.backends.log.calls, (std::vector<std::string>{"open", "addMonitor"}));
    EXPECT_EQ(m.clock.sleeps, 3);
}

TEST(VdCommandCreateTest, RequestOptions) {
    struct Case {
        Args arguments;
        MonitorRequest request;
    };
    const std::vector<Case> cases = {
        {{"--vd-create"}, {3840, 2160, 120, true, true, true, "Quorvane Stream"}},
        {{"--vd-create", "--no-vrr", "1280x720@30", "--name", "Couch"}, {1280, 720, 30, true, true, false, "Couch"}},
        {{"--vd-create", "1280x720@30", "--name"}, {1280, 720, 30, true, true, true, "Quorvane Stream"}},
        // The backend's id is no mode, and a name may look like a flag.
        {{"--vd-create", "--backend", "qv-idd"}, {3840, 2160, 120, true, true, true, "Quorvane Stream"}},
        {{"--vd-create", "--name", "--no-hdr", "1280x720@30"}, {1280, 720, 30, true, true, true, "--no-hdr"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(shown(c.arguments));
        CreateMachine m("qv-idd", false, {2560, 1440, 144});
        m.run(c.arguments);
        const MonitorRequest& r = m.backends.log.request;
        EXPECT_EQ(Mode({r.width, r.height, r.refresh}), Mode({c.request.width, c.request.height, c.request.refresh}));
        EXPECT_EQ(r.hdr, c.request.hdr);
        EXPECT_EQ(r.tenBit, c.request.tenBit);
        EXPECT_EQ(r.vrr, c.request.vrr);
        EXPECT_EQ(r.name, c.request.name);
    }
}

TEST(VdCommandCreateTest, BadModesStopBeforeAnyDriverIsTouched) {
    const std::vector<std::pair<Args, std::string>> cases = {
        {{"--vd-create", "2560x1440"}, "2560x1440"},
        {{"--vd-create", "--backend", "parsec-vdd", "60"}, "60"},
        {{"--vd-create", "0x1080@60"}, "0x1080@60"},
        {{"--vd-create", "1920x1080@0"}, "1920x1080@0"},
        {{"--vd-create", "wide"}, "wide"},
        {{"--vd-create", "1920X1080@60"}, "1920X1080@60"},
        // Signs, blanks and numbers beyond 32 bits: sscanf's %u took them,
        // wrapping "-20180" round to 4294947116 and asking the driver for that.
        {{"--vd-create", "1920x-20180@60"}, "1920x-20180@60"},
        {{"--vd-create", "-1x1080@60"}, "-1x1080@60"},
        {{"--vd-create", "1920x1080@+60"}, "1920x1080@+60"},
        {{"--vd-create", " 1920x1080@60"}, " 1920x1080@60"},
        {{"--vd-create", "4294967297x1080@60"}, "4294967297x1080@60"},
        {{"--vd-create", "1920x1080@99999999999999999999"}, "1920x1080@99999999999999999999"},
    };
    for (const auto& [arguments, mode] : cases) {
        SCOPED_TRACE(shown(arguments));
        CreateMachine m("parsec-vdd", true, {1920, 1080, 60});
        EXPECT_EQ(m.run(arguments), 1);
        EXPECT_EQ(m.output(), "bad mode '" + mode + "' (want WxH@Hz)\n");
        EXPECT_TRUE(m.backends.preferred.empty());
        EXPECT_TRUE(m.backends.log.calls.empty());
    }
}

TEST(VdCommandCreateTest, HoldsUntilEnterThenReleases) {
    struct Case {
        const char* name;
        std::string backend;
        bool dropsOnExit;
        Args arguments;
        std::string holding;
    };
    const std::vector<Case> cases = {
        {"a backend that drops monitors holds by itself", "parsec-vdd", true,
         {"--vd-create", "1920x1080@60", "--backend", "parsec-vdd"},
         "(this backend drops monitors when the controller exits) holding — press Enter to release the display...\n"},
        {"asked to hold", "qv-idd", false, {"--vd-create", "1920x1080@60", "--hold"},
         "holding — press Enter to release the display...\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CreateMachine m(c.backend, c.dropsOnExit, {2560, 1440, 144});
        // The driver takes its monitor away when released.
        m.backends.backend->onRemove = [&m] { m.displays.unplug(m.virtualTarget); };
        auto& calls = m.backends.log.calls;

        EXPECT_EQ(m.run(c.arguments), 0);

        const std::string out = m.output();
        const std::string afterPart = kAfter + c.holding;
        ASSERT_NE(out.find(afterPart), std::string::npos) << out;
        EXPECT_EQ(out.substr(out.find(afterPart) + afterPart.size()),
                  "released:\n" + kHeader +
                      "  DELL U2720Q                  \\\\.\\DISPLAY1   3840x2160@60      0,0     primary \n"
                      "PHYSICAL UNCHANGED: yes\n");
        EXPECT_EQ(calls, (std::vector<std::string>{"open", "addMonitor", "removeMonitor 3", "close"}));
        EXPECT_EQ(holdCalls(m.console.calls),
                  (std::vector<std::string>{"SetConsoleCtrlHandler(handler, TRUE)", "wait: input",
                                            "SetConsoleCtrlHandler(handler, FALSE)"}));
    }
}

TEST(VdCommandCreateTest, AHoldEndsWhenTheDriverDropsTheMonitor) {
    CreateMachine m("parsec-vdd", true, {2560, 1440, 144});
    FakeBackend& backend = *m.backends.backend;
    auto& calls = m.backends.log.calls;
    // Nobody presses Enter; after the third wait the driver is gone.
    std::vector<uint32_t> waits;
    m.console.consoleInputWait = [&](uint32_t timeoutMs) {
        waits.push_back(timeoutMs);
        if (waits.size() == 3) backend.lostText = "the driver stopped answering.";
        return false;
    };

    EXPECT_EQ(m.run({"--vd-create", "1920x1080@60"}), 2);

    const std::string out = m.output();
    const std::string holding =
        "(this backend drops monitors when the controller exits) holding — press Enter to release the display...\n";
    ASSERT_NE(out.find(holding), std::string::npos) << out;
    EXPECT_EQ(out.substr(out.find(holding) + holding.size()), "hold ended: the driver stopped answering.\n");
    EXPECT_EQ(waits, (std::vector<uint32_t>{100, 100, 100}));
    // Nothing to remove: the backend is closed, and the caught control
    // events go on only after that.
    EXPECT_EQ(calls, (std::vector<std::string>{"open", "addMonitor", "close"}));
    EXPECT_EQ(holdCalls(m.console.calls),
              (std::vector<std::string>{"SetConsoleCtrlHandler(handler, TRUE)", "SetConsoleCtrlHandler(handler, FALSE)"}));
}

TEST(VdCommandCreateTest, AConsoleControlEventReleasesTheHeldMonitor) {
    // Ctrl+C, Ctrl+Break, the console window closing or a sign-out: during
    // the hold, or already while the new display is awaited.
    for (bool duringTheWait : {false, true}) {
        SCOPED_TRACE(duringTheWait ? "arrives while the display is awaited" : "arrives during the hold");
        CreateMachine m("qv-idd", false, {2560, 1440, 144});
        FakeBackend& backend = *m.backends.backend;
        backend.onRemove = [&m] {
            m.console.record("removeMonitor");
            m.displays.unplug(m.virtualTarget);
        };
        backend.onClose = [&m] { m.console.record("close"); };
        if (duringTheWait) {
            backend.onAdd = [&m] {
                m.clock.onSleep = [&m](int sleeps) {
                    if (sleeps == 1) m.console.controlEventArrives = true;
                    if (sleeps == 3)
                        m.virtualTarget = m.displays.plug(monitor("QV Stream", "QVS0001", {2560, 1440, 144}), 3840, 0);
                };
            };
        } else {
            // The first wait of the hold times out; the event comes during it.
            m.console.consoleInputWait = [&m](uint32_t) {
                m.console.controlEventArrives = true;
                return false;
            };
        }

        EXPECT_EQ(m.run({"--vd-create", "1920x1080@60", "--hold"}), 0);

        // The same release as with Enter, and the caught event goes on (for
        // a closing window: the process ends) only once the monitor is gone
        // and the table is printed.
        const std::string released = "released:\n" + kHeader +
                                     "  DELL U2720Q                  \\\\.\\DISPLAY1   3840x2160@60      0,0     primary \n"
                                     "PHYSICAL UNCHANGED: yes\n";
        // One that comes while the display is awaited ends that wait at once
        // (the display never shows up here) and sets no mode on it.
        EXPECT_EQ(holdCalls(m.console.calls),
                  (std::vector<std::string>{"SetConsoleCtrlHandler(handler, TRUE)",
                                            duringTheWait ? "control event arrived" : "wait: control event",
                                            "removeMonitor", "close", "SetConsoleCtrlHandler(handler, FALSE)"}));
        if (duringTheWait) {
            EXPECT_EQ(m.clock.sleeps, 1);
            EXPECT_EQ(m.output().find("holding"), std::string::npos);
            EXPECT_EQ(m.output().find("WARNING"), std::string::npos);
        }
        ASSERT_TRUE(m.console.outputWhenControlEventsReleased.has_value());
        EXPECT_EQ(*m.console.outputWhenControlEventsReleased, m.console.consoleOutput);
        const std::string out = m.output();
        EXPECT_EQ(out.substr(out.size() - std::min(out.size(), released.size())), released) << out;
        EXPECT_EQ(m.backends.log.calls, (std::vector<std::string>{"open", "addMonitor", "removeMonitor 3", "close"}));
    }
}

TEST(VdCommandCreateTest, ControlEventsAreCaughtOnlyForAHold) {
    CreateMachine m("qv-idd", false, {2560, 1440, 144});
    m.console.controlEventArrives = true;
    EXPECT_EQ(m.run({"--vd-create", "1920x1080@60", "--name", "--hold"}), 0);
    EXPECT_TRUE(holdCalls(m.console.calls).empty());
    EXPECT_EQ(m.backends.log.request.name, "--hold");
}

TEST(VdCommandCreateTest, FailuresAndSlowDisplays) {
    {
        SCOPED_TRACE("no backend");
        Machine m;
        EXPECT_EQ(m.run({"--vd-create", "1920x1080@60"}), 2);
        EXPECT_EQ(m.output(), "no backend: no virtual display driver is installed\n");
    }
    for (bool openFails : {true, false}) {
        SCOPED_TRACE(openFails ? "open fails" : "add fails");
        CreateMachine m("qv-idd", false, {1920, 1080, 60});
        (openFails ? m.backends.backend->openError : m.backends.backend->addError) = "The device is not ready";
        EXPECT_EQ(m.run({"--vd-create", "1920x1080@60"}), 2);
        EXPECT_EQ(m.output(), "backend: qv-idd (the own driver is installed)\n" + kBefore +
                                  "create failed: The device is not ready\n");
    }
    {
        SCOPED_TRACE("no display appears");
        CreateMachine m("qv-idd", false, {1920, 1080, 60});
        m.backends.backend->onAdd = nullptr;
        EXPECT_EQ(m.run({"--vd-create", "1920x1080@60"}), 0);
        EXPECT_EQ(m.clock.sleeps, 50);
        const std::string out = m.output();
        EXPECT_NE(out.find("vrr=1\nWARNING: no new display appeared within 5 s\nafter:\n"), std::string::npos) << out;
        EXPECT_EQ(out.find("set mode"), std::string::npos);
    }
}

TEST(VdCommandCreateTest, NewDisplayIsSetToTheGrantedMode) {
    // Windows brings the new display up at another mode of its list.
    CreateMachine m("qv-idd", false, {1920, 1080, 60});
    EXPECT_EQ(m.run({"--vd-create", "2560x1440@144"}), 0);
    const std::string out = m.output();
    EXPECT_NE(out.find("\nset mode on new display: "), std::string::npos) << out;
    EXPECT_EQ(m.displays.sourceOf(m.virtualTarget).width, 2560u);
    EXPECT_EQ(m.displays.sourceOf(m.virtualTarget).refreshHz, 144u);
    EXPECT_NE(out.find("  QV Stream                    \\\\.\\DISPLAY2   2560x1440@144  3840,0     \n"),
              std::string::npos)
        << out;
}

TEST(VdCommandCreateTest, ReportsPhysicalDisplaysThatChanged) {
    // A driver whose monitor takes the primary place and knocks the
    // physical display down to another mode.
    CreateMachine m("qv-idd", false, {2560, 1440, 144});
    const std::string gdi = "\\\\.\\DISPLAY1";
    m.backends.backend->onAdd = [&] {
        DevMode mode;
        mode.dmFields = dc::DmPelsWidth | dc::DmPelsHeight | dc::DmDisplayFrequency;
        mode.dmPelsWidth = 1920;
        mode.dmPelsHeight = 1080;
        mode.dmDisplayFrequency = 60;
        m.displays.changeDisplaySettings(&gdi, &mode, 0);
    };
    EXPECT_EQ(m.run({"--vd-create", "2560x1440@144"}), 0);
    const std::string out = m.output();
    EXPECT_NE(out.find("  CHANGED: DELL U2720Q (mode/primary/active/hdr differs)\nPHYSICAL UNCHANGED: NO\n"),
              std::string::npos)
        << out;
}

TEST(VdCommandDestroyTest, RemovesByIndexOrAll) {
    struct Case {
        const char* name;
        Args arguments;
        bool backend;
        std::string output;
        int exitCode;
        std::vector<std::string> calls;
    };
    const std::vector<Case> cases = {
        {"no index", {"--vd-destroy"}, true, "usage: --vd-destroy <index>\n", 1, {}},
        // The backend's id is no index: slot 0 may be another program's monitor.
        {"no index, only options", {"--vd-destroy", "--backend", "qv-idd"}, true, "usage: --vd-destroy <index>\n", 1,
         {}},
        {"index after the option", {"--vd-destroy", "--backend", "qv-idd", "2"}, true, "destroy [2]: ok\n", 0,
         {"open", "removeMonitor 2"}},
        {"removed", {"--vd-destroy", "2"}, true, "destroy [2]: ok\n", 0, {"open", "removeMonitor 2"}},
        {"refused", {"--vd-destroy", "7"}, true, "destroy [7]: the driver refused\n", 0, {"open", "removeMonitor 7"}},
        {"not a number", {"--vd-destroy", "two"}, true, "destroy [0]: ok\n", 0, {"open", "removeMonitor 0"}},
        {"too large", {"--vd-destroy", "99999999999999999999"}, true, "destroy [4294967295]: ok\n", 0,
         {"open", "removeMonitor 4294967295"}},
        // Read as Windows' strtoul reads it, with a 32-bit unsigned long.
        {"negative", {"--vd-destroy", "-2"}, true, "destroy [4294967294]: ok\n", 0, {"open", "removeMonitor 4294967294"}},
        {"largest", {"--vd-destroy", "4294967295"}, true, "destroy [4294967295]: ok\n", 0,
         {"open", "removeMonitor 4294967295"}},
        {"one beyond 32 bits", {"--vd-destroy", "4294967296"}, true, "destroy [4294967295]: ok\n", 0,
         {"open", "removeMonitor 4294967295"}},
        {"negative beyond 32 bits", {"--vd-destroy", "-4294967296"}, true, "destroy [4294967295]: ok\n", 0,
         {"open", "removeMonitor 4294967295"}},
        {"negative 32-bit", {"--vd-destroy", "-4294967295"}, true, "destroy [1]: ok\n", 0, {"open", "removeMonitor 1"}},
        {"space, sign, trailing text", {"--vd-destroy", " \t+12x"}, true, "destroy [12]: ok\n", 0,
         {"open", "removeMonitor 12"}},
        {"a sign alone", {"--vd-destroy", "-"}, true, "destroy [0]: ok\n", 0, {"open", "removeMonitor 0"}},
        {"no backend", {"--vd-destroy", "2"}, false, "no backend: no virtual display driver is installed\n", 2, {}},
        {"all", {"--vd-destroy-all"}, true, "destroy [1]: ok\ndestroy [7]: the driver refused\n", 0,
         {"open", "listMonitors", "removeMonitor 1", "removeMonitor 7"}},
        {"all, no backend", {"--vd-destroy-all"}, false, "no backend: no virtual display driver is installed\n", 2,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m;
        if (c.backend) {
            FakeBackend& backend = m.backends.makeBackend("qv-idd");
            backend.refused = {7};
            backend.monitors = {{1}, {7}};
        }
        EXPECT_EQ(m.run(c.arguments), c.exitCode);
        EXPECT_EQ(m.output(), c.output);
        EXPECT_EQ(m.backends.log.calls, c.calls);
    }
}

TEST(VdCommandDestroyTest, OpenFailureExits2) {
    Machine m;
    m.backends.makeBackend("parsec-vdd").openError = "The system cannot find the file specified";
    EXPECT_EQ(m.run({"--vd-destroy-all", "--backend", "parsec-vdd"}), 2);
    EXPECT_EQ(m.output(), "open failed: The system cannot find the file specified\n");
    EXPECT_EQ(m.backends.preferred, std::vector<std::string>{"parsec-vdd"});
}

TEST(VdCommandInstallTest, ReportsOkOrTheError) {
    struct Case {
        const char* command;
        std::string error;
        std::string output;
        int exitCode;
    };
    const std::vector<Case> cases = {
        {"--vd-install", "", "install: ok\n", 0},
        {"--vd-install", "SwDeviceCreate is not available", "install: SwDeviceCreate is not available\n", 2},
        {"--vd-uninstall", "", "uninstall: ok\n", 0},
        {"--vd-uninstall", "no device node", "uninstall: no device node\n", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        Machine m;
        m.backends.deviceError = c.error;
        EXPECT_EQ(m.run({c.command}), c.exitCode);
        EXPECT_EQ(m.output(), c.output);
    }
}

TEST(VdCommandLineServicesTest, WithoutServicesCommandsFailCleanly) {
    const std::vector<std::pair<Args, int>> cases = {
        {{"--vd-status"}, 0}, {{"--vd-list"}, 2},  {{"--vd-create", "1920x1080@60"}, 2},
        {{"--vd-install"}, 2}, {{"--vd-probe", "0"}, 1}, {{"--vd-probe", "0", "--display", "\\\\.\\DISPLAY1"}, 2},
    };
    for (const auto& [arguments, exitCode] : cases) {
        SCOPED_TRACE(shown(arguments));
        sim::SimProcess console;
        VdCommandLine line(arguments, console);
        int code = -1;
        EXPECT_TRUE(line.run(code));
        EXPECT_EQ(code, exitCode);
    }
}

TEST(VdCommandProbeTest, MeasuresPresentedFrames) {
    using Frame = DesktopDuplication::Frame;
    Machine m;
    m.displays.plug(monitor("DELL U2720Q", "DEL1234", {3840, 2160, 60}), 0, 0);
    m.duplication.script = {
        {Frame::TimedOut, 100},     {Frame::Presented, 3},     {Frame::NotPresented, 4},
        {Frame::Presented, 12.5},   {Frame::TimedOut, 100},
    };

    EXPECT_EQ(m.run({"--vd-probe", "0", "--display", "\\\\.\\DISPLAY1"}), 0);

    // Exactly two presented frames: one interval of 16.5 ms.
    EXPECT_EQ(m.output(), "probing \\\\.\\DISPLAY1 for 1 s\n"
                          "frames=2  fps=60.6  interval ms: p50=16.50 p99=16.50 max=16.50\n");
    EXPECT_EQ(m.duplication.startedOn, "\\\\.\\DISPLAY1");
    EXPECT_EQ(m.duplication.timeouts, std::set<uint32_t>{100});
    EXPECT_TRUE(m.duplication.stopped);
    // 0 s probes for 1 s: 219.5 ms of script, then 100 ms time-outs up to 1000 ms.
    EXPECT_EQ(m.duplication.calls, 5 + 8);
}

TEST(VdCommandProbeTest, SecondsAndDisplayChoice) {
    struct Case {
        const char* name;
        Args arguments;
        std::vector<std::string> monitorNames;
        std::string output;
        int exitCode;
    };
    const std::string noFrames = "no frames — is anything rendering to that display?\n";
    const std::vector<Case> cases = {
        {"default 10 s on the last virtual display", {"--vd-probe"},
         {"Parsec Virtual Display", "DELL U2720Q", "Virtual Display Driver"},
         "probing \\\\.\\DISPLAY3 for 10 s\n" + noFrames, 3},
        {"names are matched anywhere", {"--vd-probe", "3"}, {"QV Stream 1", "My Quorvane screen", "LG HDR 4K"},
         "probing \\\\.\\DISPLAY2 for 3 s\n" + noFrames, 3},
        {"display before the seconds", {"--vd-probe", "--display", "\\\\.\\DISPLAY2", "5"}, {"DELL U2720Q"},
         "probing \\\\.\\DISPLAY2 for 5 s\n" + noFrames, 3},
        {"1 s becomes 1 s", {"--vd-probe", "1"}, {"Virtual"}, "probing \\\\.\\DISPLAY1 for 1 s\n" + noFrames, 3},
        {"negative", {"--vd-probe", "-5"}, {"Virtual"}, "probing \\\\.\\DISPLAY1 for 1 s\n" + noFrames, 3},
        {"not a number", {"--vd-probe", "soon"}, {"Virtual"}, "probing \\\\.\\DISPLAY1 for 1 s\n" + noFrames, 3},
        {"no virtual display", {"--vd-probe", "2"}, {"DELL U2720Q", "virtual"},
         "no virtual display found; pass --display \\\\.\\DISPLAYn\n", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m;
        int x = 0;
        int pnp = 1000;
        for (const std::string& name : c.monitorNames) {
            m.displays.plug(monitor(name, "ABC" + std::to_string(pnp++), {1920, 1080, 60}), x, 0);
            x += 1920;
        }
        EXPECT_EQ(m.run(c.arguments), c.exitCode);
        EXPECT_EQ(m.output(), c.output);
    }
}

TEST(VdCommandProbeTest, CaptureFailures) {
    using Start = DesktopDuplication::Start;
    using Frame = DesktopDuplication::Frame;
    struct Case {
        Start start;
        uint32_t hresult;
        std::deque<FakeDuplication::Step> script;
        std::string output;
        int exitCode;
    };
    const std::string probing = "probing \\\\.\\DISPLAY9 for 1 s\n";
    const std::vector<Case> cases = {
        {Start::NoDxgi, 0, {}, probing + "no DXGI\n", 2},
        {Start::OutputNotFound, 0, {}, probing + "output \\\\.\\DISPLAY9 not found in DXGI\n", 2},
        {Start::DeviceFailed, 0, {}, probing + "D3D11 device failed\n", 2},
        {Start::DuplicateFailed, 0x80004001, {}, probing + "DuplicateOutput failed 0x80004001\n", 2},
        {Start::Started, 0, {{Frame::Presented, 1}, {Frame::Failed, 1, 0x887A0026}, {Frame::Presented, 1}},
         probing + "AcquireNextFrame 0x887a0026\nno frames — is anything rendering to that display?\n", 3},
        {Start::Started, 0, {{Frame::Presented, 1}, {Frame::Presented, 20}, {Frame::Failed, 1, 0x887A0026}},
         probing + "AcquireNextFrame 0x887a0026\nframes=2  fps=50.0  interval ms: p50=20.00 p99=20.00 max=20.00\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        Machine m;
        m.duplication.startResult = c.start;
        m.duplication.startHresult = c.hresult;
        m.duplication.script = c.script;
        EXPECT_EQ(m.run({"--vd-probe", "0", "--display", "\\\\.\\DISPLAY9"}), c.exitCode);
        EXPECT_EQ(m.output(), c.output);
    }
}

} // namespace
} // namespace qv
