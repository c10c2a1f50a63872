#include "vdisplay/ParsecVddBackend.h"

#include "base/Log.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace qv::vdisplay {
namespace {

std::unique_ptr<PacingClock> clockUnlessGiven(PacingClock* clock) {
    if (clock != nullptr) return nullptr;
    return std::make_unique<SteadyPacingClock>();
}

uint64_t refreshDistance(uint32_t rate, uint32_t requested) {
    if (rate <= requested) return requested - rate;
    return static_cast<uint64_t>(rate - requested) + 1000;
}

constexpr const char* kLostText =
    "Parsec VDD stopped answering its keep-alive requests, so it has dropped this program's monitors.";

uint64_t area(const Mode& mode) { return static_cast<uint64_t>(mode.width) * mode.height; }

} // namespace

ParsecVddBackend::ParsecVddBackend(DeviceApi& devices, PacingClock* clock)
    : devices_(devices), ownClock_(clockUnlessGiven(clock)), clock_(clock != nullptr ? *clock : *ownClock_) {}

ParsecVddBackend::~ParsecVddBackend() { close(); }

const std::vector<Mode>& ParsecVddBackend::modeTable() {
    static const std::vector<Mode> table = [] {
        std::vector<Mode> modes;
        const std::pair<uint32_t, uint32_t> fastSizes[] = {
            {3840, 2160}, {2560, 1600}, {2560, 1440}, {1920, 1200}, {1920, 1080}};
        for (auto [w, h] : fastSizes)
            for (uint32_t r : {240u, 144u, 120u, 60u}) modes.push_back({w, h, r});
        for (auto [w, h] : {std::pair<uint32_t, uint32_t>{1600, 900}, {1366, 768}, {1280, 720}})
            modes.push_back({w, h, 60});
        return modes;
    }();
    return table;
}

Mode ParsecVddBackend::closestMode(uint32_t width, uint32_t height, uint32_t refresh) {
    const std::vector<Mode>& table = modeTable();
    Mode best = table.front();
    auto sized = [&](const Mode& m) { return m.width == width && m.height == height; };
    for (size_t i = 1; i < table.size(); ++i) {
        const Mode& m = table[i];
        bool mSized = sized(m);
        bool bestSized = sized(best);
        bool closerRate = refreshDistance(m.refresh, refresh) < refreshDistance(best.refresh, refresh);
        if (mSized && !bestSized)
            best = m;
        else if (((mSized && bestSized) || (!mSized && !bestSized && area(m) == area(best))) && closerRate)
            best = m;
        else if (!mSized && !bestSized && area(m) > area(best))
            best = m;
    }
    return best;
}

bool ParsecVddBackend::isInstalled() { return !devices_.interfacePath(kInterfaceClass).empty(); }

Capabilities ParsecVddBackend::capabilities() const {
    Capabilities c;
    c.runtime = true;
    c.dropsOnExit = true;
    c.maxWidth = 3840;
    c.maxHeight = 2160;
    c.maxRefresh = 240;
    c.maxMonitors = kMaxMonitors;
    c.modes = modeTable();
    return c;
}

bool ParsecVddBackend::request(uint32_t code, const uint8_t* input, size_t inputSize, int32_t* result) {
    uint8_t in[32] = {};
    uint8_t out[32] = {};
    if (input != nullptr) std::memcpy(in, input, std::min(inputSize, sizeof in));
    if (!devices_.controlOverlapped(device_, code, in, out, kRequestTimeoutMs)) return false;
    if (result != nullptr) {
        uint32_t value = static_cast<uint32_t>(out[0]) | static_cast<uint32_t>(out[1]) << 8 |
                         static_cast<uint32_t>(out[2]) << 16 | static_cast<uint32_t>(out[3]) << 24;
        *result = static_cast<int32_t>(value);
    }
    return true;
}

bool ParsecVddBackend::open(std::string& error) {
    if (device_ != 0) return true;
    std::string path = devices_.interfacePath(kInterfaceClass);
    if (path.empty()) {
        error = "Parsec Virtual Display Driver isn't installed.";
        return false;
    }
    uint32_t code = 0;
    DeviceApi::Handle device = devices_.openDevice(path, true, code);
    if (device == 0) {
        error = "Couldn't open the Parsec VDD control device.";
        return false;
    }
    device_ = device;
    int32_t version = 0;
    if (!request(kVersionQuery, nullptr, 0, &version)) {
        devices_.closeDevice(device_);
        device_ = 0;
        error = "Parsec VDD didn't answer a version query — unsupported build?";
        return false;
    }
    log::logf(log::Info, "Parsec VDD opened (driver version %d)", version);
    stopKeepAlive_.store(false);
    keepAlive_ = std::thread([this] { keepAliveLoop(); });
    return true;
}

void ParsecVddBackend::keepAliveLoop() {
    // When the driver last answered; the thread starts right after open's
    // version query was answered.
    uint64_t lastAnswered = clock_.nowNs();
    while (!stopKeepAlive_.load()) {
        bool answered = request(kKeepAlive, nullptr, 0, nullptr);
        uint64_t returned = clock_.nowNs();
        if (answered) {
            lastAnswered = returned;
        } else if (returned - lastAnswered >= kKeepAliveGiveUpNs) {
            log::write(log::Warn, "Parsec VDD stopped answering: no keep-alive request got through for 5 s; no more "
                                  "are sent");
            lost_.store(true);
            return;
        }
        // The round lasts 50 ms from the moment the request returned,
        // whether or not it succeeded.
        uint64_t deadline = returned > std::numeric_limits<uint64_t>::max() - kKeepAliveIntervalNs
                                ? std::numeric_limits<uint64_t>::max()
                                : returned + kKeepAliveIntervalNs;
        clock_.sleepUntil(deadline, stopKeepAlive_);
    }
}

void ParsecVddBackend::stopKeepAlive() {
    stopKeepAlive_.store(true);
    clock_.wake();
    if (keepAlive_.joinable()) keepAlive_.join();
}

void ParsecVddBackend::close() {
    if (device_ == 0) return;
    stopKeepAlive();
    devices_.closeDevice(device_);
    device_ = 0;
    monitors_.clear();
    lost_.store(false);
}

bool ParsecVddBackend::addMonitor(const MonitorRequest& request, VirtualMonitor& monitor, std::string& error) {
    if (!open(error)) return false;
    if (lost_.load()) {
        error = kLostText;
        return false;
    }
    if (monitors_.size() >= kMaxMonitors) {
        error = "Parsec VDD is at its monitor limit.";
        return false;
    }
    int32_t index = -1;
    if (!this->request(kAddMonitor, nullptr, 0, &index) || index < 0) {
        error = "Parsec VDD refused to add a monitor.";
        return false;
    }
    this->request(kKeepAlive, nullptr, 0, nullptr);
    Mode mode = closestMode(request.width, request.height, request.refresh);
    VirtualMonitor added;
    added.id = static_cast<uint32_t>(index);
    added.name = request.name;
    added.hdr = added.tenBit = added.vrr = false;
    added.width = mode.width;
    added.height = mode.height;
    added.refresh = mode.refresh;
    added.active = true;
    monitors_.push_back(added);
    monitor = added;
    log::logf(log::Info, "Parsec VDD monitor %d added (%ux%u@%u)", index, mode.width, mode.height, mode.refresh);
    return true;
}

bool ParsecVddBackend::removeMonitor(uint32_t id, std::string& error) {
    if (device_ == 0) {
        error = "Parsec VDD isn't open.";
        return false;
    }
    // The driver takes a 16-bit slot; a larger id would reach it cut short
    // and name another slot.
    if (id > 0xFFFF) {
        error = "Parsec VDD refused to remove the monitor.";
        return false;
    }
    const uint8_t slot[2] = {static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id)};
    if (!request(kRemoveMonitor, slot, sizeof slot, nullptr)) {
        error = "Parsec VDD refused to remove the monitor.";
        return false;
    }
    std::erase_if(monitors_, [id](const VirtualMonitor& m) { return m.id == id; });
    return true;
}

std::vector<VirtualMonitor> ParsecVddBackend::listMonitors() {
    // A driver that stopped hearing from us has dropped every monitor.
    if (lost_.load()) return {};
    return monitors_;
}

std::string ParsecVddBackend::lost() const { return lost_.load() ? kLostText : std::string(); }

} // namespace qv::vdisplay
