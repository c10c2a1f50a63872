#include "vdisplay/VdCommandLine.h"

#include "base/StrPrintf.h"
#include "display/DisplayManager.h"
#include "vdisplay/Backend.h"
#include "vdisplay/DesktopDuplication.h"
#include "vdisplay/VdBackends.h"
#include "vdisplay/VdClock.h"
#include "vdisplay/VdConsole.h"
#include "vdisplay/VdReport.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace qv {

namespace {

using vdisplay::Backend;

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// Options that take the argument after them as their value, whatever that
// argument looks like.
bool takesValue(const std::string& argument) {
    return argument == "--backend" || argument == "--name" || argument == "--display";
}

constexpr const char* kNoServices = "virtual display drivers are not available in this build";

// Stands in when the program was given no backends: a machine without any.
class NoVdBackends final : public vdisplay::VdBackends {
public:
    vdisplay::Environment environment() override { return {}; }
    std::vector<vdisplay::BackendStatus> probes() override { return {}; }
    vdisplay::BackendChoice choose(const std::vector<vdisplay::BackendProbe>&, const vdisplay::Environment&) override {
        return {"", kNoServices};
    }
    std::unique_ptr<Backend> open(const std::string&, std::string& reason) override {
        reason = kNoServices;
        return nullptr;
    }
    bool install(std::string& error) override {
        error = kNoServices;
        return false;
    }
    bool uninstall(std::string& error) override { return install(error); }
};

// strtoul in base 10 as Windows has it, where unsigned long has 32 bits
// (learn.microsoft.com, "strtoul, _strtoul_l, wcstoul, _wcstoul_l"): leading
// white space, an optional sign and decimal digits; a minus sign negates in
// 32-bit arithmetic ("-2" reads as 4294967294), a magnitude beyond 32 bits
// reads as 4294967295 whatever the sign, and text without digits reads as 0.
uint32_t readUnsigned32(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + static_cast<uint64_t>(text[i] - '0');
        if (magnitude > UINT32_MAX) return UINT32_MAX;
    }
    const uint32_t value = static_cast<uint32_t>(magnitude);
    return negative ? 0u - value : value;
}

// One number of a mode at `at`: decimal digits only (no sign or blank, which
// sscanf's %u would take, wrapping "-1" round to 4294967295), at most 32
// bits; at moves past it. False when there is none or it is too large.
bool readModeNumber(const std::string& text, size_t& at, unsigned& value) {
    uint64_t number = 0;
    const size_t start = at;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        number = number * 10 + static_cast<uint64_t>(text[at] - '0');
        if (number > UINT32_MAX) return false;
    }
    value = static_cast<unsigned>(number);
    return at > start;
}

// "WxH@Hz" at the start of the text, each number above 0; what follows the
// rate is not read.
bool readMode(const std::string& text, unsigned& width, unsigned& height, unsigned& refresh) {
    size_t at = 0;
    if (!readModeNumber(text, at, width) || at >= text.size() || text[at++] != 'x') return false;
    if (!readModeNumber(text, at, height) || at >= text.size() || text[at++] != '@') return false;
    return readModeNumber(text, at, refresh) && width != 0 && height != 0 && refresh != 0;
}

// atoi without its undefined overflow: out-of-range values saturate.
int readSeconds(const std::string& text) {
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

// How often a hold looks at the backend while it waits for Enter.
constexpr uint32_t kHoldPollMs = 100;

const char* const kVirtualNames[] = {"QV Stream", "Parsec", "Quorvane", "Virtual"};

} // namespace

VdCommandLine::VdCommandLine(std::vector<std::string> arguments, VdConsole& console, Services services)
    : arguments_(std::move(arguments)), console_(console), services_(services) {
    // An option's value belongs to its option even when it looks like an
    // option or a command itself ("--name --hold" names the monitor
    // "--hold").
    isValue_.assign(arguments_.size(), false);
    for (size_t i = 0; i + 1 < arguments_.size(); ++i) {
        if (!isValue_[i] && takesValue(arguments_[i])) isValue_[i + 1] = true;
    }
    for (size_t i = 0; i < arguments_.size(); ++i) {
        if (!isValue_[i] && arguments_[i].size() > 4 && startsWith(arguments_[i], kPrefix)) {
            command_ = arguments_[i];
            commandIndex_ = i;
            break;
        }
    }
    if (!services_.clock) {
        steadyClock_ = std::make_unique<vdisplay::SteadyVdClock>();
        services_.clock = steadyClock_.get();
    }
    if (!services_.backends) {
        noBackends_ = std::make_unique<NoVdBackends>();
        services_.backends = noBackends_.get();
    }
    if (services_.displays) displays_ = std::make_unique<DisplayManager>(*services_.displays);
}

VdCommandLine::VdCommandLine(std::vector<std::string> arguments, VdConsole& console)
    : VdCommandLine(std::move(arguments), console, Services()) {}

VdCommandLine::~VdCommandLine() = default;

bool VdCommandLine::hasFlag(const std::string& flag) const {
    for (size_t i = 0; i < arguments_.size(); ++i) {
        if (!isValue_[i] && arguments_[i] == flag) return true;
    }
    return false;
}

std::string VdCommandLine::option(const std::string& name) const {
    for (size_t i = 0; i < arguments_.size(); ++i) {
        if (isValue_[i] || arguments_[i] != name) continue;
        return i + 1 < arguments_.size() && isValue_[i + 1] ? arguments_[i + 1] : std::string();
    }
    return std::string();
}

std::string VdCommandLine::positional() const {
    if (command_.empty()) return std::string();
    for (size_t i = commandIndex_ + 1; i < arguments_.size(); ++i) {
        if (!isValue_[i] && !startsWith(arguments_[i], "--")) return arguments_[i];
    }
    return std::string();
}

bool VdCommandLine::run(int& exitCode) {
    if (command_.empty()) return false;
    attachConsole(console_);
    print("\n");
    console_.coInitialize(VdConsole::kCoInitApartmentThreaded);
    exitCode = runCommand();
    console_.coUninitialize();
    return true;
}

void VdCommandLine::attachConsole(VdConsole& console) {
    using Stream = VdConsole::Stream;
    // Streams the process was given (a pipe or a file from a shell's
    // redirection) are kept: reopening them on the console would lose the
    // output. Only streams without a working handle go to the console, and a
    // console is created only when the parent has none and some output
    // stream needs one.
    const bool input = console.hasStandardHandle(Stream::Input);
    const bool output = console.hasStandardHandle(Stream::Output);
    const bool error = console.hasStandardHandle(Stream::Error);
    if (!console.attachParentConsole() && !(output && error)) console.allocConsole();
    if (!output) console.reopenOnConsole(Stream::Output);
    if (!error) console.reopenOnConsole(Stream::Error);
    if (!input) console.reopenOnConsole(Stream::Input);
}

int VdCommandLine::runCommand() {
    if (command_ == "--vd-status") return status();
    if (command_ == "--vd-list") return list();
    if (command_ == "--vd-create") return create();
    if (command_ == "--vd-destroy") return destroy(false);
    if (command_ == "--vd-destroy-all") return destroy(true);
    if (command_ == "--vd-install") return installDevice(true);
    if (command_ == "--vd-uninstall") return installDevice(false);
    if (command_ == "--vd-probe") return probe();
    print(strprintf("unknown command %s\n", command_.c_str()));
    return 1;
}

void VdCommandLine::print(const std::string& text) { console_.print(text); }

std::vector<DisplayInfo> VdCommandLine::enumerate() {
    if (!displays_) return {};
    return displays_->enumerate();
}

void VdCommandLine::printTable(const char* title, const std::vector<DisplayInfo>& displays) {
    print(vdisplay::displayTable(title, displays));
}

void VdCommandLine::printComparison(const std::vector<DisplayInfo>& earlier, const std::vector<DisplayInfo>& later) {
    std::string report;
    const bool unchanged = vdisplay::physicalUnchanged(earlier, later, report);
    print(report);
    print(strprintf("PHYSICAL UNCHANGED: %s\n", unchanged ? "yes" : "NO"));
}

std::unique_ptr<Backend> VdCommandLine::openChosen() {
    std::string reason;
    std::unique_ptr<Backend> backend = services_.backends->open(option("--backend"), reason);
    if (!backend) {
        print(strprintf("no backend: %s\n", reason.c_str()));
        return nullptr;
    }
    std::string error;
    if (!backend->open(error)) {
        print(strprintf("open failed: %s\n", error.c_str()));
        return nullptr;
    }
    return backend;
}

int VdCommandLine::status() {
    vdisplay::VdBackends& backends = *services_.backends;
    const vdisplay::Environment environment = backends.environment();
    print(strprintf("environment: secureBoot=%d testSigning=%d windows11=%d canLoadTestSigned=%d\n",
                    environment.secureBoot, environment.testSigning, environment.windows11,
                    environment.testSigning && !environment.secureBoot));
    std::vector<vdisplay::BackendProbe> probes;
    for (const vdisplay::BackendStatus& status : backends.probes()) {
        const vdisplay::Capabilities& c = status.probe.capabilities;
        print(strprintf("backend %-11s installed=%d runtime=%d custom=%d hdr=%d 10bit=%d vrr=%d max=%ux%u@%u\n",
                        status.probe.id.c_str(), status.probe.installed, c.runtime, c.custom, c.hdr, c.tenBit, c.vrr,
                        c.maxWidth, c.maxHeight, c.maxRefresh));
        if (status.hasDriver) {
            print(strprintf("  driver %u.%u iddcx=0x%x hdrCapable=%d\n", status.driver.version >> 16,
                            status.driver.version & 0xFFFFu, status.driver.iddcxVersion, status.driver.hdrCapable));
        }
        probes.push_back(status.probe);
    }
    const vdisplay::BackendChoice choice = backends.choose(probes, environment);
    print(strprintf("chosen: %s\n  %s\n", choice.id.c_str(), choice.reason.c_str()));
    return 0;
}

int VdCommandLine::list() {
    std::unique_ptr<Backend> backend = openChosen();
    if (!backend) return 2;
    const std::vector<vdisplay::VirtualMonitor> monitors = backend->listMonitors();
    print(strprintf("%s: %zu monitor(s)\n", backend->id().c_str(), monitors.size()));
    for (const vdisplay::VirtualMonitor& m : monitors) {
        print(strprintf("  [%u] %ux%u@%u hdr=%d 10bit=%d vrr=%d %s\n", m.id, m.width, m.height, m.refresh, m.hdr,
                        m.tenBit, m.vrr, m.active ? "connected" : ""));
    }
    return 0;
}

int VdCommandLine::create() {
    vdisplay::MonitorRequest request;
    const std::string mode = positional();
    if (!mode.empty()) {
        unsigned width = 0, height = 0, refresh = 0;
        if (!readMode(mode, width, height, refresh)) {
            print(strprintf("bad mode '%s' (want WxH@Hz)\n", mode.c_str()));
            return 1;
        }
        request.width = width;
        request.height = height;
        request.refresh = refresh;
    }
    if (hasFlag("--no-hdr")) request.hdr = false;
    if (hasFlag("--no-vrr")) request.vrr = false;
    if (hasFlag("--8bit")) request.tenBit = false;
    const std::string name = option("--name");
    if (!name.empty()) request.name = name;

    std::string reason;
    std::unique_ptr<Backend> backend = services_.backends->open(option("--backend"), reason);
    if (!backend) {
        print(strprintf("no backend: %s\n", reason.c_str()));
        return 2;
    }
    print(strprintf("backend: %s (%s)\n", backend->id().c_str(), reason.c_str()));

    const std::vector<DisplayInfo> before = enumerate();
    printTable("before:", before);

    std::string error;
    vdisplay::VirtualMonitor monitor;
    if (!backend->open(error) || !backend->addMonitor(request, monitor, error)) {
        print(strprintf("create failed: %s\n", error.c_str()));
        return 2;
    }
    print(strprintf("created [%u] granted %ux%u@%u hdr=%d 10bit=%d vrr=%d\n", monitor.id, monitor.width,
                    monitor.height, monitor.refresh, monitor.hdr, monitor.tenBit, monitor.vrr));
    // A held monitor is released however the hold ends: Ctrl+C, Ctrl+Break,
    // closing the console window or signing out wake the hold and wait for
    // the release below instead of ending the process with the monitor left
    // behind. Caught from here on, so one that comes while the new display
    // is awaited ends the hold as soon as it starts.
    const bool dropsOnExit = backend->capabilities().dropsOnExit;
    const bool hold = hasFlag("--hold") || dropsOnExit;
    if (hold) console_.catchControlEvents();

    auto isNew = [&](const DisplayInfo& display) {
        return std::none_of(before.begin(), before.end(), [&](const DisplayInfo& b) { return b.key == display.key; });
    };
    std::string newKey;
    bool releasedEarly = false;  // a control event came while the display was awaited
    for (int round = 0; round < 50 && newKey.empty(); ++round) {
        if (hold && console_.controlEventArrived()) {
            releasedEarly = true;
            break;
        }
        services_.clock->sleep(100);
        const std::vector<DisplayInfo> now = enumerate();
        auto found = std::find_if(now.begin(), now.end(), isNew);
        if (found != now.end()) newKey = found->key;
    }
    if (releasedEarly) {
        // The user wants the monitor gone (or the session is ending): no
        // mode is set on a display about to be removed.
    } else if (newKey.empty()) {
        print("WARNING: no new display appeared within 5 s\n");
    } else {
        const std::vector<DisplayInfo> now = enumerate();
        auto found = std::find_if(now.begin(), now.end(), [&](const DisplayInfo& d) { return d.key == newKey; });
        if (found != now.end() && (found->width != monitor.width || found->height != monitor.height ||
                                   found->refreshHz != monitor.refresh)) {
            const ActionResult result = displays_->setMode(newKey, monitor.width, monitor.height, monitor.refresh);
            print(strprintf("set mode on new display: %s\n", result.message.c_str()));
        }
    }

    const std::vector<DisplayInfo> after = enumerate();
    printTable("after:", after);
    printComparison(before, after);

    if (hold) {
        // A driver that drops the monitor on its own (one that must be kept
        // alive and stopped answering) ends the hold: there is nothing left
        // to release. Otherwise a line, the end of the input or a console
        // control event releases it.
        std::string lost;
        if (!releasedEarly) {
            print(strprintf("%sholding — press Enter to release the display...\n",
                            dropsOnExit ? "(this backend drops monitors when the controller exits) " : ""));
            for (;;) {
                lost = backend->lost();
                if (!lost.empty() || console_.waitForRelease(kHoldPollMs) != VdConsole::Release::TimedOut) break;
            }
        }
        if (!lost.empty()) {
            print(strprintf("hold ended: %s\n", lost.c_str()));
            backend->close();
            console_.releaseControlEvents();
            return 2;
        }
        std::string ignored;
        backend->removeMonitor(monitor.id, ignored);
        backend->close();
        const std::vector<DisplayInfo> released = enumerate();
        printTable("released:", released);
        printComparison(before, released);
        console_.releaseControlEvents();
    }
    return 0;
}

int VdCommandLine::destroy(bool all) {
    const std::string index = positional();
    if (!all && index.empty()) {
        print("usage: --vd-destroy <index>\n");
        return 1;
    }
    std::unique_ptr<Backend> backend = openChosen();
    if (!backend) return 2;
    std::vector<uint32_t> ids;
    if (all) {
        for (const vdisplay::VirtualMonitor& monitor : backend->listMonitors()) ids.push_back(monitor.id);
    } else {
        ids.push_back(readUnsigned32(index));
    }
    for (uint32_t id : ids) {
        std::string error;
        const bool removed = backend->removeMonitor(id, error);
        print(strprintf("destroy [%u]: %s\n", id, removed ? "ok" : error.c_str()));
    }
    return 0;
}

int VdCommandLine::installDevice(bool install) {
    std::string error;
    const bool ok = install ? services_.backends->install(error) : services_.backends->uninstall(error);
    print(strprintf("%s: %s\n", install ? "install" : "uninstall", ok ? "ok" : error.c_str()));
    return ok ? 0 : 2;
}

int VdCommandLine::probe() {
    const std::string secondsText = positional();
    int seconds = secondsText.empty() ? 10 : readSeconds(secondsText);
    if (seconds < 2) seconds = 1;

    std::string gdiName = option("--display");
    if (gdiName.empty()) {
        for (const DisplayInfo& display : enumerate()) {
            for (const char* part : kVirtualNames) {
                if (display.name.find(part) != std::string::npos) {
                    gdiName = display.gdiName;
                    break;
                }
            }
        }
        if (gdiName.empty()) {
            print("no virtual display found; pass --display \\\\.\\DISPLAYn\n");
            return 1;
        }
    }
    print(strprintf("probing %s for %d s\n", gdiName.c_str(), seconds));

    vdisplay::DesktopDuplication* duplication = services_.duplication;
    using Start = vdisplay::DesktopDuplication::Start;
    using Frame = vdisplay::DesktopDuplication::Frame;
    uint32_t hresult = 0;
    const Start started = duplication ? duplication->start(gdiName, hresult) : Start::NoDxgi;
    switch (started) {
    case Start::Started: break;
    case Start::NoDxgi: print("no DXGI\n"); return 2;
    case Start::OutputNotFound: print(strprintf("output %s not found in DXGI\n", gdiName.c_str())); return 2;
    case Start::DeviceFailed: print("D3D11 device failed\n"); return 2;
    case Start::DuplicateFailed:
        print(strprintf("DuplicateOutput failed 0x%08lx\n", static_cast<unsigned long>(hresult)));
        return 2;
    }

    vdisplay::VdClock& clock = *services_.clock;
    std::vector<double> intervals;
    bool havePrevious = false;
    double previous = 0;
    const double start = clock.milliseconds();
    const double duration = static_cast<double>(seconds) * 1000.0;
    while (clock.milliseconds() - start < duration) {
        const Frame frame = duplication->nextFrame(100, hresult);
        if (frame == Frame::TimedOut || frame == Frame::NotPresented) continue;
        if (frame == Frame::Failed) {
            print(strprintf("AcquireNextFrame 0x%08lx\n", static_cast<unsigned long>(hresult)));
            break;
        }
        const double now = clock.milliseconds();
        if (havePrevious) intervals.push_back(now - previous);
        previous = now;
        havePrevious = true;
    }
    duplication->stop();

    if (intervals.empty()) {
        print("no frames — is anything rendering to that display?\n");
        return 3;
    }
    print(vdisplay::frameStatistics(std::move(intervals)));
    return 0;
}

} // namespace qv
