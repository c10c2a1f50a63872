#include "sim/SimDisplays.h"

#include "base/StrPrintf.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace qv::sim {

namespace {

const char* const MonitorInterfaceClass = "{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}";

std::string flagsText(uint32_t flags) {
    switch (flags) {
    case dc::QdcAllPaths: return "QDC_ALL_PATHS";
    case dc::QdcOnlyActivePaths: return "QDC_ONLY_ACTIVE_PATHS";
    case dc::QdcDatabaseCurrent: return "QDC_DATABASE_CURRENT";
    default: return strprintf("0x%X", flags);
    }
}

// "A|B|C" of the named bits that are set, in ascending bit order, plus any
// unnamed rest in hex; "0" for no bits.
std::string bitsText(uint32_t bits, std::initializer_list<std::pair<uint32_t, const char*>> names) {
    std::string text;
    uint32_t rest = bits;
    for (const auto& [bit, name] : names) {
        if ((bits & bit) == 0)
            continue;
        rest &= ~bit;
        text += text.empty() ? "" : "|";
        text += name;
    }
    if (rest != 0)
        text += (text.empty() ? "" : "|") + strprintf("0x%X", rest);
    return text.empty() ? "0" : text;
}

std::string cdsFlagsText(uint32_t flags) {
    return bitsText(flags, {{dc::CdsUpdateRegistry, "CDS_UPDATEREGISTRY"},
                            {dc::CdsSetPrimary, "CDS_SET_PRIMARY"},
                            {dc::CdsNoReset, "CDS_NORESET"}});
}

std::string sdcFlagsText(uint32_t flags) {
    return bitsText(flags, {{dc::SdcTopologyInternal, "SDC_TOPOLOGY_INTERNAL"},
                            {dc::SdcTopologyClone, "SDC_TOPOLOGY_CLONE"},
                            {dc::SdcTopologyExtend, "SDC_TOPOLOGY_EXTEND"},
                            {dc::SdcTopologyExternal, "SDC_TOPOLOGY_EXTERNAL"},
                            {dc::SdcUseSuppliedDisplayConfig, "SDC_USE_SUPPLIED_DISPLAY_CONFIG"},
                            {dc::SdcValidate, "SDC_VALIDATE"},
                            {dc::SdcApply, "SDC_APPLY"},
                            {dc::SdcSaveToDatabase, "SDC_SAVE_TO_DATABASE"},
                            {dc::SdcAllowChanges, "SDC_ALLOW_CHANGES"}});
}

// The fields a DEVMODE carries, each with its value, in ascending bit order:
// "{DM_POSITION=(-1920,0) DM_PELSWIDTH=1920 DM_PELSHEIGHT=1080}".
std::string devModeText(const DevMode& mode) {
    std::string text;
    const auto add = [&](uint32_t bit, const std::string& item) {
        if ((mode.dmFields & bit) != 0)
            text += (text.empty() ? "" : " ") + item;
    };
    add(dc::DmPosition, strprintf("DM_POSITION=(%d,%d)", mode.dmPositionX, mode.dmPositionY));
    add(dc::DmDisplayOrientation, strprintf("DM_DISPLAYORIENTATION=%u", mode.dmDisplayOrientation));
    add(dc::DmBitsPerPel, strprintf("DM_BITSPERPEL=%u", mode.dmBitsPerPel));
    add(dc::DmPelsWidth, strprintf("DM_PELSWIDTH=%u", mode.dmPelsWidth));
    add(dc::DmPelsHeight, strprintf("DM_PELSHEIGHT=%u", mode.dmPelsHeight));
    add(dc::DmDisplayFlags, strprintf("DM_DISPLAYFLAGS=%u", mode.dmDisplayFlags));
    add(dc::DmDisplayFrequency, strprintf("DM_DISPLAYFREQUENCY=%u", mode.dmDisplayFrequency));
    add(dc::DmDisplayFixedOutput, strprintf("DM_DISPLAYFIXEDOUTPUT=%u", mode.dmDisplayFixedOutput));
    const uint32_t known = dc::DmPosition | dc::DmDisplayOrientation | dc::DmBitsPerPel | dc::DmPelsWidth |
                           dc::DmPelsHeight | dc::DmDisplayFlags | dc::DmDisplayFrequency | dc::DmDisplayFixedOutput;
    if ((mode.dmFields & ~known) != 0)
        text += (text.empty() ? "" : " ") + strprintf("0x%X", mode.dmFields & ~known);
    return "{" + text + "}";
}

bool isPortrait(uint32_t orientation) { return orientation == dc::Dmdo90 || orientation == dc::Dmdo270; }

// DMDO_* of a CCD rotation (identity for anything undefined).
uint32_t orientationOf(uint32_t rotation) {
    return rotation >= dc::RotationIdentity && rotation <= dc::Rotation270 ? rotation - 1 : dc::DmdoDefault;
}

uint32_t roundedHz(const Rational& rate) {
    return rate.denominator == 0 ? 0 : uint32_t((2ull * rate.numerator + rate.denominator) / (2ull * rate.denominator));
}

// Whether the monitor lists a mode of that size (landscape) and, when rate is
// non-zero, that rate.
bool lists(const SimMonitor& monitor, uint32_t width, uint32_t height, uint32_t rate) {
    return std::any_of(monitor.modes.begin(), monitor.modes.end(), [&](const SimMode& m) {
        return m.width == width && m.height == height && (rate == 0 || m.refreshHz == rate);
    });
}

// The exact rate of a listed mode.
Rational exactOf(const SimMode& mode) { return mode.vsync.value_or(Rational{mode.refreshHz * 1000, 1000}); }

bool sameRate(const Rational& a, const Rational& b) {
    return a.denominator != 0 && b.denominator != 0 &&
           uint64_t(a.numerator) * b.denominator == uint64_t(b.numerator) * a.denominator;
}

// The first listed mode of that size (landscape) at that whole rate (any
// when 0), as the driver picks one.
const SimMode* firstListed(const SimMonitor& monitor, uint32_t width, uint32_t height, uint32_t rate) {
    for (const SimMode& m : monitor.modes)
        if (m.width == width && m.height == height && (rate == 0 || m.refreshHz == rate))
            return &m;
    return nullptr;
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
        if (!device.hasEdidValue)
            return false;
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

uint32_t SimDisplays::plugDetached(SimMonitor monitor, std::optional<uint32_t> targetId) {
    SimTarget target;
    target.id = targetId ? *targetId : nextTargetId_++;
    if (targetId && *targetId >= nextTargetId_)
        nextTargetId_ = *targetId + 1;
    target.monitor = std::move(monitor);
    target.instanceSuffix = strprintf("5&1a2b3c&0&UID%u", target.id);
    targets_.push_back(std::move(target));
    return targets_.back().id;
}

uint32_t SimDisplays::plug(SimMonitor monitor, int32_t x, int32_t y, std::optional<uint32_t> targetId) {
    SimSource source;
    source.id = freeSourceId();
    source.x = x;
    source.y = y;
    source.width = monitor.current.width;
    source.height = monitor.current.height;
    source.refreshHz = monitor.current.refreshHz;
    const uint32_t id = plugDetached(std::move(monitor), targetId);
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
                                            .extensionBlocks = 1});
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

SimSource* SimDisplays::findSourceByName(const std::string& gdiName) {
    for (SimSource& s : sources_)
        if (s.gdiName() == gdiName)
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

SimDisplays::Config SimDisplays::allPathsConfig() const {
    // Active paths with their modes first, then every other target and source
    // combination as an inactive path without modes.
    Config config = activeConfig();
    for (const SimTarget& t : targets_) {
        for (uint32_t sourceId = 0; sourceId < MaxSources; ++sourceId) {
            if (t.sourceId == sourceId)
                continue;
            PathInfo path;
            path.sourceInfo.adapterId = Adapter;
            path.sourceInfo.id = sourceId;
            path.sourceInfo.modeInfoIdx = dc::PathModeIdxInvalid;
            path.targetInfo.adapterId = Adapter;
            path.targetInfo.id = t.id;
            path.targetInfo.modeInfoIdx = dc::PathModeIdxInvalid;
            path.targetInfo.outputTechnology = t.monitor.internal ? dc::OutputTechnologyInternal : 10;
            path.targetInfo.rotation = dc::RotationIdentity;
            path.targetInfo.targetAvailable = true;
            config.paths.push_back(path);
        }
    }
    return config;
}

uint32_t SimDisplays::topology() const {
    if (topologyOverride_)
        return *topologyOverride_;
    std::vector<uint32_t> sources;
    size_t internalActive = 0;
    size_t externalActive = 0;
    bool internalConnected = false;
    for (const SimTarget& t : targets_) {
        internalConnected = internalConnected || t.monitor.internal;
        if (!t.sourceId)
            continue;
        ++(t.monitor.internal ? internalActive : externalActive);
        if (std::find(sources.begin(), sources.end(), *t.sourceId) != sources.end())
            return dc::TopologyClone;
        sources.push_back(*t.sourceId);
    }
    if (internalActive > 0 && externalActive > 0)
        return dc::TopologyExtend;
    if (internalActive > 0)
        return dc::TopologyInternal;
    if (externalActive == 0)
        return 0;
    // Only external monitors: a laptop with its panel off, or a desktop machine.
    return internalConnected || externalActive == 1 ? dc::TopologyExternal : dc::TopologyExtend;
}

// --- DisplayConfigApi ------------------------------------------------------------

int32_t SimDisplays::getBufferSizes(uint32_t flags, uint32_t& numPaths, uint32_t& numModes) {
    record("GetDisplayConfigBufferSizes(" + flagsText(flags) + ")");
    if (bufferSizesError_ != 0)
        return bufferSizesError_;
    if (flags != dc::QdcOnlyActivePaths && flags != dc::QdcDatabaseCurrent && flags != dc::QdcAllPaths)
        return ErrorInvalidParameter;
    const Config config = activeConfig();
    if (flags == dc::QdcAllPaths) {
        // An upper bound, as Windows gives it: room for a mode pair per target.
        numPaths = uint32_t(targets_.size() * MaxSources);
        numModes = uint32_t(targets_.size() * 2);
    } else {
        numPaths = uint32_t(config.paths.size());
        numModes = uint32_t(config.modes.size());
    }
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
    if (flags != dc::QdcOnlyActivePaths && flags != dc::QdcDatabaseCurrent && flags != dc::QdcAllPaths)
        return ErrorInvalidParameter;
    // The topology is asked for exactly with the database flag.
    if ((flags == dc::QdcDatabaseCurrent) != (topologyId != nullptr))
        return ErrorInvalidParameter;
    const Config config = flags == dc::QdcAllPaths ? allPathsConfig() : activeConfig();
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
    SimSource* sourceIt = findSourceByName(gdiName);
    if (sourceIt == nullptr)
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
        mode.dmDisplayOrientation = orientationOf(t->monitor.rotation);
        return true;
    }
    if (modeNum >= t->monitor.modes.size())
        return false;
    // Modes are listed in the current orientation, as the desktop shows them.
    const SimMode& listed = t->monitor.modes[modeNum];
    const bool portrait = isPortrait(orientationOf(t->monitor.rotation));
    mode = DevMode{};
    mode.dmFields = Fields;
    mode.dmBitsPerPel = listed.bitsPerPel;
    mode.dmPelsWidth = portrait ? listed.height : listed.width;
    mode.dmPelsHeight = portrait ? listed.width : listed.height;
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

// --- Injected refusals ------------------------------------------------------------

void SimDisplays::refuseChange(const std::string& gdiName, int32_t code, int times) {
    std::erase_if(changeRefusals_, [&](const ChangeRefusal& r) { return r.gdiName == gdiName; });
    if (code != dc::DispChangeSuccessful && times != 0)
        changeRefusals_.push_back({gdiName, code, times});
}

void SimDisplays::refuseSetDisplayConfig(uint32_t flags, int32_t code) {
    std::erase_if(setConfigRefusals_, [&](const auto& r) { return r.first == flags; });
    if (code != dc::ErrorSuccess)
        setConfigRefusals_.emplace_back(flags, code);
}

// --- GDI changes ---------------------------------------------------------------------

std::optional<uint32_t> SimDisplays::sourceAtOrigin() const {
    for (const SimSource& source : sources_)
        if (source.x == 0 && source.y == 0)
            return source.id;
    return std::nullopt;
}

int32_t SimDisplays::rightEdge() const {
    int32_t edge = 0;
    for (const SimSource& source : sources_)
        edge = std::max(edge, source.x + int32_t(source.width));
    return edge;
}

void SimDisplays::keepPrimaryAtOrigin(std::optional<uint32_t> primarySourceId) {
    if (sources_.empty())
        return;
    const SimSource* primary = primarySourceId ? findSource(*primarySourceId) : nullptr;
    if (primary == nullptr)
        primary = &*std::min_element(sources_.begin(), sources_.end(),
                                     [](const SimSource& a, const SimSource& b) { return a.id < b.id; });
    const int32_t dx = primary->x;
    const int32_t dy = primary->y;
    for (SimSource& source : sources_) {
        source.x -= dx;
        source.y -= dy;
    }
}

int32_t SimDisplays::resolveRequest(const SimSource& source, const SimTarget& target, const DevMode& mode,
                                    GdiState& out) const {
    GdiState state{source.x,       source.y, source.width, source.height, source.refreshHz,
                   orientationOf(target.monitor.rotation), false, target.monitor.vsync};
    const bool wasPortrait = isPortrait(state.orientation);
    const uint32_t currentWidth = wasPortrait ? source.height : source.width;
    const uint32_t currentHeight = wasPortrait ? source.width : source.height;
    const uint32_t fields = mode.dmFields;
    if ((fields & dc::DmPelsWidth) != 0)
        state.width = mode.dmPelsWidth;
    if ((fields & dc::DmPelsHeight) != 0)
        state.height = mode.dmPelsHeight;
    if ((fields & (dc::DmPelsWidth | dc::DmPelsHeight)) == (dc::DmPelsWidth | dc::DmPelsHeight) &&
        state.width == 0 && state.height == 0) {
        state.detach = true;
        out = state;
        return dc::DispChangeSuccessful;
    }
    if ((fields & dc::DmPosition) != 0) {
        state.x = mode.dmPositionX;
        state.y = mode.dmPositionY;
    }
    if ((fields & dc::DmDisplayOrientation) != 0) {
        if (mode.dmDisplayOrientation > dc::Dmdo270)
            return dc::DispChangeBadParam;
        state.orientation = mode.dmDisplayOrientation;
    }
    // The driver lists its modes in the monitor's landscape orientation.
    const bool portrait = isPortrait(state.orientation);
    const uint32_t width = portrait ? state.height : state.width;
    const uint32_t height = portrait ? state.width : state.height;
    if (!lists(target.monitor, width, height, 0))
        return dc::DispChangeBadMode;
    const uint32_t rate = (fields & dc::DmDisplayFrequency) != 0 && mode.dmDisplayFrequency > 1 ? mode.dmDisplayFrequency : 0;
    // The mode running now stays, exact rate and all, when the size and
    // whole rate asked for are its own; any other is the first the driver
    // lists, so 59.94 Hz and 60 Hz both listed as 60 give the first of them.
    const bool sameSize = width == currentWidth && height == currentHeight;
    if (rate != 0) {
        if (!lists(target.monitor, width, height, rate))
            return dc::DispChangeBadMode;
        if (!sameSize || rate != state.refreshHz)
            state.vsync = firstListed(target.monitor, width, height, rate)->vsync;
        state.refreshHz = rate;
    } else if (!lists(target.monitor, width, height, state.refreshHz)) {
        // Without a rate the driver keeps the current one if it can, else takes
        // the first one it lists for the size.
        const SimMode* first = firstListed(target.monitor, width, height, 0);
        state.refreshHz = first->refreshHz;
        state.vsync = first->vsync;
    } else if (!sameSize) {
        state.vsync = firstListed(target.monitor, width, height, state.refreshHz)->vsync;
    }
    out = state;
    return dc::DispChangeSuccessful;
}

void SimDisplays::detachTarget(SimTarget& target) {
    if (!target.sourceId)
        return;
    if (const SimSource* source = findSource(*target.sourceId)) {
        // Remembered as the mode to come back with.
        const bool portrait = isPortrait(orientationOf(target.monitor.rotation));
        target.monitor.current.width = portrait ? source->height : source->width;
        target.monitor.current.height = portrait ? source->width : source->height;
        target.monitor.current.refreshHz = source->refreshHz;
    }
    const uint32_t sourceId = *target.sourceId;
    target.sourceId.reset();
    target.gdiCurrent.reset();
    target.monitor.rotation = dc::RotationIdentity;
    dropSourceIfUnused(sourceId);
}

void SimDisplays::applyGdi(uint32_t sourceId, const GdiState& state) {
    SimSource* source = findSource(sourceId);
    if (source == nullptr)
        return;
    if (state.detach) {
        for (SimTarget& t : targets_)
            if (t.sourceId == sourceId)
                detachTarget(t);
        return;
    }
    source->x = state.x;
    source->y = state.y;
    source->width = state.width;
    source->height = state.height;
    source->refreshHz = state.refreshHz;
    for (SimTarget& t : targets_) {
        if (t.sourceId != sourceId)
            continue;
        t.monitor.rotation = state.orientation + 1;
        t.monitor.vsync = state.vsync;
        t.gdiCurrent.reset();
    }
}

int32_t SimDisplays::commitStaged() {
    if (commitError_ != 0)
        return commitError_;  // the staged changes stay in the registry
    std::optional<uint32_t> primary = sourceAtOrigin();
    for (const StagedChange& change : staged_)
        if (change.setPrimary)
            primary = change.sourceId;
    const std::vector<StagedChange> changes = std::move(staged_);
    staged_.clear();
    for (const StagedChange& change : changes)
        applyGdi(change.sourceId, change.state);
    keepPrimaryAtOrigin(primary);
    return dc::DispChangeSuccessful;
}

int32_t SimDisplays::changeDisplaySettings(const std::string* gdiName, const DevMode* mode, uint32_t flags) {
    if (gdiName == nullptr) {
        record(std::string("ChangeDisplaySettingsEx(NULL, ") + (mode != nullptr ? devModeText(*mode) : "NULL") +
               ", " + cdsFlagsText(flags) + ")");
        if (mode != nullptr)
            return dc::DispChangeBadParam;  // changing "the primary display" is not modelled
        return commitStaged();
    }
    record("ChangeDisplaySettingsEx(" + *gdiName + ", " + (mode != nullptr ? devModeText(*mode) : "NULL") + ", " +
           cdsFlagsText(flags) + ")");

    for (ChangeRefusal& refusal : changeRefusals_) {
        if (refusal.gdiName != *gdiName)
            continue;
        const int32_t code = refusal.code;
        if (refusal.remaining > 0 && --refusal.remaining == 0)
            std::erase_if(changeRefusals_, [&](const ChangeRefusal& r) { return r.gdiName == *gdiName; });
        return code;
    }
    if ((flags & dc::CdsNoReset) != 0 && (flags & dc::CdsUpdateRegistry) == 0)
        return dc::DispChangeBadFlags;
    SimSource* source = findSourceByName(*gdiName);
    SimTarget* target = source != nullptr ? firstTargetOnSource(source->id) : nullptr;
    if (target == nullptr)
        return dc::DispChangeBadParam;
    if (mode == nullptr)
        return dc::DispChangeSuccessful;  // back to the registry mode, which it runs

    GdiState state;
    const int32_t rc = resolveRequest(*source, *target, *mode, state);
    if (rc != dc::DispChangeSuccessful)
        return rc;
    const bool setPrimary = (flags & dc::CdsSetPrimary) != 0;
    const uint32_t sourceId = source->id;
    if ((flags & dc::CdsNoReset) != 0) {
        std::erase_if(staged_, [&](const StagedChange& c) { return c.sourceId == sourceId; });
        staged_.push_back({sourceId, state, setPrimary});
        return dc::DispChangeSuccessful;
    }
    const std::optional<uint32_t> primary = setPrimary ? std::optional<uint32_t>(sourceId) : sourceAtOrigin();
    applyGdi(sourceId, state);
    keepPrimaryAtOrigin(primary);
    return dc::DispChangeSuccessful;
}

// --- CCD changes ---------------------------------------------------------------------

int32_t SimDisplays::applyTopology(uint32_t topologyFlag) {
    std::vector<SimTarget*> wanted;
    for (SimTarget& t : targets_) {
        const bool internal = t.monitor.internal;
        if ((topologyFlag == dc::SdcTopologyInternal && internal) ||
            (topologyFlag == dc::SdcTopologyExternal && !internal) || topologyFlag == dc::SdcTopologyClone ||
            topologyFlag == dc::SdcTopologyExtend)
            wanted.push_back(&t);
    }
    if (wanted.empty())
        return ErrorGenFailure;
    const std::optional<uint32_t> primary = sourceAtOrigin();

    if (topologyFlag == dc::SdcTopologyClone) {
        // One source for all, of a size every monitor offers: the primary
        // display's if it can, else the largest common one.
        SimSource shared;
        const SimSource* keep = primary ? findSource(*primary) : nullptr;
        if (keep == nullptr)
            for (SimTarget* t : wanted)
                if (t->sourceId && (keep = findSource(*t->sourceId)) != nullptr)
                    break;
        const auto everyoneLists = [&](uint32_t w, uint32_t h) {
            return std::all_of(wanted.begin(), wanted.end(), [&](SimTarget* t) { return lists(t->monitor, w, h, 0); });
        };
        if (keep != nullptr && everyoneLists(keep->width, keep->height)) {
            shared = *keep;
        } else {
            uint64_t best = 0;
            for (const SimMode& m : wanted.front()->monitor.modes) {
                if (uint64_t(m.width) * m.height > best && everyoneLists(m.width, m.height)) {
                    best = uint64_t(m.width) * m.height;
                    shared = SimSource{keep != nullptr ? keep->id : 0, 0, 0, m.width, m.height, 60};
                }
            }
            if (best == 0)
                return ErrorGenFailure;
        }
        shared.x = 0;
        shared.y = 0;
        for (SimTarget& t : targets_) {
            t.sourceId = shared.id;
            t.monitor.rotation = dc::RotationIdentity;
            t.gdiCurrent.reset();
        }
        sources_ = {shared};
        return dc::ErrorSuccess;
    }

    // Each wanted monitor on a source of its own; the others leave the desktop.
    for (SimTarget& t : targets_)
        if (std::find(wanted.begin(), wanted.end(), &t) == wanted.end())
            detachTarget(t);
    std::vector<uint32_t> owned;
    for (SimTarget* t : wanted) {
        if (t->sourceId && std::find(owned.begin(), owned.end(), *t->sourceId) == owned.end()) {
            owned.push_back(*t->sourceId);
            continue;
        }
        // Detached, or sharing a source with a monitor handled before.
        if (t->sourceId) {
            const SimSource shared = *findSource(*t->sourceId);
            t->monitor.current = {shared.width, shared.height, shared.refreshHz, t->monitor.current.bitsPerPel};
            t->sourceId.reset();
        }
        SimSource source;
        source.id = freeSourceId();
        source.x = rightEdge();
        source.width = t->monitor.current.width;
        source.height = t->monitor.current.height;
        source.refreshHz = t->monitor.current.refreshHz;
        sources_.push_back(source);
        t->sourceId = source.id;
        owned.push_back(source.id);
    }
    keepPrimaryAtOrigin(primary);
    return dc::ErrorSuccess;
}

int32_t SimDisplays::planSupplied(const std::vector<PathInfo>& paths, const std::vector<ModeInfo>& modes,
                                  uint32_t flags, Plan& plan) {
    for (const ModeInfo& mode : modes) {
        if (mode.infoType != dc::ModeInfoTypeSource && mode.infoType != dc::ModeInfoTypeTarget &&
            mode.infoType != dc::ModeInfoTypeDesktopImage)
            return ErrorInvalidParameter;
        if (!(mode.adapterId == Adapter))
            return ErrorInvalidParameter;
    }

    struct Active {
        SimTarget* target;
        uint32_t sourceId;
        uint32_t modeIdx;
        uint32_t rotation;
        uint32_t refreshHz;
        Rational exact;  // the target mode's rate when it has one, else the path's
    };
    std::vector<Active> active;
    for (const PathInfo& path : paths) {
        if ((path.flags & dc::PathActive) == 0)
            continue;
        if (!(path.sourceInfo.adapterId == Adapter) || path.sourceInfo.id >= MaxSources)
            return ErrorInvalidParameter;
        SimTarget* target = findTarget(path.targetInfo.adapterId, path.targetInfo.id);
        if (target == nullptr)
            return ErrorInvalidParameter;
        if (std::any_of(active.begin(), active.end(), [&](const Active& a) { return a.target == target; }))
            return ErrorInvalidParameter;  // one target, two active paths
        const uint32_t idx = path.sourceInfo.modeInfoIdx;
        if (idx == dc::PathModeIdxInvalid) {
            if ((flags & dc::SdcAllowChanges) == 0)
                return ErrorInvalidParameter;
        } else if (idx >= modes.size() || modes[idx].infoType != dc::ModeInfoTypeSource ||
                   modes[idx].id != path.sourceInfo.id) {
            return ErrorInvalidParameter;
        }
        const uint32_t targetIdx = path.targetInfo.modeInfoIdx;
        if (targetIdx != dc::PathModeIdxInvalid &&
            (targetIdx >= modes.size() || modes[targetIdx].infoType != dc::ModeInfoTypeTarget))
            return ErrorInvalidParameter;
        const Rational exact =
            targetIdx != dc::PathModeIdxInvalid ? modes[targetIdx].targetMode.vSyncFreq : path.targetInfo.refreshRate;
        active.push_back({target, path.sourceInfo.id, idx, path.targetInfo.rotation, roundedHz(exact), exact});
    }
    if (active.empty())
        return ErrorInvalidParameter;

    // Sources given with their modes.
    plan = Plan{};
    for (const Active& a : active) {
        if (a.modeIdx == dc::PathModeIdxInvalid)
            continue;
        const auto known = std::find_if(plan.sources.begin(), plan.sources.end(),
                                        [&](const SimSource& s) { return s.id == a.sourceId; });
        const SourceMode& mode = modes[a.modeIdx].sourceMode;
        // The listed mode of the size at exactly the rate asked for; without
        // one, the rate running now if that is the one asked for, else the
        // whole rate nearest to it.
        const SimSource* now = findSource(a.sourceId);
        const bool portrait = a.rotation == dc::Rotation90 || a.rotation == dc::Rotation270;
        const SimMode* listed = nullptr;
        for (const SimMode& m : a.target->monitor.modes)
            if (listed == nullptr && m.width == (portrait ? mode.height : mode.width) &&
                m.height == (portrait ? mode.width : mode.height) && sameRate(exactOf(m), a.exact))
                listed = &m;
        const Rational running = a.target->monitor.vsync.value_or(
            Rational{(now != nullptr ? now->refreshHz : a.target->monitor.current.refreshHz) * 1000, 1000});
        std::optional<Rational> vsync = a.target->monitor.vsync;
        if (listed != nullptr)
            vsync = listed->vsync;
        else if (a.exact.denominator != 0 && !sameRate(a.exact, running))
            vsync.reset();
        plan.vsyncs.emplace_back(a.target->id, vsync);
        if (known != plan.sources.end()) {
            if (known->width != mode.width || known->height != mode.height || known->x != mode.positionX ||
                known->y != mode.positionY)
                return ErrorInvalidParameter;  // one source, two different modes
        } else {
            const uint32_t rate = listed != nullptr ? listed->refreshHz
                                  : a.refreshHz != 0 ? a.refreshHz
                                  : now != nullptr   ? now->refreshHz
                                                     : a.target->monitor.current.refreshHz;
            plan.sources.push_back({a.sourceId, mode.positionX, mode.positionY, mode.width, mode.height, rate});
        }
        plan.targetSources.emplace_back(a.target->id, a.sourceId);
        if (a.rotation >= dc::RotationIdentity && a.rotation <= dc::Rotation270)
            plan.rotations.emplace_back(a.target->id, a.rotation);
    }
    // Sources left to Windows: a free one, right of everything placed.
    for (const Active& a : active) {
        if (a.modeIdx != dc::PathModeIdxInvalid)
            continue;
        const auto used = [&](uint32_t id) {
            return std::any_of(plan.sources.begin(), plan.sources.end(), [&](const SimSource& s) { return s.id == id; });
        };
        uint32_t sourceId = a.sourceId;
        for (uint32_t id = 0; used(sourceId) && id < MaxSources; ++id)
            sourceId = id;
        if (used(sourceId))
            return ErrorGenFailure;  // no free source
        int32_t edge = 0;
        for (const SimSource& s : plan.sources)
            edge = std::max(edge, s.x + int32_t(s.width));
        const SimMode& last = a.target->monitor.current;
        plan.sources.push_back({sourceId, edge, 0, last.width, last.height, last.refreshHz});
        plan.targetSources.emplace_back(a.target->id, sourceId);
    }

    // The driver shows a source on several monitors only at a size each offers.
    for (const auto& [targetId, planned] : plan.targetSources) {
        // A copy: lambdas cannot capture a structured binding before clang 16.
        const uint32_t sourceId = planned;
        const size_t sharing = size_t(std::count_if(plan.targetSources.begin(), plan.targetSources.end(),
                                                    [&](const auto& ts) { return ts.second == sourceId; }));
        if (sharing < 2)
            continue;
        const SimSource& source = *std::find_if(plan.sources.begin(), plan.sources.end(),
                                                [&](const SimSource& s) { return s.id == sourceId; });
        if (!lists(findTarget(Adapter, targetId)->monitor, source.width, source.height, 0) &&
            !lists(findTarget(Adapter, targetId)->monitor, source.height, source.width, 0))
            return ErrorGenFailure;
    }
    return dc::ErrorSuccess;
}

void SimDisplays::applyPlan(const Plan& plan) {
    for (SimTarget& t : targets_) {
        const auto assigned = std::find_if(plan.targetSources.begin(), plan.targetSources.end(),
                                           [&](const auto& ts) { return ts.first == t.id; });
        if (assigned == plan.targetSources.end()) {
            detachTarget(t);
            continue;
        }
        t.sourceId = assigned->second;
        t.gdiCurrent.reset();
        for (const auto& [targetId, rotation] : plan.rotations)
            if (targetId == t.id)
                t.monitor.rotation = rotation;
        for (const auto& [targetId, vsync] : plan.vsyncs)
            if (targetId == t.id)
                t.monitor.vsync = vsync;
    }
    sources_ = plan.sources;
}

int32_t SimDisplays::setDisplayConfig(const std::vector<PathInfo>& paths, const std::vector<ModeInfo>& modes,
                                      uint32_t flags) {
    record(strprintf("SetDisplayConfig(%zu paths, %zu modes, %s)", paths.size(), modes.size(),
                     sdcFlagsText(flags).c_str()));
    lastPaths_ = paths;
    lastModes_ = modes;
    for (const auto& [when, code] : setConfigRefusals_)
        if ((flags & when) == when)
            return code;

    const bool apply = (flags & dc::SdcApply) != 0;
    const bool validate = (flags & dc::SdcValidate) != 0;
    if (apply == validate)
        return ErrorInvalidParameter;
    const uint32_t topologyFlags =
        flags & (dc::SdcTopologyInternal | dc::SdcTopologyClone | dc::SdcTopologyExtend | dc::SdcTopologyExternal);
    const bool supplied = (flags & dc::SdcUseSuppliedDisplayConfig) != 0;

    if (paths.empty() && modes.empty()) {
        // A topology request: exactly one topology, no configuration.
        if (supplied || (topologyFlags & (topologyFlags - 1)) != 0 || topologyFlags == 0)
            return ErrorInvalidParameter;
        if (validate || ignoreTopology_)
            return dc::ErrorSuccess;
        return applyTopology(topologyFlags);
    }
    if (!supplied || topologyFlags != 0)
        return ErrorInvalidParameter;
    Plan plan;
    const int32_t rc = planSupplied(paths, modes, flags, plan);
    if (rc != dc::ErrorSuccess || validate)
        return rc;
    applyPlan(plan);
    return dc::ErrorSuccess;
}

int32_t SimDisplays::setAdvancedColorState(const Luid& adapterId, uint32_t targetId, bool enable) {
    record(strprintf("DisplayConfigSetDeviceInfo(SET_ADVANCED_COLOR_STATE, %u, %s)", targetId,
                     enable ? "enable" : "disable"));
    if (advancedColorError_ != 0)
        return advancedColorError_;
    SimTarget* t = findTarget(adapterId, targetId);
    if (t == nullptr)
        return ErrorInvalidParameter;
    if (!t->monitor.color || !t->monitor.color->advancedColorSupported)
        return ErrorNotSupported;
    const bool switched = t->monitor.color->advancedColorEnabled != enable;
    t->monitor.color->advancedColorEnabled = enable;
    SimSource* source = t->sourceId ? findSource(*t->sourceId) : nullptr;
    if (switched && source != nullptr) {
        // The driver sets the mode again and takes the first rate it lists.
        const bool portrait = isPortrait(orientationOf(t->monitor.rotation));
        if (const SimMode* first = firstListed(t->monitor, portrait ? source->height : source->width,
                                               portrait ? source->width : source->height, 0)) {
            source->refreshHz = first->refreshHz;
            t->monitor.vsync = first->vsync;
            t->gdiCurrent.reset();
        }
    }
    return dc::ErrorSuccess;
}

} // namespace qv::sim
