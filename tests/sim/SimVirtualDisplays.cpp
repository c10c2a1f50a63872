#include "sim/SimVirtualDisplays.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>

namespace qv::sim {
namespace {

// The own driver's control protocol as the driver defines it (its control
// header: CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800..0x803, METHOD_BUFFERED,
// FILE_ANY_ACCESS)); written out here rather than taken from the backend, so a
// wrong value there shows.
constexpr const char* kQvClass = "{6F1C2B7A-9D4E-4C3B-8A51-2E7D90B4C6F3}";
constexpr uint32_t kQvVersion = 0x222000;
constexpr uint32_t kQvAdd = 0x222004;
constexpr uint32_t kQvRemove = 0x222008;
constexpr uint32_t kQvList = 0x22200C;

constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint32_t kErrorFileNotFound = 2;

bool sameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

void putU32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t getU32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
           static_cast<uint32_t>(at[3]) << 24;
}

} // namespace

// ---- SimPacingClock -----------------------------------------------------------

uint64_t SimPacingClock::nowNs() {
    std::lock_guard<std::mutex> lock(mutex_);
    return now_;
}

void SimPacingClock::sleepUntil(uint64_t deadlineNs, const std::atomic<bool>& stop) {
    std::unique_lock<std::mutex> lock(mutex_);
    deadlines_.push_back(deadlineNs);
    changed_.notify_all();
    changed_.wait(lock, [&] { return stop.load() || now_ >= deadlineNs; });
}

void SimPacingClock::wake() {
    std::lock_guard<std::mutex> lock(mutex_);
    changed_.notify_all();
}

void SimPacingClock::advanceNs(uint64_t ns) {
    std::lock_guard<std::mutex> lock(mutex_);
    now_ += ns;
    changed_.notify_all();
}

bool SimPacingClock::waitForSleeps(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return deadlines_.size() >= count; });
}

std::vector<uint64_t> SimPacingClock::sleepDeadlines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return deadlines_;
}

// ---- SimVirtualDisplays ---------------------------------------------------------

SimVirtualDisplays::SimVirtualDisplays(SimPacingClock* clock) : clock_(clock) {}

void SimVirtualDisplays::setParsecAnswering(bool answering) {
    std::lock_guard<std::mutex> lock(mutex_);
    parsecAnswering_ = answering;
}

void SimVirtualDisplays::setParsecFailing(bool failing) {
    std::lock_guard<std::mutex> lock(mutex_);
    parsecFailing_ = failing;
}

std::vector<SimVirtualDisplays::ParsecRequest> SimVirtualDisplays::parsecRequests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return parsecRequests_;
}

size_t SimVirtualDisplays::parsecRequestCount(uint32_t code) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<size_t>(std::count_if(parsecRequests_.begin(), parsecRequests_.end(),
                                             [code](const ParsecRequest& r) { return r.code == code; }));
}

bool SimVirtualDisplays::waitForParsecRequests(uint32_t code, size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return parsecRequested_.wait_for(lock, std::chrono::seconds(30), [&] {
        return static_cast<size_t>(std::count_if(parsecRequests_.begin(), parsecRequests_.end(),
                                                 [code](const ParsecRequest& r) { return r.code == code; })) >= count;
    });
}

size_t SimVirtualDisplays::openHandleCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<size_t>(
        std::count_if(handles_.begin(), handles_.end(), [](const auto& entry) { return entry.second.open; }));
}

size_t SimVirtualDisplays::requestsOnClosedHandles() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return closedHandleRequests_;
}

void SimVirtualDisplays::setSecureBoot(uint32_t value) {
    machineDwords["SYSTEM\\CurrentControlSet\\Control\\SecureBoot\\State|UEFISecureBootEnabled"] = value;
}

std::string SimVirtualDisplays::interfacePath(const vdisplay::GuidText& interfaceClass) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (sameText(interfaceClass, kQvClass) && qvIdd.present) return kQvIddPath;
    if (sameText(interfaceClass, kParsecClass) && parsec.present) return kParsecPath;
    return {};
}

vdisplay::DeviceApi::Handle SimVirtualDisplays::openDevice(const std::string& path, bool overlapped, uint32_t& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (path == kQvIddPath && qvIdd.present) {
        if (qvIdd.openError != 0) {
            error = qvIdd.openError;
            return 0;
        }
    } else if (path == kParsecPath && parsec.present && overlapped) {
        if (parsec.openFails) {
            error = 5;
            return 0;
        }
    } else {
        error = kErrorFileNotFound;
        return 0;
    }
    Handle handle = nextHandle_++;
    handles_[handle] = {path, true};
    return handle;
}

void SimVirtualDisplays::closeDevice(Handle device) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = handles_.find(device);
    if (it == handles_.end() || !it->second.open)
        ++closedHandleRequests_;
    else
        it->second.open = false;
}

bool SimVirtualDisplays::control(Handle device, uint32_t code, const void* input, size_t inputSize, void* output,
                                 size_t outputSize, uint32_t& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = handles_.find(device);
    if (it == handles_.end() || !it->second.open) {
        ++closedHandleRequests_;
        error = kErrorInvalidHandle;
        return false;
    }
    if (it->second.path != kQvIddPath) {
        error = kErrorInvalidParameter;
        return false;
    }
    return qvIddControl(code, static_cast<const uint8_t*>(input), inputSize, static_cast<uint8_t*>(output),
                        outputSize, error);
}

bool SimVirtualDisplays::qvIddControl(uint32_t code, const uint8_t* input, size_t inputSize, uint8_t* output,
                                      size_t outputSize, uint32_t& error) {
    switch (code) {
    case kQvVersion:
        if (!qvIdd.answersVersion) {
            error = 31; // ERROR_GEN_FAILURE
            return false;
        }
        if (outputSize < 16) {
            error = kErrorInsufficientBuffer;
            return false;
        }
        std::memset(output, 0, 16);
        putU32(output, qvIdd.version);
        putU32(output + 8, qvIdd.iddcxVersion);
        putU32(output + 12, qvIdd.hdrCapable);
        return true;
    case kQvAdd: {
        if (inputSize < 80 || outputSize < 4) {
            error = kErrorInvalidParameter;
            return false;
        }
        qvIdd.addRequests.emplace_back(input, input + inputSize);
        if (qvIdd.addError != 0) {
            error = qvIdd.addError;
            return false;
        }
        if (qvIdd.monitors.size() >= qvIdd.monitorLimit) {
            error = 4; // ERROR_TOO_MANY_OPEN_FILES
            return false;
        }
        QvIddMonitor m;
        m.id = qvIdd.nextId++;
        m.width = getU32(input);
        m.height = getU32(input + 4);
        m.refresh = getU32(input + 8);
        m.flags = getU32(input + 12);
        std::memcpy(m.name.data(), input + 16, 64);
        m.name[62] = m.name[63] = 0; // the driver keeps the last unit a NUL
        qvIdd.monitors.push_back(m);
        putU32(output, m.id);
        return true;
    }
    case kQvRemove: {
        if (inputSize < 4) {
            error = kErrorInvalidParameter;
            return false;
        }
        uint32_t id = getU32(input);
        qvIdd.removeRequests.push_back(id);
        auto it = std::find_if(qvIdd.monitors.begin(), qvIdd.monitors.end(),
                               [id](const QvIddMonitor& m) { return m.id == id; });
        if (it == qvIdd.monitors.end()) {
            error = 1168; // ERROR_NOT_FOUND
            return false;
        }
        qvIdd.monitors.erase(it);
        return true;
    }
    case kQvList: {
        if (!qvIdd.answersList) {
            error = 31;
            return false;
        }
        if (outputSize < 708) {
            error = kErrorInsufficientBuffer;
            return false;
        }
        std::memset(output, 0, 708);
        uint32_t count = qvIdd.listCount.value_or(static_cast<uint32_t>(qvIdd.monitors.size()));
        putU32(output, count);
        for (size_t i = 0; i < qvIdd.monitors.size() && i < 8; ++i) {
            const QvIddMonitor& m = qvIdd.monitors[i];
            uint8_t* entry = output + 4 + i * 88;
            putU32(entry, m.id);
            putU32(entry + 4, m.active);
            putU32(entry + 8, m.width);
            putU32(entry + 12, m.height);
            putU32(entry + 16, m.refresh);
            putU32(entry + 20, m.flags);
            std::memcpy(entry + 24, m.name.data(), 64);
        }
        return true;
    }
    default:
        error = 1; // ERROR_INVALID_FUNCTION
        return false;
    }
}

bool SimVirtualDisplays::controlOverlapped(Handle device, uint32_t code, const uint8_t (&input)[32],
                                           uint8_t (&output)[32], uint32_t timeoutMs) {
    uint64_t costNs = 0;
    bool answered = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = handles_.find(device);
        if (it == handles_.end() || !it->second.open) {
            ++closedHandleRequests_;
            return false;
        }
        if (it->second.path != kParsecPath) return false;
        ParsecRequest request;
        request.code = code;
        std::memcpy(request.input.data(), input, 32);
        request.atNs = clock_ != nullptr ? clock_->nowNs() : 0;
        parsecRequests_.push_back(request);
        parsecRequested_.notify_all();
        std::memset(output, 0, 32);
        if (!parsecAnswering_) {
            // The request stays pending until the caller's wait gives up.
            costNs = static_cast<uint64_t>(timeoutMs) * 1'000'000;
        } else if (parsecFailing_) {
            costNs = parsec.requestCostNs;
        } else {
            costNs = parsec.requestCostNs;
            switch (code) {
            case kParsecVersion:
                answered = parsec.answersVersion;
                putU32(output, static_cast<uint32_t>(parsec.version));
                break;
            case kParsecAdd:
                answered = true;
                putU32(output, static_cast<uint32_t>(parsec.refusesAdd ? -1 : parsec.nextSlot++));
                break;
            case kParsecRemove:
            case kParsecUpdate:
                answered = true;
                break;
            default:
                break;
            }
        }
    }
    if (clock_ != nullptr && costNs != 0) clock_->advanceNs(costNs);
    return answered;
}

bool SimVirtualDisplays::devicesOfClass(const vdisplay::GuidText& setupClass, std::vector<DeviceIds>& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (enumerationFails) return false;
    uint32_t index = 0;
    for (const Device& device : devices) {
        if (!sameText(device.setupClass, setupClass)) continue;
        if (!device.readFails) out.push_back({index, device.hardwareIds});
        ++index;
    }
    return true;
}

bool SimVirtualDisplays::devicesOfEnumerator(const std::string& enumerator, std::vector<DeviceIds>& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (enumerationFails) return false;
    uint32_t index = 0;
    for (const Device& device : devices) {
        if (!sameText(device.enumerator, enumerator)) continue;
        if (!device.readFails) out.push_back({index, device.hardwareIds});
        ++index;
    }
    return true;
}

bool SimVirtualDisplays::removeDevice(const std::string& enumerator, uint32_t index,
                                      const std::string& expectedHardwareId) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (removeFails) return false;
    uint32_t position = 0;
    for (auto it = devices.begin(); it != devices.end(); ++it) {
        if (!sameText(it->enumerator, enumerator)) continue;
        if (position++ != index) continue;
        if (it->hardwareIds.empty() || !sameText(it->hardwareIds.front(), expectedHardwareId)) return false;
        removedDevices.push_back(*it);
        bool wasQvIdd = !it->hardwareIds.empty() && sameText(it->hardwareIds.front(), "Root\\QuorvaneIdd");
        devices.erase(it);
        if (wasQvIdd) qvIdd.present = false;
        return true;
    }
    return false;
}

int32_t SimVirtualDisplays::createSoftwareDevice(const SoftwareDevice& device, uint32_t timeoutMs,
                                                 int32_t& completion) {
    std::lock_guard<std::mutex> lock(mutex_);
    createdDevices.push_back(device);
    createTimeouts.push_back(timeoutMs);
    if (createResult < 0) return createResult;
    completion = completionResult;
    if (completionResult >= 0) {
        // Windows binds the driver, which publishes its control interface.
        devices.push_back({kDisplayClass, "SWD", device.hardwareIds, false});
        qvIdd.present = true;
    }
    return createResult;
}

bool SimVirtualDisplays::machineDword(const std::string& key, const std::string& value, uint32_t& out) {
    auto it = machineDwords.find(key + "|" + value);
    if (it == machineDwords.end()) return false;
    out = it->second;
    return true;
}

bool SimVirtualDisplays::codeIntegrityOptions(uint32_t& options) {
    if (!codeIntegrity) return false;
    options = *codeIntegrity;
    return true;
}

bool SimVirtualDisplays::buildNumber(uint32_t& number) {
    if (!build) return false;
    number = *build;
    return true;
}

} // namespace qv::sim
