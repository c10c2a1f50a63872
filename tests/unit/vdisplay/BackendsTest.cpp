#include "vdisplay/Backend.h"
#include "vdisplay/ParsecVddBackend.h"
#include "vdisplay/QvIddBackend.h"
#include "vdisplay/TarnwickVddBackend.h"

#include "sim/SimDebugOutput.h"
#include "sim/SimVirtualDisplays.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace qv::vdisplay {
namespace {

using sim::SimPacingClock;
using sim::SimVirtualDisplays;

constexpr const char* kDisplayClass = "{4D36E968-E325-11CE-BFC1-08002BE10318}";
constexpr uint64_t kMs = 1'000'000;
// Parsec VDD's requests, as the simulated driver knows them.
constexpr uint32_t kAdd = SimVirtualDisplays::kParsecAdd;
constexpr uint32_t kRemove = SimVirtualDisplays::kParsecRemove;
constexpr uint32_t kUpdate = SimVirtualDisplays::kParsecUpdate;
constexpr uint32_t kVersion = SimVirtualDisplays::kParsecVersion;
constexpr const char* kLost =
    "Parsec VDD stopped answering its keep-alive requests, so it has dropped this program's monitors.";

// ---- Choice -------------------------------------------------------------------

const char* kNoDriverDevelopment =
    "No virtual display driver is installed. This machine accepts test-signed drivers, so the Quorvane driver can "
    "be installed for development.";
const char* kNoDriverTestSigning =
    "No virtual display driver is installed. Enable test signing (bcdedit /set testsigning on) for the Quorvane "
    "driver, or install Parsec VDD.";
const char* kNoDriverSecureBoot =
    "No virtual display driver is installed, and Secure Boot blocks the unsigned Quorvane driver. Install Parsec VDD "
    "or Virtual Display Driver, or wait for the signed Quorvane driver.";

TEST(BackendChoiceTest, ChoosesByPreferenceInstalledDriversAndEnvironment) {
    struct Case {
        const char* name;
        bool qv, parsec, tnw;
        Environment environment;
        std::string preferred;
        std::string id;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"preferred and installed", true, true, false, {}, "parsec-vdd", "parsec-vdd", "Selected in Settings."},
        {"preferred not installed", true, false, false, {}, "parsec-vdd", "qv-idd",
         "Quorvane's own driver is installed."},
        {"preferred unknown", false, true, true, {}, "nonesuch", "parsec-vdd",
         "parsec-vdd is installed and can add monitors on demand."},
        {"own driver first", true, true, true, {}, "", "qv-idd", "Quorvane's own driver is installed."},
        {"runtime driver before fixed", false, true, true, {}, "", "parsec-vdd",
         "parsec-vdd is installed and can add monitors on demand."},
        {"only Tarnwick", false, false, true, {}, "", "tnw-vdd",
         "tnw-vdd is installed (monitors are fixed until the driver is reloaded)."},
        {"preferred Tarnwick", true, true, true, {}, "tnw-vdd", "tnw-vdd", "Selected in Settings."},
        {"none, test signing", false, false, false, {false, true, true}, "", "", kNoDriverDevelopment},
        {"none, plain", false, false, false, {false, false, true}, "", "", kNoDriverTestSigning},
        {"none, Secure Boot wins", false, false, false, {true, true, true}, "", "", kNoDriverSecureBoot},
        {"none, Secure Boot", false, false, false, {true, false, false}, "qv-idd", "", kNoDriverSecureBoot},
    };
    SimVirtualDisplays devices;
    auto backends = makeBackends(devices);
    for (const Case& c : cases) {
        std::vector<BackendProbe> probes;
        const bool installed[] = {c.qv, c.parsec, c.tnw};
        for (size_t i = 0; i < backends.size(); ++i)
            probes.push_back({backends[i]->id(), installed[i], backends[i]->capabilities()});
        BackendChoice choice = chooseBackend(probes, c.environment, c.preferred);
        EXPECT_EQ(choice.id, c.id) << c.name;
        EXPECT_EQ(choice.reason, c.reason) << c.name;
    }
}

TEST(BackendChoiceTest, MakesTheThreeBackendsInOrder) {
    SimVirtualDisplays devices;
    auto backends = makeBackends(devices);
    ASSERT_EQ(backends.size(), 3u);
    EXPECT_EQ(backends[0]->id(), "qv-idd");
    EXPECT_EQ(backends[0]->displayName(), "Quorvane Virtual Display");
    EXPECT_EQ(backends[1]->id(), "parsec-vdd");
    EXPECT_EQ(backends[1]->displayName(), "Parsec Virtual Display");
    EXPECT_EQ(backends[2]->id(), "tnw-vdd");
    EXPECT_EQ(backends[2]->displayName(), "Virtual Display Driver (Tarnwick)");
    EXPECT_EQ(backends[1]->capabilities().modes.size(), 23u);
    EXPECT_TRUE(backends[1]->capabilities().dropsOnExit);
    EXPECT_FALSE(backends[2]->capabilities().runtime);
    EXPECT_EQ(devices.openHandleCount(), 0u);
}

TEST(BackendChoiceTest, ProbesTheEnvironment) {
    struct Case {
        std::optional<uint32_t> secureBoot, codeIntegrity, build;
        Environment expected;
    };
    const std::vector<Case> cases = {
        {std::nullopt, std::nullopt, std::nullopt, {false, false, false}},
        {1u, 2u, 22000u, {true, true, true}},
        {0u, 1u, 21999u, {false, false, false}},
        {2u, 0xFFFFFFFDu, 22621u, {true, false, true}},
        {std::nullopt, 3u, 19045u, {false, true, false}},
    };
    for (const Case& c : cases) {
        SimVirtualDisplays system;
        if (c.secureBoot) system.setSecureBoot(*c.secureBoot);
        system.codeIntegrity = c.codeIntegrity;
        system.build = c.build;
        Environment e = probeEnvironment(system);
        EXPECT_EQ(e.secureBoot, c.expected.secureBoot);
        EXPECT_EQ(e.testSigning, c.expected.testSigning);
        EXPECT_EQ(e.windows11, c.expected.windows11) << (c.build ? *c.build : 0);
    }
}

TEST(BackendChoiceTest, OpenBackendHandsOverTheChosenBackendUnopened) {
    SimVirtualDisplays devices;
    std::string reason;
    devices.setSecureBoot(1);
    EXPECT_EQ(openBackend(devices, devices, "", reason), nullptr);
    EXPECT_EQ(reason, kNoDriverSecureBoot);

    devices.devices.push_back({kDisplayClass, "ROOT", {"Root\\Other", "ROOT\\MTTVDD"}, false});
    devices.parsec.present = true;
    auto backend = openBackend(devices, devices, "tnw-vdd", reason);
    ASSERT_NE(backend, nullptr);
    EXPECT_EQ(backend->id(), "tnw-vdd");
    EXPECT_EQ(reason, "Selected in Settings.");

    backend = openBackend(devices, devices, "", reason);
    ASSERT_NE(backend, nullptr);
    EXPECT_EQ(backend->id(), "parsec-vdd");
    EXPECT_EQ(devices.openHandleCount(), 0u);
    EXPECT_TRUE(devices.parsecRequests().empty());
}

// ---- The own driver -------------------------------------------------------------

class QvIddBackendTest : public ::testing::Test {
protected:
    QvIddBackendTest() { devices.qvIdd.present = true; }

    static std::u16string nameSent(const std::vector<uint8_t>& request) {
        std::u16string name;
        for (size_t i = 16; i + 1 < 80; i += 2) {
            auto unit = static_cast<char16_t>(request[i] | request[i + 1] << 8);
            if (unit == 0) break;
            name.push_back(unit);
        }
        return name;
    }

    sim::CapturedLog log;
    SimVirtualDisplays devices;
    QvIddBackend backend{devices};
    std::string error;
};

TEST_F(QvIddBackendTest, OpenChecksTheDriverVersion) {
    struct Case {
        uint32_t version;
        bool answers;
        uint32_t openError;
        bool opens;
        std::string error;
    };
    const std::vector<Case> cases = {
        {0x00010007, true, 0, true, ""},
        {0x00010000, true, 0, true, ""},
        {0x00020000, true, 0, false,
         "The installed virtual display driver is a different major version than this app expects — reinstall it."},
        {0x00000009, true, 0, false,
         "The installed virtual display driver is a different major version than this app expects — reinstall it."},
        {0x00010000, false, 0, false, "The virtual display driver didn't answer a version query."},
        {0x00010000, true, 5, false, "Couldn't open the virtual display driver (error 5)."},
    };
    for (const Case& c : cases) {
        devices.qvIdd.version = c.version;
        devices.qvIdd.answersVersion = c.answers;
        devices.qvIdd.openError = c.openError;
        QvIddBackend fresh(devices);
        std::string message;
        EXPECT_EQ(fresh.open(message), c.opens) << std::hex << c.version;
        EXPECT_EQ(message, c.error);
        EXPECT_EQ(devices.openHandleCount(), c.opens ? 1u : 0u) << "a rejected driver's handle stays open";
        fresh.close();
        EXPECT_EQ(devices.openHandleCount(), 0u);
    }
    EXPECT_EQ(devices.requestsOnClosedHandles(), 0u);
}

TEST_F(QvIddBackendTest, OpenLogsTheDriverItAccepted) {
    devices.qvIdd.version = 0x00010007;
    devices.qvIdd.iddcxVersion = 0x1A80;
    devices.qvIdd.hdrCapable = 1;
    ASSERT_TRUE(backend.open(error));
    EXPECT_TRUE(log.contains("INF", "qv-idd opened (driver 1.7, IddCx 0x1a80, hdr=1)"));
    EXPECT_TRUE(backend.open(error)) << "a second open is a no-op";
    EXPECT_EQ(devices.openHandleCount(), 1u);

    DriverInfo info;
    ASSERT_TRUE(backend.driverInfo(info));
    EXPECT_EQ(info.version, 0x00010007u);
    EXPECT_EQ(info.iddcxVersion, 0x1A80u);
    EXPECT_TRUE(info.hdrCapable);
}

TEST_F(QvIddBackendTest, NotInstalled) {
    devices.qvIdd.present = false;
    EXPECT_FALSE(backend.isInstalled());
    EXPECT_FALSE(backend.open(error));
    EXPECT_EQ(error, "The Quorvane virtual display driver isn't installed.");
    MonitorRequest request;
    VirtualMonitor monitor;
    error.clear();
    EXPECT_FALSE(backend.addMonitor(request, monitor, error));
    EXPECT_EQ(error, "The Quorvane virtual display driver isn't installed.");
    EXPECT_TRUE(backend.listMonitors().empty());
    DriverInfo info;
    EXPECT_FALSE(backend.driverInfo(info));
}

TEST_F(QvIddBackendTest, AddSendsTheRequestTheDriverExpects) {
    MonitorRequest request;
    request.width = 2560;
    request.height = 1440;
    request.refresh = 144;
    request.hdr = true;
    request.tenBit = false;
    request.vrr = true;
    request.name = "Desk";
    VirtualMonitor monitor;
    ASSERT_TRUE(backend.addMonitor(request, monitor, error)) << error;
    ASSERT_EQ(devices.qvIdd.addRequests.size(), 1u);
    const std::vector<uint8_t>& bytes = devices.qvIdd.addRequests[0];
    ASSERT_EQ(bytes.size(), 80u);
    const std::vector<uint8_t> head = {0x00, 0x0A, 0, 0, 0xA0, 0x05, 0, 0, 144, 0, 0, 0, 5, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 16), head);
    EXPECT_EQ(nameSent(bytes), u"Desk");
    EXPECT_TRUE(std::all_of(bytes.begin() + 24, bytes.end(), [](uint8_t b) { return b == 0; }));

    EXPECT_EQ(monitor.id, 1u);
    EXPECT_EQ(monitor.width, 2560u);
    EXPECT_EQ(monitor.refresh, 144u);
    EXPECT_FALSE(monitor.tenBit);
    EXPECT_EQ(monitor.name, "Desk");
    EXPECT_TRUE(monitor.active);
    EXPECT_TRUE(log.contains("INF", "qv-idd monitor 1 added (2560x1440@144 flags=0x5)"));
}

TEST_F(QvIddBackendTest, NamesAreCutTo31UnitsAndNulTerminated) {
    struct Case {
        std::string name;
        std::u16string sent;
    };
    const std::string forty = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn";
    const std::string umlauts = "Bildschirm für Übertragung — Größe äöü ÄÖÜ ß";
    // 30 ASCII characters then one outside the basic plane: only its first half would fit.
    const std::string emojiAtCut = std::string(30, 'x') + "\xF0\x9F\x96\xA5";
    const std::vector<Case> cases = {
        {forty, u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcde"},
        {umlauts, u"Bildschirm für Übertragung — Gr"},
        {"", u""},
        {"\xF0\x9F\x96\xA5 Screen", u"\U0001F5A5 Screen"},
        {emojiAtCut, std::u16string(30, u'x')},
        {"bad \xFF\xC3 bytes", u"bad \uFFFD\uFFFD bytes"},
    };
    for (const Case& c : cases) {
        MonitorRequest request;
        request.name = c.name;
        VirtualMonitor monitor;
        ASSERT_TRUE(backend.addMonitor(request, monitor, error)) << error;
        const std::vector<uint8_t>& bytes = devices.qvIdd.addRequests.back();
        EXPECT_EQ(nameSent(bytes), c.sent) << c.name;
        EXPECT_EQ(bytes[78], 0);
        EXPECT_EQ(bytes[79], 0);
        std::string ignored;
        backend.removeMonitor(monitor.id, ignored);
    }
}

TEST_F(QvIddBackendTest, AddFailures) {
    struct Case {
        uint32_t limit;
        uint32_t addError;
        std::string error;
    };
    const std::vector<Case> cases = {
        {0, 0, "The virtual display driver is at its monitor limit."},
        {8, 1450, "The virtual display driver refused to add a monitor (error 1450)."},
    };
    for (const Case& c : cases) {
        devices.qvIdd.monitorLimit = c.limit;
        devices.qvIdd.addError = c.addError;
        MonitorRequest request;
        VirtualMonitor monitor;
        std::string message;
        EXPECT_FALSE(backend.addMonitor(request, monitor, message));
        EXPECT_EQ(message, c.error);
    }
}

TEST_F(QvIddBackendTest, ListsWhatTheDriverReports) {
    for (uint32_t i = 0; i < 3; ++i) {
        MonitorRequest request;
        request.width = 1920 + i;
        request.hdr = i != 1;
        request.tenBit = i == 1;
        request.vrr = false;
        request.name = i == 2 ? "Größe" : "M" + std::to_string(i);
        VirtualMonitor monitor;
        ASSERT_TRUE(backend.addMonitor(request, monitor, error));
    }
    devices.qvIdd.monitors[1].active = 0;
    auto monitors = backend.listMonitors();
    ASSERT_EQ(monitors.size(), 3u);
    EXPECT_EQ(monitors[0].width, 1920u);
    EXPECT_TRUE(monitors[0].hdr);
    EXPECT_FALSE(monitors[0].tenBit);
    EXPECT_EQ(monitors[1].name, "M1");
    EXPECT_FALSE(monitors[1].active);
    EXPECT_FALSE(monitors[1].hdr);
    EXPECT_TRUE(monitors[1].tenBit);
    EXPECT_EQ(monitors[2].name, "Größe");
    EXPECT_EQ(monitors[2].id, 3u);

    // A name filling all 32 units without a NUL stops at the field's end.
    devices.qvIdd.monitors[0].name.fill('A');
    for (size_t i = 1; i < 64; i += 2) devices.qvIdd.monitors[0].name[i] = 0;
    EXPECT_EQ(backend.listMonitors()[0].name, std::string(32, 'A'));

    devices.qvIdd.listCount = 12;
    for (uint32_t i = 3; i < 12; ++i) devices.qvIdd.monitors.push_back({100 + i, 1, 800, 600, 60, 0, {}});
    EXPECT_EQ(backend.listMonitors().size(), 8u);
    devices.qvIdd.listCount = 0;
    EXPECT_TRUE(backend.listMonitors().empty());
    devices.qvIdd.answersList = false;
    EXPECT_TRUE(backend.listMonitors().empty());
}

TEST_F(QvIddBackendTest, RemovesByTheDriversId) {
    MonitorRequest request;
    VirtualMonitor monitor;
    ASSERT_TRUE(backend.addMonitor(request, monitor, error));
    EXPECT_TRUE(backend.removeMonitor(monitor.id, error));
    EXPECT_EQ(devices.qvIdd.removeRequests, std::vector<uint32_t>{monitor.id});
    EXPECT_FALSE(backend.removeMonitor(77, error));
    EXPECT_EQ(error, "The virtual display driver refused to remove monitor 77.");
}

TEST_F(QvIddBackendTest, InstallsTheDeviceNode) {
    devices.qvIdd.present = false;
    ASSERT_TRUE(backend.installDevice(error)) << error;
    ASSERT_EQ(devices.createdDevices.size(), 1u);
    const DeviceApi::SoftwareDevice& node = devices.createdDevices[0];
    EXPECT_EQ(node.enumerator, "Quorvane");
    EXPECT_EQ(node.parent, "HTREE\\ROOT\\0");
    EXPECT_EQ(node.instanceId, "QuorvaneIdd");
    EXPECT_EQ(node.hardwareIds, std::vector<std::string>{"Root\\QuorvaneIdd"});
    EXPECT_EQ(node.capabilities, 11u);
    EXPECT_EQ(node.description, "Quorvane Virtual Display Adapter");
    EXPECT_TRUE(node.outliveProcess) << "the node must stay after the console process ends";
    EXPECT_EQ(devices.createTimeouts, std::vector<uint32_t>{10000});
    EXPECT_TRUE(log.contains("INF", "qv-idd device node created"));

    // Now present: nothing more is created.
    EXPECT_TRUE(backend.installDevice(error));
    EXPECT_EQ(devices.createdDevices.size(), 1u);

    // And the node it made is the one uninstall removes.
    ASSERT_TRUE(backend.uninstallDevice(error)) << error;
    ASSERT_EQ(devices.removedDevices.size(), 1u);
    EXPECT_EQ(devices.removedDevices[0].enumerator, "SWD");
    EXPECT_FALSE(backend.isInstalled());
}

TEST_F(QvIddBackendTest, InstallFailures) {
    const std::string bindTail =
        "). If Secure Boot is on, the driver must be attestation-signed; a test-signed build won't load.";
    struct Case {
        int32_t create;
        int32_t completion;
        std::string error;
    };
    const std::vector<Case> cases = {
        {SimVirtualDisplays::kAccessDenied, 0, "Creating the device needs administrator rights."},
        {static_cast<int32_t>(0x8007007F), 0, "SwDeviceCreate failed (0x8007007F)."},
        {0, static_cast<int32_t>(0xE0000247),
         "Windows created the device but couldn't bind the driver (0xE0000247" + bindTail},
        {0, SimVirtualDisplays::kFail, "Windows created the device but couldn't bind the driver (0x80004005" + bindTail},
    };
    devices.qvIdd.present = false;
    for (const Case& c : cases) {
        devices.createResult = c.create;
        devices.completionResult = c.completion;
        std::string message;
        EXPECT_FALSE(backend.installDevice(message));
        EXPECT_EQ(message, c.error);
    }
    EXPECT_FALSE(log.contains("INF", "qv-idd device node created"));
}

TEST_F(QvIddBackendTest, UninstallFindsTheNodeByItsFirstHardwareId) {
    struct Case {
        std::vector<SimVirtualDisplays::Device> tree;
        bool enumerationFails;
        bool removeFails;
        int removedIndex; // into tree; -1: none
        std::string error;
    };
    const std::string notFound = "No Quorvane virtual display device was found.";
    const std::vector<Case> cases = {
        {{{kDisplayClass, "ROOT", {"Root\\Other"}, false}, {kDisplayClass, "ROOT", {"ROOT\\QUORVANEIDD"}, false}},
         false, false, 1, ""},
        {{{kDisplayClass, "ROOT", {"Root\\Other", "Root\\QuorvaneIdd"}, false}}, false, false, -1, notFound},
        {{{kDisplayClass, "ROOT", {"Root\\QuorvaneIdd"}, true}, {kDisplayClass, "ROOT", {"root\\quorvaneidd"}, false}},
         false, false, 1, ""},
        {{{kDisplayClass, "PCI", {"Root\\QuorvaneIdd"}, false}}, false, false, -1, notFound},
        {{{kDisplayClass, "ROOT", {"Root\\QuorvaneIdd"}, false}}, false, true, -1, notFound},
        {{}, true, false, -1, "Couldn't enumerate devices."},
        {{{kDisplayClass, "ROOT", {}, false}}, false, false, -1, notFound},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SimVirtualDisplays tree;
        tree.devices = c.tree;
        tree.enumerationFails = c.enumerationFails;
        tree.removeFails = c.removeFails;
        QvIddBackend fresh(tree);
        std::string message;
        EXPECT_EQ(fresh.uninstallDevice(message), c.removedIndex >= 0) << "case " << i;
        EXPECT_EQ(message, c.error) << "case " << i;
        if (c.removedIndex >= 0) {
            ASSERT_EQ(tree.removedDevices.size(), 1u);
            EXPECT_EQ(tree.removedDevices[0].hardwareIds, c.tree[static_cast<size_t>(c.removedIndex)].hardwareIds);
        } else {
            EXPECT_TRUE(tree.removedDevices.empty()) << "case " << i;
        }
    }
}

// ---- Parsec VDD -------------------------------------------------------------------

// Waits for something another thread does; false when it has not happened
// within a generous real-time bound (a broken test then fails instead of
// hanging).
bool waitUntil(const std::function<bool()>& condition) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class ParsecVddBackendTest : public ::testing::Test {
protected:
    ParsecVddBackendTest() { devices.parsec.present = true; }

    sim::CapturedLog log;
    SimPacingClock clock;
    SimVirtualDisplays devices{&clock};
    std::string error;
};

TEST_F(ParsecVddBackendTest, RecordsTheClosestListedMode) {
    struct Case {
        Mode request;
        Mode recorded;
    };
    const std::vector<Case> cases = {
        {{2560, 1440, 165}, {2560, 1440, 144}},
        {{2560, 1440, 30}, {2560, 1440, 60}},
        {{1000, 1000, 60}, {3840, 2160, 60}},
        {{3840, 2160, 240}, {3840, 2160, 240}},
        {{1920, 1080, 119}, {1920, 1080, 60}},
        {{1366, 768, 144}, {1366, 768, 60}},
        {{7680, 4320, 120}, {3840, 2160, 120}},
        {{0, 0, 0}, {3840, 2160, 60}},
        {{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}, {3840, 2160, 240}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParsecVddBackend::closestMode(c.request.width, c.request.height, c.request.refresh), c.recorded)
            << c.request.width << "x" << c.request.height << "@" << c.request.refresh;
}

TEST_F(ParsecVddBackendTest, OpenFailures) {
    struct Case {
        bool present, openFails, answersVersion;
        std::string error;
    };
    const std::vector<Case> cases = {
        {false, false, true, "Parsec Virtual Display Driver isn't installed."},
        {true, true, true, "Couldn't open the Parsec VDD control device."},
        {true, false, false, "Parsec VDD didn't answer a version query — unsupported build?"},
    };
    for (const Case& c : cases) {
        devices.parsec.present = c.present;
        devices.parsec.openFails = c.openFails;
        devices.parsec.answersVersion = c.answersVersion;
        ParsecVddBackend backend(devices, &clock);
        EXPECT_EQ(backend.isInstalled(), c.present);
        std::string message;
        EXPECT_FALSE(backend.open(message));
        EXPECT_EQ(message, c.error);
        EXPECT_EQ(devices.openHandleCount(), 0u);
    }
    EXPECT_EQ(devices.parsecRequestCount(kUpdate), 0u);
}

TEST_F(ParsecVddBackendTest, AddsMonitorsUpToTheLimit) {
    devices.parsec.version = 14;
    ParsecVddBackend backend(devices, &clock);
    MonitorRequest request;
    request.width = 2560;
    request.height = 1440;
    request.refresh = 165;
    request.name = "Couch";
    VirtualMonitor monitor;
    ASSERT_TRUE(backend.addMonitor(request, monitor, error)) << error;
    EXPECT_TRUE(log.contains("INF", "Parsec VDD opened (driver version 14)"));
    EXPECT_TRUE(log.contains("INF", "Parsec VDD monitor 0 added (2560x1440@144)"));
    EXPECT_EQ(monitor.id, 0u);
    EXPECT_EQ(monitor.name, "Couch");
    EXPECT_EQ(monitor.refresh, 144u);
    EXPECT_FALSE(monitor.hdr || monitor.tenBit || monitor.vrr);
    EXPECT_TRUE(monitor.active);

    // The add is followed at once by a keep-alive from the caller's thread.
    auto requests = devices.parsecRequests();
    auto add = std::find_if(requests.begin(), requests.end(),
                            [](const auto& r) { return r.code == kAdd; });
    ASSERT_NE(add, requests.end());
    EXPECT_GE(devices.parsecRequestCount(kUpdate), 1u);

    for (int i = 1; i < 8; ++i) ASSERT_TRUE(backend.addMonitor(request, monitor, error)) << i;
    EXPECT_EQ(backend.listMonitors().size(), 8u);
    size_t addsSent = devices.parsecRequestCount(kAdd);
    EXPECT_FALSE(backend.addMonitor(request, monitor, error));
    EXPECT_EQ(error, "Parsec VDD is at its monitor limit.");
    EXPECT_EQ(devices.parsecRequestCount(kAdd), addsSent) << "the driver was asked";

    backend.close();
    EXPECT_TRUE(backend.listMonitors().empty());
    EXPECT_EQ(devices.openHandleCount(), 0u);
}

TEST_F(ParsecVddBackendTest, RefusedAdd) {
    devices.parsec.refusesAdd = true;
    ParsecVddBackend backend(devices, &clock);
    MonitorRequest request;
    VirtualMonitor monitor;
    EXPECT_FALSE(backend.addMonitor(request, monitor, error));
    EXPECT_EQ(error, "Parsec VDD refused to add a monitor.");
    EXPECT_TRUE(backend.listMonitors().empty());
}

TEST_F(ParsecVddBackendTest, RemoveSendsTheSlotBigEndian) {
    ParsecVddBackend backend(devices, &clock);
    EXPECT_FALSE(backend.removeMonitor(3, error));
    EXPECT_EQ(error, "Parsec VDD isn't open.");
    EXPECT_EQ(devices.openHandleCount(), 0u) << "remove must not open";

    devices.parsec.nextSlot = 3;
    MonitorRequest request;
    VirtualMonitor monitor;
    ASSERT_TRUE(backend.addMonitor(request, monitor, error));
    struct Case {
        uint32_t slot;
        uint8_t high, low;
    };
    for (const Case& c : {Case{3, 0x00, 0x03}, Case{258, 0x01, 0x02}, Case{0xFFFF, 0xFF, 0xFF}}) {
        ASSERT_TRUE(backend.removeMonitor(c.slot, error)) << c.slot;
        auto requests = devices.parsecRequests();
        auto last = std::find_if(requests.rbegin(), requests.rend(),
                                 [](const auto& r) { return r.code == kRemove; });
        ASSERT_NE(last, requests.rend());
        EXPECT_EQ(last->input[0], c.high) << c.slot;
        EXPECT_EQ(last->input[1], c.low) << c.slot;
        EXPECT_TRUE(std::all_of(last->input.begin() + 2, last->input.end(), [](uint8_t b) { return b == 0; }));
    }
    EXPECT_TRUE(backend.listMonitors().empty()) << "slot 3 was removed from the list";

    // An id the 16-bit slot cannot hold would name another slot once cut.
    size_t removes = devices.parsecRequestCount(kRemove);
    EXPECT_FALSE(backend.removeMonitor(0x10003, error));
    EXPECT_EQ(error, "Parsec VDD refused to remove the monitor.");
    EXPECT_EQ(devices.parsecRequestCount(kRemove), removes);

    devices.setParsecAnswering(false);
    EXPECT_FALSE(backend.removeMonitor(4, error));
    EXPECT_EQ(error, "Parsec VDD refused to remove the monitor.");
}

TEST_F(ParsecVddBackendTest, KeepAliveEvery50MsAfterTheLastReturned) {
    devices.parsec.requestCostNs = 7 * kMs;
    ParsecVddBackend backend(devices, &clock);
    const uint64_t opened = clock.nowNs();
    ASSERT_TRUE(backend.open(error)); // the version query takes 7 ms too
    ASSERT_EQ(devices.parsecRequestCount(kVersion), 1u);
    for (size_t round = 1; round <= 4; ++round) {
        ASSERT_TRUE(clock.waitForSleeps(round));
        // Not yet: the clock stops 1 ns short of the deadline.
        clock.advanceNs(50 * kMs - 1);
        clock.advanceNs(1);
    }
    ASSERT_TRUE(clock.waitForSleeps(5));
    backend.close();

    std::vector<uint64_t> keepAlives;
    for (const auto& r : devices.parsecRequests())
        if (r.code == kUpdate) keepAlives.push_back(r.atNs);
    ASSERT_EQ(keepAlives.size(), 5u);
    // Every request reaches the driver well inside its 100 ms limit.
    for (size_t i = 0; i < keepAlives.size(); ++i)
        EXPECT_EQ(keepAlives[i], opened + 7 * kMs + i * 57 * kMs) << "round " << i;
    std::vector<uint64_t> deadlines = clock.sleepDeadlines();
    ASSERT_EQ(deadlines.size(), 5u);
    for (size_t i = 0; i < deadlines.size(); ++i) EXPECT_EQ(deadlines[i], keepAlives[i] + 57 * kMs);

    EXPECT_EQ(devices.openHandleCount(), 0u);
    EXPECT_EQ(devices.requestsOnClosedHandles(), 0u);
}

TEST_F(ParsecVddBackendTest, KeepAliveStopsWithTheBackend) {
    for (bool destroy : {false, true}) {
        auto backend = std::make_unique<ParsecVddBackend>(devices, &clock);
        // Counted before the thread starts: it may reach its first sleep
        // before open() returns.
        const size_t sleeps = clock.sleepDeadlines().size();
        ASSERT_TRUE(backend->open(error));
        ASSERT_TRUE(clock.waitForSleeps(sleeps + 1));
        // The thread sleeps on a clock that never moves: only the stop wakes it.
        if (destroy)
            backend.reset();
        else
            backend->close();
        size_t sent = devices.parsecRequestCount(kUpdate);
        clock.advanceMs(1000);
        EXPECT_EQ(devices.parsecRequestCount(kUpdate), sent) << destroy;
        EXPECT_EQ(devices.openHandleCount(), 0u);
    }
    EXPECT_EQ(devices.requestsOnClosedHandles(), 0u);

    // A closed backend opens again with a new thread.
    ParsecVddBackend backend(devices, &clock);
    ASSERT_TRUE(backend.open(error));
    backend.close();
    ASSERT_TRUE(backend.open(error));
    EXPECT_EQ(devices.openHandleCount(), 1u);
}

TEST_F(ParsecVddBackendTest, KeepAliveOutlivesShortOutagesAndGivesUpAfter5s) {
    struct Case {
        const char* what;
        bool hangs;            // requests stay pending until the 5 s wait gives up
        uint64_t outageMs;     // how long the driver fails before it answers again
        bool lost;
    };
    const Case cases[] = {
        {"a 1 s outage survives", false, 1000, false},
        {"failing for 4.95 s survives", false, 4950, false},
        {"failing for 5 s ends it", false, 5000, true},
        {"one request left pending for 5 s ends it", true, 50, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimPacingClock caseClock;
        SimVirtualDisplays driver{&caseClock};
        driver.parsec.present = true;
        sim::CapturedLog caseLog;
        ParsecVddBackend backend(driver, &caseClock);
        MonitorRequest request;
        VirtualMonitor monitor;
        ASSERT_TRUE(backend.addMonitor(request, monitor, error)) << error;
        ASSERT_TRUE(caseClock.waitForSleeps(1));

        // The outage: rounds of 50 ms after the last answered request, each
        // failing, until the driver has failed for outageMs.
        (c.hangs ? driver.setParsecAnswering(false) : driver.setParsecFailing(true));
        const size_t before = driver.parsecRequestCount(kUpdate);
        const size_t rounds = static_cast<size_t>(c.outageMs / 50);
        for (size_t round = 1; round <= rounds; ++round) {
            caseClock.advanceMs(50);
            ASSERT_TRUE(driver.waitForParsecRequests(kUpdate, before + round));
            // The thread sleeps again unless this round made it give up.
            if (!(c.lost && round == rounds)) {
                ASSERT_TRUE(caseClock.waitForSleeps(1 + round));
            }
        }
        driver.setParsecAnswering(true);
        driver.setParsecFailing(false);

        if (!c.lost) {
            // The next round gets through and the monitors stay.
            caseClock.advanceMs(50);
            ASSERT_TRUE(driver.waitForParsecRequests(kUpdate, before + rounds + 1));
            ASSERT_TRUE(caseClock.waitForSleeps(rounds + 2));
            EXPECT_EQ(backend.lost(), "");
            EXPECT_EQ(backend.listMonitors().size(), 1u);
            EXPECT_TRUE(backend.addMonitor(request, monitor, error)) << error;
            EXPECT_FALSE(caseLog.contains(
                "WRN", "Parsec VDD stopped answering: no keep-alive request got through for 5 s; no more are sent"));
            continue;
        }
        ASSERT_TRUE(waitUntil([&] { return !backend.lost().empty(); }));
        EXPECT_EQ(backend.lost(), kLost);
        EXPECT_TRUE(backend.listMonitors().empty()) << "the driver has dropped them";
        EXPECT_TRUE(caseLog.contains(
            "WRN", "Parsec VDD stopped answering: no keep-alive request got through for 5 s; no more are sent"));
        // No more keep-alives, however long the clock runs.
        const size_t sent = driver.parsecRequestCount(kUpdate);
        caseClock.advanceMs(10'000);
        EXPECT_EQ(driver.parsecRequestCount(kUpdate), sent);
        // The driver answers again, but it has dropped the monitors: adding
        // one now would report a monitor nobody keeps alive.
        const size_t adds = driver.parsecRequestCount(kAdd);
        EXPECT_FALSE(backend.addMonitor(request, monitor, error));
        EXPECT_EQ(error, kLost);
        EXPECT_EQ(driver.parsecRequestCount(kAdd), adds);
        // Closing forgets the loss; a fresh open starts a new keep-alive.
        backend.close();
        EXPECT_EQ(backend.lost(), "");
        ASSERT_TRUE(backend.addMonitor(request, monitor, error)) << error;
        backend.close();
        EXPECT_EQ(driver.openHandleCount(), 0u);
        EXPECT_EQ(driver.requestsOnClosedHandles(), 0u);
    }
}

// ---- Tarnwick's VDD -----------------------------------------------------------------

TEST(TarnwickVddBackendTest, DetectsTheDriverByAnyHardwareId) {
    struct Case {
        std::vector<SimVirtualDisplays::Device> tree;
        bool enumerationFails;
        bool installed;
    };
    const std::vector<Case> cases = {
        {{{kDisplayClass, "ROOT", {"Root\\Other", "ROOT\\MTTVDD"}, false}}, false, true},
        {{{kDisplayClass, "ROOT", {"root\\mttvdd"}, false}}, false, true},
        {{{kDisplayClass, "ROOT", {"Root\\MttVDD"}, true}}, false, false},
        {{{"{4D36E97D-E325-11CE-BFC1-08002BE10318}", "ROOT", {"Root\\MttVDD"}, false}}, false, false},
        {{{kDisplayClass, "ROOT", {"Root\\MttVDD2"}, false}}, false, false},
        {{{kDisplayClass, "ROOT", {"Root\\MttVDD"}, false}}, true, false},
        {{}, false, false},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SimVirtualDisplays devices;
        devices.devices = cases[i].tree;
        devices.enumerationFails = cases[i].enumerationFails;
        TarnwickVddBackend backend(devices);
        EXPECT_EQ(backend.isInstalled(), cases[i].installed) << "case " << i;
        std::string error;
        EXPECT_EQ(backend.open(error), cases[i].installed) << "case " << i;
        EXPECT_EQ(error, cases[i].installed ? "" : "Virtual Display Driver (Tarnwick) isn't installed.");
    }
}

TEST(TarnwickVddBackendTest, ExplainsHowToChangeMonitorsByHand) {
    SimVirtualDisplays devices;
    devices.devices.push_back({kDisplayClass, "ROOT", {"Root\\MttVDD"}, false});
    TarnwickVddBackend backend(devices);
    MonitorRequest request;
    request.width = 2560;
    request.height = 1440;
    request.refresh = 144;
    VirtualMonitor monitor;
    std::string error;
    EXPECT_FALSE(backend.addMonitor(request, monitor, error));
    EXPECT_EQ(error,
              "Virtual Display Driver (Tarnwick) can't add monitors on demand. Add a 2560x1440@144 entry to "
              "C:\\VirtualDisplayDriver\\vdd_settings.xml and reload the driver, or install Parsec VDD for runtime "
              "control.");
    EXPECT_FALSE(backend.removeMonitor(0, error));
    EXPECT_EQ(error,
              "Virtual Display Driver (Tarnwick) monitors are removed by editing vdd_settings.xml and reloading the "
              "driver.");
    EXPECT_TRUE(backend.listMonitors().empty());
    EXPECT_EQ(devices.openHandleCount(), 0u);
}

} // namespace
} // namespace qv::vdisplay
