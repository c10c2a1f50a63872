#include "sim/SimDisplays.h"

#include "base/StrPrintf.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace qv::sim {

namespace {

constexpr int32_t ErrorGenFailure = 31;
constexpr int32_t ErrorNotSupported = 50;
constexpr int32_t ErrorInvalidParameter = 87;

const char* const MonitorInterfaceClass = "{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}";

std::string flagsText(uint32_t flags) {
    switch (flags) {
    case dc::QdcAllPaths: return "QDC_ALL_PATHS";
    case dc::QdcOnlyActivePaths: return "QDC_ONLY_ACTIVE_PATHS";
    case dc::QdcDatabaseCurrent: return "QDC_DATABASE_CURRENT";
    default: return strprintf("0x%X", flags);
    }
}

std::string upper(std::string text) {
    for (char& c : text)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::vector<SimMode> typicalModes(uint32_t width, uint32_t height, uint32_t refreshHz) {
    static constexpr SimMode sizes[] = {{640, 480, 0},    {800, 600, 0},   {1024, 768, 0},
                                        {1280, 720, 0},   {1280, 1024, 0}, {1600, 900, 0},
                                        {1920, 1080, 0},  {1920, 1200, 0}, {2560, 1440, 0},
                                        {3840, 2160, 0}};
    std::vector<SimMode> modes;
    for (const SimMode& size : sizes) {
        if (size.width > width || size.height > height)
            continue;
        if (size.width == width && size.height == height)
            continue;
        modes.push_back({size.width, size.height, 60, 32});
    }
    modes.push_back({width, height, 60, 32});
    if (refreshHz != 60)
        modes.push_back({width, height, refreshHz, 32});
    return modes;
}

// The present monitor devices as one SetupDiGetClassDevs call sees them.
struct DeviceEntry {
    std::string instanceId;
    bool failInstanceId = false;
    bool failOpenKey = false;
    bool hasEdidValue = true;
    uint32_t edidType = dc::RegBinary;
    std::vector<uint8_t> edid;
};

class SimMonitorDeviceSet final : public MonitorDeviceSet {
public:
    SimMonitorDeviceSet(SimDisplays& sim, std::vector<DeviceEntry> devices)
        : sim_(sim), devices_(std::move(devices)) {}
    ~SimMonitorDeviceSet() override { sim_.record("SetupDiDestroyDeviceInfoList"); }
    SimMonitorDeviceSet(const SimMonitorDeviceSet&) = delete;
    SimMonitorDeviceSet& operator=(const SimMonitorDeviceSet&) = delete;

    bool enumDevice(uint32_t index) override {
        sim_.record(strprintf("SetupDiEnumDeviceInfo(%u)", index));
        return index < devices_.size();
    }

    bool instanceId(uint32_t index, std::string& id) override {
        sim_.record(strprintf("SetupDiGetDeviceInstanceId(%u)", index));
        if (index >= devices_.size() || devices_[index].failInstanceId)
            return false;
        id = devices_[index].instanceId;
        return true;
    }

    bool readEdid(uint32_t index, RegistryValue& value) override {
        sim_.record(strprintf("SetupDiOpenDevRegKey(%u)", index));
        if (index >= devices_.size() || devices_[index].failOpenKey)
            return false;
        sim_.record("RegQueryValueEx(EDID)");
        const DeviceEntry& device = devices_[index];
        if (!device.hasEdidValue || device.edid.size() > 256)
            return false;  // no value, or more than the 256-byte buffer holds
        value.type = device.edidType;
        value.data = device.edid;
        return true;
    }

private:
    SimDisplays& sim_;
    std::vector<DeviceEntry> devices_;
};

} // namespace

SimMonitor SimMonitor::fromEdid(const EdidContents& contents) {
    SimMonitor monitor;
    monitor.friendlyName = contents.monitorName;
    monitor.pnpId = contents.manufacturer + strprintf("%04X", unsigned(contents.productCode));
    monitor.edidManufactureId = edidManufacturerId(contents.manufacturer);
    monitor.edidProductCodeId = contents.productCode;
    monitor.edid = buildEdid(contents);
    monitor.modes = typicalModes(contents.width, contents.height, contents.refreshHz);
    monitor.current = {contents.width, contents.height, contents.refreshHz, 32};
    monitor.preferred = TargetPreferredMode{contents.width, contents.height, Rational{contents.refreshHz * 1000, 1000}};
    return monitor;
}

std::string SimTarget::devicePath() const {
    return "\\\\?\\DISPLAY#" + monitor.pnpId + "#" + instanceSuffix + "#" + MonitorInterfaceClass;
}

std::string SimTarget::instanceId() const { return upper("DISPLAY\\" + monitor.pnpId + "\\" + instanceSuffix); }

std::string SimSource::gdiName() const { return strprintf("\\\\.\\DISPLAY%u", id + 1); }

SimDisplays::SimDisplays() {
    messages_[ErrorGenFailure] = "A device attached to the system is not functioning.\r\n";
    messages_[ErrorNotSupported] = "The request is not supported.\r\n";
    messages_[ErrorInvalidParameter] = "The parameter is incorrect.\r\n";
    messages_[dc::ErrorInsufficientBuffer] = "The data area passed to a system call is too small.\r\n";
}

// --- The machine -------------------------------------------------------------

uint32_t SimDisplays::plugDetached(SimMonitor monitor) {
    SimTarget target;
    target.id = nextTargetId_++;
    target.monitor = std::move(monitor);
    target.instanceSuffix = strprintf("5&1a2b3c&0&UID%u", target.id);
    targets_.push_back(std::move(target));
    return targets_.back().id;
}

uint32_t SimDisplays::plug(SimMonitor monitor, int32_t x, int32_t y) {
    SimSource source;
    source.id = freeSourceId();
    source.x = x;
    source.y = y;
    source.width = monitor.current.width;
    source.height = monitor.current.height;
    source.refreshHz = monitor.current.refreshHz;
    const uint32_t id = plugDetached(std::move(monitor));
    targets_.back().sourceId = source.id;
    sources_.push_back(source);
    return id;
}

void SimDisplays::unplug(uint32_t targetId) {
    auto it = std::find_if(targets_.begin(), targets_.end(), [&](const SimTarget& t) { return t.id == targetId; });
    if (it == targets_.end())
        return;
    const std::optional<uint32_t> source = it->sourceId;
    targets_.erase(it);
    if (source)
        dropSourceIfUnused(*source);
}

void SimDisplays::clone(uint32_t targetId, uint32_t ontoTargetId) {
    SimTarget& moving = target(targetId);
    const std::optional<uint32_t> old = moving.sourceId;
    moving.sourceId = target(ontoTargetId).sourceId;
    if (old)
        dropSourceIfUnused(*old);
}

void SimDisplays::addStrayDevice(SimStrayDevice device) { strays_.push_back(std::move(device)); }

SimTarget& SimDisplays::target(uint32_t targetId) {
    SimTarget* found = findTarget(Adapter, targetId);
    if (found == nullptr)
        std::abort();  // a test asked for a monitor it never plugged
    return *found;
}

SimSource& SimDisplays::sourceOf(uint32_t targetId) {
    SimTarget& t = target(targetId);
    SimSource* source = t.sourceId ? findSource(*t.sourceId) : nullptr;
    if (source == nullptr)
        std::abort();
    return *source;
}

std::string SimDisplays::gdiNameOf(uint32_t targetId) { return sourceOf(targetId).gdiName(); }

SimDisplays::Docked SimDisplays::laptopWithTwoDocked() {
    SimMonitor panel = SimMonitor::fromEdid({.manufacturer = "BOE",
                                             .productCode = 0x0A1C,
                                             .serialNumber = 0,
                                             .monitorName = "",
                                             .serialText = "",
                                             .width = 1920,
                                             .height = 1200,
                                             .refreshHz = 60});
    panel.internal = true;
    panel.friendlyName = "";  // built-in panels usually report no friendly name
    SimMonitor left = SimMonitor::fromEdid({.manufacturer = "DEL",
                                            .productCode = 0x41A8,
                                            .serialNumber = 0x4C4B3033,
                                            .monitorName = "DELL U2720Q",
                                            .serialText = "9XKJ2S3",
                                            .width = 3840,
                                            .height = 2160,
                                            .refreshHz = 60,
                                            .extensionBlock = true});
    SimMonitor right = SimMonitor::fromEdid({.manufacturer = "GSM",
                                             .productCode = 0x5B09,
                                             .serialNumber = 0,
                                             .monitorName = "LG ULTRAGEAR",
                                             .serialText = "205NTABC1234",
                                             .width = 2560,
                                             .height = 1440,
                                             .refreshHz = 144});
    right.friendlyName = "Generic PnP Monitor";
    Docked docked;
    docked.laptop = plug(std::move(panel), 0, 0);
    docked.left = plug(std::move(left), 1920, 0);
    docked.right = plug(std::move(right), 1920 + 3840, 0);
    return docked;
}

std::vector<std::string> SimDisplays::callsStartingWith(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& call : calls_)
        if (call.rfind(prefix, 0) == 0)
            out.push_back(call);
    return out;
}

// --- Internal model ------------------------------------------------------------

SimTarget* SimDisplays::findTarget(const Luid& adapterId, uint32_t targetId) {
    if (!(adapterId == Adapter))
        return nullptr;
    for (SimTarget& t : targets_)
        if (t.id == targetId)
            return &t;
    return nullptr;
}

SimSource* SimDisplays::findSource(uint32_t sourceId) {
    for (SimSource& s : sources_)
        if (s.id == sourceId)
            return &s;
    return nullptr;
}

SimTarget* SimDisplays::firstTargetOnSource(uint32_t sourceId) {
    for (SimTarget& t : targets_)
        if (t.sourceId == sourceId)
            return &t;
    return nullptr;
}

uint32_t SimDisplays::freeSourceId() const {
    for (uint32_t id = 0;; ++id) {
        const bool used = std::any_of(sources_.begin(), sources_.end(), [&](const SimSource& s) { return s.id == id; });
        if (!used)
            return id;
    }
}

void SimDisplays::dropSourceIfUnused(uint32_t sourceId) {
    const bool used =
        std::any_of(targets_.begin(), targets_.end(), [&](const SimTarget& t) { return t.sourceId == sourceId; });
    if (!used)
        std::erase_if(sources_, [&](const SimSource& s) { return s.id == sourceId; });
}

SimDisplays::Config SimDisplays::activeConfig() const {
    Config config;
    std::map<uint32_t, uint32_t> sourceModeIndex;
    for (const SimTarget& t : targets_) {
        if (!t.sourceId)
            continue;
        const SimSource& source = *std::find_if(sources_.begin(), sources_.end(),
                                                [&](const SimSource& s) { return s.id == *t.sourceId; });
        PathInfo path;
        path.flags = dc::PathActive;
        path.sourceInfo.adapterId = Adapter;
        path.sourceInfo.id = source.id;
        path.sourceInfo.statusFlags = 1;  // in use
        path.targetInfo.adapterId = Adapter;
        path.targetInfo.id = t.id;
        path.targetInfo.outputTechnology = t.monitor.internal ? dc::OutputTechnologyInternal : 10;  // DP external
        path.targetInfo.rotation = t.monitor.rotation;
        path.targetInfo.scaling = 1;
        path.targetInfo.refreshRate = t.monitor.vsync.value_or(Rational{source.refreshHz * 1000, 1000});
        path.targetInfo.scanLineOrdering = 1;
        path.targetInfo.targetAvailable = true;
        path.targetInfo.statusFlags = 1;

        // A target mode per path, one source mode per source (shared in clone).
        ModeInfo targetMode;
        targetMode.infoType = dc::ModeInfoTypeTarget;
        targetMode.id = t.id;
        targetMode.adapterId = Adapter;
        targetMode.targetMode.vSyncFreq = path.targetInfo.refreshRate;
        targetMode.targetMode.activeWidth = source.width;
        targetMode.targetMode.activeHeight = source.height;
        targetMode.targetMode.totalWidth = source.width + 160;
        targetMode.targetMode.totalHeight = source.height + 45;
        targetMode.targetMode.scanLineOrdering = 1;
        path.targetInfo.modeInfoIdx = uint32_t(config.modes.size());
        config.modes.push_back(targetMode);

        auto known = sourceModeIndex.find(source.id);
        if (known == sourceModeIndex.end()) {
            ModeInfo sourceMode;
            sourceMode.infoType = dc::ModeInfoTypeSource;
            sourceMode.id = source.id;
            sourceMode.adapterId = Adapter;
            sourceMode.sourceMode = {source.width, source.height, 4 /* 32bpp */, source.x, source.y};
            known = sourceModeIndex.emplace(source.id, uint32_t(config.modes.size())).first;
            config.modes.push_back(sourceMode);
        }
        path.sourceInfo.modeInfoIdx = known->second;
        config.paths.push_back(path);
    }
    return config;
}

uint32_t SimDisplays::topology() const {
    if (topologyOverride_)
        return *topologyOverride_;
    std::vector<uint32_t> sources;
    size_t active = 0;
    bool internalActive = false;
    for (const SimTarget& t : targets_) {
        if (!t.sourceId)
            continue;
        ++active;
        internalActive = internalActive || t.monitor.internal;
        if (std::find(sources.begin(), sources.end(), *t.sourceId) != sources.end())
            return dc::TopologyClone;
        sources.push_back(*t.sourceId);
    }
    if (active > 1)
        return dc::TopologyExtend;
    if (active == 1)
        return internalActive ? dc::TopologyInternal : dc::TopologyExternal;
    return 0;
}

// --- DisplayConfigApi ------------------------------------------------------------

int32_t SimDisplays::getBufferSizes(uint32_t flags, uint32_t& numPaths, uint32_t& numModes) {
    record("GetDisplayConfigBufferSizes(" + flagsText(flags) + ")");
    if (bufferSizesError_ != 0)
        return bufferSizesError_;
    if (flags != dc::QdcOnlyActivePaths && flags != dc::QdcDatabaseCurrent)
        return ErrorNotSupported;  // inactive paths are not modelled
    const Config config = activeConfig();
    numPaths = uint32_t(config.paths.size());
    numModes = uint32_t(config.modes.size());
    if (!afterSizeQuery_.empty()) {
        std::function<void()> change = std::move(afterSizeQuery_.front());
        afterSizeQuery_.pop_front();
        change();
    }
    return dc::ErrorSuccess;
}

int32_t SimDisplays::queryConfig(uint32_t flags, uint32_t& numPaths, PathInfo* paths, uint32_t& numModes,
                                 ModeInfo* modes, uint32_t* topologyId) {
    record(strprintf("QueryDisplayConfig(%s, %u paths, %u modes%s)", flagsText(flags).c_str(), numPaths, numModes,
                     topologyId != nullptr ? ", topology" : ""));
    if (!queryErrors_.empty()) {
        const int32_t code = queryErrors_.front();
        queryErrors_.pop_front();
        return code;
    }
    if (flags != dc::QdcOnlyActivePaths && flags != dc::QdcDatabaseCurrent)
        return ErrorNotSupported;
    // The topology is asked for exactly with the database flag.
    if ((flags == dc::QdcDatabaseCurrent) != (topologyId != nullptr))
        return ErrorInvalidParameter;
    const Config config = activeConfig();
    if (config.paths.size() > numPaths || config.modes.size() > numModes)
        return dc::ErrorInsufficientBuffer;
    std::copy(config.paths.begin(), config.paths.end(), paths);
    std::copy(config.modes.begin(), config.modes.end(), modes);
    numPaths = uint32_t(config.paths.size());
    numModes = uint32_t(config.modes.size());
    if (topologyId != nullptr)
        *topologyId = topology();
    return dc::ErrorSuccess;
}

int32_t SimDisplays::getTargetName(const Luid& adapterId, uint32_t targetId, TargetDeviceName& out) {
    record(strprintf("DisplayConfigGetDeviceInfo(GET_TARGET_NAME, %u)", targetId));
    SimTarget* t = findTarget(adapterId, targetId);
    if (t == nullptr)
        return ErrorInvalidParameter;
    if (t->failTargetName)
        return ErrorGenFailure;
    out.monitorFriendlyDeviceName = t->monitor.friendlyName;
    out.monitorDevicePath = t->devicePath();
    out.edidManufactureId = t->monitor.edidManufactureId;
    out.edidProductCodeId = t->monitor.edidProductCodeId;
    return dc::ErrorSuccess;
}

int32_t SimDisplays::getSourceName(const Luid& adapterId, uint32_t sourceId, SourceDeviceName& out) {
    record(strprintf("DisplayConfigGetDeviceInfo(GET_SOURCE_NAME, %u)", sourceId));
    SimSource* source = adapterId == Adapter ? findSource(sourceId) : nullptr;
    if (source == nullptr)
        return ErrorInvalidParameter;
    SimTarget* t = firstTargetOnSource(sourceId);
    if (t != nullptr && t->failSourceName)
        return ErrorGenFailure;
    out.viewGdiDeviceName = source->gdiName();
    return dc::ErrorSuccess;
}

int32_t SimDisplays::getTargetPreferredMode(const Luid& adapterId, uint32_t targetId, TargetPreferredMode& out) {
    record(strprintf("DisplayConfigGetDeviceInfo(GET_TARGET_PREFERRED_MODE, %u)", targetId));
    SimTarget* t = findTarget(adapterId, targetId);
    if (t == nullptr)
        return ErrorInvalidParameter;
    if (!t->monitor.preferred)
        return ErrorNotSupported;
    out = *t->monitor.preferred;
    return dc::ErrorSuccess;
}

int32_t SimDisplays::getAdvancedColorInfo(const Luid& adapterId, uint32_t targetId, AdvancedColorInfo& out) {
    record(strprintf("DisplayConfigGetDeviceInfo(GET_ADVANCED_COLOR_INFO, %u)", targetId));
    SimTarget* t = findTarget(adapterId, targetId);
    if (t == nullptr)
        return ErrorInvalidParameter;
    if (!t->monitor.color)
        return ErrorNotSupported;
    out = *t->monitor.color;
    return dc::ErrorSuccess;
}

bool SimDisplays::enumDisplaySettings(const std::string& gdiName, uint32_t modeNum, DevMode& mode) {
    record(modeNum == dc::EnumCurrentSettings
               ? "EnumDisplaySettingsEx(" + gdiName + ", ENUM_CURRENT_SETTINGS)"
               : strprintf("EnumDisplaySettingsEx(%s, %u)", gdiName.c_str(), modeNum));
    auto sourceIt =
        std::find_if(sources_.begin(), sources_.end(), [&](const SimSource& s) { return s.gdiName() == gdiName; });
    if (sourceIt == sources_.end())
        return false;
    SimTarget* t = firstTargetOnSource(sourceIt->id);
    if (t == nullptr)
        return false;
    constexpr uint32_t Fields = 0x00040000 | 0x00080000 | 0x00100000 | 0x00400000;  // DM_BITSPERPEL|PELS*|FREQUENCY
    if (modeNum == dc::EnumCurrentSettings) {
        if (t->failCurrentMode)
            return false;
        const SimMode current = t->gdiCurrent.value_or(
            SimMode{sourceIt->width, sourceIt->height, sourceIt->refreshHz, t->monitor.current.bitsPerPel});
        mode = DevMode{};
        mode.dmFields = Fields | 0x00000020 | 0x00000080;  // | DM_POSITION | DM_DISPLAYORIENTATION
        mode.dmBitsPerPel = current.bitsPerPel;
        mode.dmPelsWidth = current.width;
        mode.dmPelsHeight = current.height;
        mode.dmDisplayFrequency = current.refreshHz;
        mode.dmPositionX = sourceIt->x;
        mode.dmPositionY = sourceIt->y;
        mode.dmDisplayOrientation = t->monitor.rotation >= 1 && t->monitor.rotation <= 4 ? t->monitor.rotation - 1 : 0;
        return true;
    }
    if (modeNum >= t->monitor.modes.size())
        return false;
    const SimMode& listed = t->monitor.modes[modeNum];
    mode = DevMode{};
    mode.dmFields = Fields;
    mode.dmBitsPerPel = listed.bitsPerPel;
    mode.dmPelsWidth = listed.width;
    mode.dmPelsHeight = listed.height;
    mode.dmDisplayFrequency = listed.refreshHz;
    return true;
}

std::unique_ptr<MonitorDeviceSet> SimDisplays::openMonitorDevices() {
    record("SetupDiGetClassDevs(Monitor, DIGCF_PRESENT)");
    if (failMonitorClass_)
        return nullptr;
    std::vector<DeviceEntry> devices;
    for (const SimStrayDevice& stray : strays_)
        devices.push_back({stray.instanceId, false, false, !stray.edid.empty(), dc::RegBinary, stray.edid});
    for (const SimTarget& t : targets_) {
        if (!t.inDeviceClass)
            continue;
        devices.push_back({t.instanceId(), t.failInstanceId, t.failOpenDevKey, t.monitor.hasEdidValue,
                           t.monitor.edidValueType, t.monitor.edid});
    }
    return std::make_unique<SimMonitorDeviceSet>(*this, std::move(devices));
}

std::string SimDisplays::formatSystemMessage(uint32_t code) {
    record(strprintf("FormatMessage(0x%X)", code));
    auto it = messages_.find(code);
    return it == messages_.end() ? std::string() : it->second;
}

} // namespace qv::sim
