#include "vdisplay/QvIddBackend.h"

#include "base/Log.h"
#include "base/StrPrintf.h"
#include "base/Utf16Text.h"

#include <algorithm>
#include <cctype>

namespace qv::vdisplay {
namespace {

void putU32(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
    at[2] = static_cast<uint8_t>(value >> 16);
    at[3] = static_cast<uint8_t>(value >> 24);
}

uint32_t getU32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
           static_cast<uint32_t>(at[3]) << 24;
}

// A name field of kNameUnits UTF-16 units; it ends at the first NUL or at the
// end of the field.
std::string readName(const uint8_t* at) {
    std::u16string name;
    for (size_t i = 0; i < QvIddBackend::kNameUnits; ++i) {
        auto unit = static_cast<char16_t>(at[2 * i] | at[2 * i + 1] << 8);
        if (unit == 0) break;
        name.push_back(unit);
    }
    return utf16ToUtf8(name);
}

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

QvIddBackend::QvIddBackend(DeviceApi& devices) : devices_(devices) {}

QvIddBackend::~QvIddBackend() { close(); }

bool QvIddBackend::isInstalled() { return !devices_.interfacePath(kInterfaceClass).empty(); }

Capabilities QvIddBackend::capabilities() const {
    Capabilities c;
    c.runtime = c.custom = c.hdr = c.tenBit = c.vrr = true;
    c.dropsOnExit = false;
    c.maxWidth = 7680;
    c.maxHeight = 4320;
    c.maxRefresh = 240;
    c.maxMonitors = 8;
    return c;
}

bool QvIddBackend::queryVersion(DeviceApi::Handle device, DriverInfo& info, uint32_t& rawHdr) {
    uint8_t answer[kVersionAnswerSize] = {};
    uint32_t error = 0;
    if (!devices_.control(device, kVersionQuery, nullptr, 0, answer, sizeof answer, error)) return false;
    info.version = getU32(answer);
    info.iddcxVersion = getU32(answer + 8);
    rawHdr = getU32(answer + 12);
    info.hdrCapable = rawHdr != 0;
    return true;
}

bool QvIddBackend::open(std::string& error) {
    if (device_ != 0) return true;
    std::string path = devices_.interfacePath(kInterfaceClass);
    if (path.empty()) {
        error = "The Quorvane virtual display driver isn't installed.";
        return false;
    }
    uint32_t code = 0;
    DeviceApi::Handle device = devices_.openDevice(path, false, code);
    if (device == 0) {
        error = strprintf("Couldn't open the virtual display driver (error %u).", code);
        return false;
    }
    DriverInfo info;
    uint32_t hdr = 0;
    if (!queryVersion(device, info, hdr)) {
        devices_.closeDevice(device);
        error = "The virtual display driver didn't answer a version query.";
        return false;
    }
    uint32_t major = info.version >> 16;
    uint32_t minor = info.version & 0xFFFF;
    if (major != 1) {
        devices_.closeDevice(device);
        error = "The installed virtual display driver is a different major version than this app expects — "
                "reinstall it.";
        return false;
    }
    device_ = device;
    log::logf(log::Info, "qv-idd opened (driver %u.%u, IddCx 0x%x, hdr=%u)", major, minor, info.iddcxVersion, hdr);
    return true;
}

void QvIddBackend::close() {
    if (device_ == 0) return;
    devices_.closeDevice(device_);
    device_ = 0;
}

std::vector<uint8_t> QvIddBackend::encodeAddRequest(const MonitorRequest& request) {
    std::vector<uint8_t> bytes(kAddRequestSize, 0);
    putU32(&bytes[0], request.width);
    putU32(&bytes[4], request.height);
    putU32(&bytes[8], request.refresh);
    uint32_t flags = (request.hdr ? kFlagHdr : 0) | (request.tenBit ? kFlagTenBit : 0) | (request.vrr ? kFlagVrr : 0);
    putU32(&bytes[12], flags);
    std::u16string name = utf8ToUtf16(request.name);
    if (name.size() > kNameUnits - 1) {
        name.resize(kNameUnits - 1);
        // A cut between the halves of a surrogate pair would leave half a
        // character behind; drop it.
        if (name.back() >= 0xD800 && name.back() <= 0xDBFF) name.pop_back();
    }
    for (size_t i = 0; i < name.size(); ++i) {
        bytes[16 + 2 * i] = static_cast<uint8_t>(name[i]);
        bytes[16 + 2 * i + 1] = static_cast<uint8_t>(name[i] >> 8);
    }
    return bytes;
}

bool QvIddBackend::addMonitor(const MonitorRequest& request, VirtualMonitor& monitor, std::string& error) {
    if (!open(error)) return false;
    std::vector<uint8_t> input = encodeAddRequest(request);
    uint8_t answer[4] = {};
    uint32_t code = 0;
    if (!devices_.control(device_, kAddMonitor, input.data(), input.size(), answer, sizeof answer, code)) {
        if (code == kErrorMonitorLimit)
            error = "The virtual display driver is at its monitor limit.";
        else
            error = strprintf("The virtual display driver refused to add a monitor (error %u).", code);
        return false;
    }
    monitor = VirtualMonitor{};
    monitor.id = getU32(answer);
    monitor.width = request.width;
    monitor.height = request.height;
    monitor.refresh = request.refresh;
    monitor.hdr = request.hdr;
    monitor.tenBit = request.tenBit;
    monitor.vrr = request.vrr;
    monitor.name = request.name;
    monitor.active = true;
    log::logf(log::Info, "qv-idd monitor %u added (%ux%u@%u flags=0x%x)", monitor.id, monitor.width, monitor.height,
              monitor.refresh, getU32(&input[12]));
    return true;
}

bool QvIddBackend::removeMonitor(uint32_t id, std::string& error) {
    if (!open(error)) return false;
    uint8_t input[4];
    putU32(input, id);
    uint32_t code = 0;
    if (!devices_.control(device_, kRemoveMonitor, input, sizeof input, nullptr, 0, code)) {
        error = strprintf("The virtual display driver refused to remove monitor %u.", id);
        return false;
    }
    return true;
}

std::vector<VirtualMonitor> QvIddBackend::listMonitors() {
    std::vector<VirtualMonitor> monitors;
    std::string ignored;
    if (!open(ignored)) return monitors;
    std::vector<uint8_t> answer(kListAnswerSize, 0);
    uint32_t code = 0;
    if (!devices_.control(device_, kListMonitors, nullptr, 0, answer.data(), answer.size(), code)) return monitors;
    uint32_t count = std::min(getU32(answer.data()), kListEntries);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* entry = answer.data() + 4 + i * kListEntrySize;
        VirtualMonitor m;
        m.id = getU32(entry);
        m.active = getU32(entry + 4) != 0;
        m.width = getU32(entry + 8);
        m.height = getU32(entry + 12);
        m.refresh = getU32(entry + 16);
        uint32_t flags = getU32(entry + 20);
        m.hdr = (flags & kFlagHdr) != 0;
        m.tenBit = (flags & kFlagTenBit) != 0;
        m.vrr = (flags & kFlagVrr) != 0;
        m.name = readName(entry + 24);
        monitors.push_back(std::move(m));
    }
    return monitors;
}

bool QvIddBackend::driverInfo(DriverInfo& info) {
    std::string ignored;
    if (!open(ignored)) return false;
    uint32_t hdr = 0;
    return queryVersion(device_, info, hdr);
}

bool QvIddBackend::installDevice(std::string& error) {
    if (isInstalled()) return true;
    DeviceApi::SoftwareDevice node;
    node.enumerator = "Quorvane";
    node.parent = "HTREE\\ROOT\\0";
    node.instanceId = "QuorvaneIdd";
    node.hardwareIds = {kHardwareId};
    node.capabilities = kCapabilities;
    node.description = "Quorvane Virtual Display Adapter";
    // The node has to stay after this short-lived console process ends, or
    // Windows would unload the driver with it.
    node.outliveProcess = true;
    int32_t completion = kFail; // until the callback says otherwise
    int32_t result = devices_.createSoftwareDevice(node, kInstallTimeoutMs, completion);
    if (result < 0) {
        if (result == kAccessDenied)
            error = "Creating the device needs administrator rights.";
        else
            error = strprintf("SwDeviceCreate failed (0x%08X).", static_cast<uint32_t>(result));
        return false;
    }
    if (completion < 0) {
        error = strprintf("Windows created the device but couldn't bind the driver (0x%08X). If Secure Boot is on, "
                          "the driver must be attestation-signed; a test-signed build won't load.",
                          static_cast<uint32_t>(completion));
        return false;
    }
    log::logf(log::Info, "qv-idd device node created");
    return true;
}

bool QvIddBackend::uninstallDevice(std::string& error) {
    std::vector<DeviceApi::DeviceIds> devices;
    if (!devices_.devicesOfEnumerator("ROOT", devices)) {
        error = "Couldn't enumerate devices.";
        return false;
    }
    // Nodes installed from the driver package sit under ROOT; the node that
    // installDevice creates is a software device and sits under SWD.
    std::vector<DeviceApi::DeviceIds> softwareDevices;
    const std::pair<const char*, std::vector<DeviceApi::DeviceIds>*> walks[] = {{"ROOT", &devices},
                                                                                {"SWD", &softwareDevices}};
    for (auto [enumerator, list] : walks) {
        if (list == &softwareDevices && !devices_.devicesOfEnumerator(enumerator, softwareDevices)) break;
        for (const DeviceApi::DeviceIds& device : *list) {
            if (device.hardwareIds.empty() || !equalsIgnoringCase(device.hardwareIds.front(), kHardwareId)) continue;
            if (devices_.removeDevice(enumerator, device.index, kHardwareId)) return true;
            error = "No Quorvane virtual display device was found.";
            return false;
        }
    }
    error = "No Quorvane virtual display device was found.";
    return false;
}

} // namespace qv::vdisplay
