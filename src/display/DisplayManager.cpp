#include "display/DisplayManager.h"

#include "base/ErrorText.h"
#include "base/Log.h"
#include "base/StrPrintf.h"
#include "display/DisplayKey.h"
#include "display/DisplaySettings.h"
#include "display/DisplayTopology.h"
#include "display/Edid.h"
#include "display/ResolutionPush.h"

#include <cctype>

namespace qv {

namespace {

// A configuration can change between the size query and the query itself
// (a monitor plugged in); each retry starts again with fresh sizes.
constexpr int MaxQueryAttempts = 5;

constexpr const char* GenericMonitorName = "Generic PnP Monitor";

uint32_t roundedHz(const Rational& rate) {
    if (rate.denominator == 0)
        return 0;
    // numerator / denominator + 1/2, truncated, in exact integer arithmetic.
    const uint64_t twice = 2ull * rate.numerator + rate.denominator;
    return static_cast<uint32_t>(twice / (2ull * rate.denominator));
}

uint32_t orientationFromRotation(uint32_t rotation) {
    switch (rotation) {
    case dc::RotationIdentity: return 0;
    case dc::Rotation90: return 1;
    case dc::Rotation180: return 2;
    case dc::Rotation270: return 3;
    default: return 0;
    }
}

std::string colorEncodingName(uint32_t encoding) {
    switch (encoding) {
    case dc::ColorEncodingRgb: return "RGB";
    case dc::ColorEncodingYCbCr444: return "YCbCr 4:4:4";
    case dc::ColorEncodingYCbCr422: return "YCbCr 4:2:2";
    case dc::ColorEncodingYCbCr420: return "YCbCr 4:2:0";
    default: return "Intensity";
    }
}

void toUpper(std::string& text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

// \\?\DISPLAY#ABC1234#5&1a2b3c&0&UID4353#{class} -> DISPLAY\ABC1234\5&1A2B3C&0&UID4353,
// the monitor's device instance id.
std::string instanceIdFromDevicePath(const std::string& devicePath) {
    std::string path = devicePath;
    static const std::string marker = "\\\\?\\";
    const size_t markerAt = path.find(marker);
    if (markerAt != std::string::npos)
        path.erase(0, markerAt + marker.size());
    const size_t classAt = path.find("#{");
    if (classAt != std::string::npos)
        path.resize(classAt);
    for (char& c : path)
        if (c == '#')
            c = '\\';
    toUpper(path);
    return path;
}

// Fills what the target name request reports into the identity.
bool readTargetName(DisplayConfigApi& api, const Luid& adapterId, uint32_t targetId, TargetDeviceName& name,
                    MonitorIdentity& identity) {
    if (api.getTargetName(adapterId, targetId, name) != dc::ErrorSuccess)
        return false;
    identity.monitorName = name.monitorFriendlyDeviceName;
    identity.devicePath = name.monitorDevicePath;
    identity.manufacturer = manufacturerLetters(name.edidManufactureId);
    identity.productCode = name.edidProductCodeId;
    return true;
}

} // namespace

DisplayManager::DisplayManager(DisplayConfigApi& api) : api_(api) {}

int32_t DisplayManager::queryConfig(uint32_t flags, std::vector<PathInfo>& paths, std::vector<ModeInfo>& modes,
                                    uint32_t* topologyId, QueryStage& failedStage) {
    int32_t rc = dc::ErrorSuccess;
    for (int attempt = 1; attempt <= MaxQueryAttempts; ++attempt) {
        uint32_t numPaths = 0;
        uint32_t numModes = 0;
        rc = api_.getBufferSizes(flags, numPaths, numModes);
        if (rc != dc::ErrorSuccess) {
            failedStage = QueryStage::BufferSizes;
            break;
        }
        paths.assign(numPaths, PathInfo{});
        modes.assign(numModes, ModeInfo{});
        rc = api_.queryConfig(flags, numPaths, paths.data(), numModes, modes.data(), topologyId);
        if (rc == dc::ErrorSuccess) {
            paths.resize(numPaths < paths.size() ? numPaths : paths.size());
            modes.resize(numModes < modes.size() ? numModes : modes.size());
            return rc;
        }
        failedStage = QueryStage::Query;
        if (rc != dc::ErrorInsufficientBuffer)
            break;
    }
    paths.clear();
    modes.clear();
    return rc;
}

bool DisplayManager::queryActivePaths(std::vector<PathInfo>& paths, std::vector<ModeInfo>& modes) {
    QueryStage stage = QueryStage::Query;
    const int32_t rc = queryConfig(dc::QdcOnlyActivePaths, paths, modes, nullptr, stage);
    if (rc == dc::ErrorSuccess)
        return true;
    const std::string text = errorText(static_cast<uint32_t>(rc));
    if (stage == QueryStage::BufferSizes)
        log::logf(log::Error, "GetDisplayConfigBufferSizes failed: %s", text.c_str());
    else
        log::logf(log::Error, "QueryDisplayConfig failed: %s", text.c_str());
    return false;
}

std::vector<DisplayInfo> DisplayManager::enumerate() { return tryEnumerate().value_or(std::vector<DisplayInfo>{}); }

std::optional<std::vector<DisplayInfo>> DisplayManager::tryEnumerate() {
    std::vector<PathInfo> paths;
    std::vector<ModeInfo> modeList;
    if (!queryActivePaths(paths, modeList)) {
        cache_.clear();
        return std::nullopt;
    }

    std::vector<DisplayInfo> displays;
    std::vector<KeyedTarget> identities;
    for (const PathInfo& path : paths) {
        if ((path.flags & dc::PathActive) == 0)
            continue;

        DisplayInfo info;
        info.active = true;
        info.sourceId = path.sourceInfo.id;
        info.targetId = path.targetInfo.id;
        info.adapterId = path.targetInfo.adapterId;
        info.orientation = orientationFromRotation(path.targetInfo.rotation);

        const uint32_t sourceMode = path.sourceInfo.modeInfoIdx;
        if (sourceMode != dc::PathModeIdxInvalid && sourceMode < modeList.size() &&
            modeList[sourceMode].infoType == dc::ModeInfoTypeSource) {
            const SourceMode& source = modeList[sourceMode].sourceMode;
            info.width = source.width;
            info.height = source.height;
            info.posX = source.positionX;
            info.posY = source.positionY;
            info.primary = source.positionX == 0 && source.positionY == 0;
        }
        // The exact rate: the target mode's vertical sync where the path has
        // a target mode (Windows uses that one), else the path's own rate.
        Rational exact = path.targetInfo.refreshRate;
        const uint32_t targetMode = path.targetInfo.modeInfoIdx;
        if (targetMode != dc::PathModeIdxInvalid && targetMode < modeList.size() &&
            modeList[targetMode].infoType == dc::ModeInfoTypeTarget &&
            modeList[targetMode].targetMode.vSyncFreq.denominator != 0)
            exact = modeList[targetMode].targetMode.vSyncFreq;
        info.refreshRate = RefreshRate{exact.numerator, exact.denominator};
        info.refreshHz = roundedHz(path.targetInfo.refreshRate);

        MonitorIdentity identity;
        TargetDeviceName targetName;
        if (readTargetName(api_, path.targetInfo.adapterId, path.targetInfo.id, targetName, identity))
            info.name = targetName.monitorFriendlyDeviceName;

        SourceDeviceName sourceName;
        if (api_.getSourceName(path.sourceInfo.adapterId, path.sourceInfo.id, sourceName) == dc::ErrorSuccess)
            info.gdiName = sourceName.viewGdiDeviceName;

        if (!info.gdiName.empty()) {
            DevMode current;
            if (api_.enumDisplaySettings(info.gdiName, dc::EnumCurrentSettings, current)) {
                info.width = current.dmPelsWidth;
                info.height = current.dmPelsHeight;
                info.refreshHz = current.dmDisplayFrequency;
            }
        }

        enrichFromEdid(identity.devicePath, identity);

        if ((info.name.empty() || info.name == GenericMonitorName) && !identity.monitorName.empty())
            info.name = identity.monitorName;
        if (info.name.empty())
            info.name = info.gdiName;

        TargetPreferredMode preferred;
        if (api_.getTargetPreferredMode(path.targetInfo.adapterId, path.targetInfo.id, preferred) ==
            dc::ErrorSuccess) {
            info.preferred.width = preferred.width;
            info.preferred.height = preferred.height;
            info.preferred.refreshHz = roundedHz(preferred.vSyncFreq);
            info.preferred.valid = true;
        }

        AdvancedColorInfo color;
        if (api_.getAdvancedColorInfo(path.targetInfo.adapterId, path.targetInfo.id, color) == dc::ErrorSuccess) {
            info.hdrSupported = color.advancedColorSupported;
            info.hdrEnabled = color.advancedColorEnabled;
            info.bitsPerColor = color.bitsPerColorChannel;
            info.colorEncoding = colorEncodingName(color.colorEncoding);
        }

        displays.push_back(std::move(info));
        identities.push_back(KeyedTarget{std::move(identity), path.targetInfo.id});
    }

    const std::vector<DistinctKey> keys = distinctDisplayKeys(identities);
    for (size_t i = 0; i < displays.size(); ++i) {
        displays[i].key = keys[i].key;
        displays[i].sharedKey = keys[i].sharedKey;
    }
    cache_ = displays;
    return displays;
}

bool DisplayManager::enrichFromEdid(const std::string& devicePath, MonitorIdentity& identity) {
    if (devicePath.empty())
        return false;
    const std::string wanted = instanceIdFromDevicePath(devicePath);

    std::unique_ptr<MonitorDeviceSet> devices = api_.openMonitorDevices();
    if (!devices) {
        log::write(log::Warn, "enrichFromEdid: SetupDiGetClassDevs failed");
        return false;
    }
    // The monitor whose instance id is the wanted one; only when none is,
    // the first whose id contains it. "...&UID4352" lies inside "...&UID43520":
    // taking the first that contains it would give a monitor the EDID of
    // another, depending on the order the devices are listed in.
    for (const bool exact : {true, false}) {
        for (uint32_t index = 0; devices->enumDevice(index); ++index) {
            std::string instanceId;
            if (!devices->instanceId(index, instanceId))
                continue;
            toUpper(instanceId);
            if (wanted.empty() || (exact ? instanceId != wanted : instanceId.find(wanted) == std::string::npos))
                continue;
            RegistryValue edid;
            if (devices->readEdid(index, edid) && edid.type == dc::RegBinary && edid.data.size() >= EdidBlockSize &&
                parseEdid(edid.data.data(), edid.data.size(), identity))
                return true;
        }
    }
    return false;
}

std::optional<DisplayInfo> DisplayManager::find(const std::string& key) const {
    if (const DisplayInfo* info = findCached(key))
        return *info;
    return std::nullopt;
}

std::optional<DisplayInfo> DisplayManager::findOrEnumerate(const std::string& key) {
    if (const DisplayInfo* info = findCached(key))
        return *info;
    enumerate();
    return find(key);
}

const DisplayInfo* DisplayManager::findCached(const std::string& key) const { return findByKey(cache_, key); }

std::vector<DisplayMode> DisplayManager::modes(const std::string& key) {
    const DisplayInfo* info = findCached(key);
    if ((info == nullptr || info->gdiName.empty()) && cache_.empty()) {
        enumerate();
        info = findCached(key);
    }
    if (info == nullptr || info->gdiName.empty())
        return {};

    const std::string gdiName = info->gdiName;
    std::vector<DisplayMode> list;
    DevMode mode;
    for (uint32_t i = 0; api_.enumDisplaySettings(gdiName, i, mode); ++i) {
        const DisplayMode entry{mode.dmPelsWidth, mode.dmPelsHeight, mode.dmDisplayFrequency};
        if (list.empty() || !(list.back() == entry))
            list.push_back(entry);
        mode = DevMode{};
    }
    return list;
}

std::string DisplayManager::primaryKey() {
    if (cache_.empty())
        enumerate();
    for (const DisplayInfo& info : cache_)
        if (info.primary)
            return info.key;
    return std::string();
}

Projection DisplayManager::currentProjection() {
    std::vector<PathInfo> paths;
    std::vector<ModeInfo> modeList;
    uint32_t topology = 0;
    QueryStage stage = QueryStage::Query;
    if (queryConfig(dc::QdcDatabaseCurrent, paths, modeList, &topology, stage) != dc::ErrorSuccess)
        return Projection::Unknown;
    switch (topology) {
    case dc::TopologyInternal: return Projection::Internal;
    case dc::TopologyClone: return Projection::Clone;
    case dc::TopologyExtend: return Projection::Extend;
    case dc::TopologyExternal: return Projection::External;
    default: return Projection::Unknown;
    }
}

std::string DisplayManager::keyForTarget(const Luid& adapterId, uint32_t targetId) {
    MonitorIdentity identity;
    TargetDeviceName targetName;
    readTargetName(api_, adapterId, targetId, targetName, identity);
    enrichFromEdid(identity.devicePath, identity);
    return displayKey(identity);
}

std::vector<DisplayManager::TargetKey> DisplayManager::targetKeys(const std::vector<PathInfo>& paths, bool activeOnly) {
    std::vector<TargetKey> targets;
    std::vector<KeyedTarget> identities;
    for (const PathInfo& path : paths) {
        if (activeOnly && (path.flags & dc::PathActive) == 0)
            continue;
        const Luid& adapterId = path.targetInfo.adapterId;
        const uint32_t targetId = path.targetInfo.id;
        bool seen = false;
        for (const TargetKey& target : targets)
            seen = seen || (target.adapterId == adapterId && target.targetId == targetId);
        if (seen)
            continue;
        MonitorIdentity identity;
        TargetDeviceName targetName;
        if (!readTargetName(api_, adapterId, targetId, targetName, identity))
            continue;
        enrichFromEdid(identity.devicePath, identity);
        targets.push_back(TargetKey{adapterId, targetId, {}, {}});
        identities.push_back(KeyedTarget{std::move(identity), targetId});
    }
    const std::vector<DistinctKey> keys = distinctDisplayKeys(identities);
    for (size_t i = 0; i < targets.size(); ++i) {
        targets[i].key = keys[i].key;
        targets[i].sharedKey = keys[i].sharedKey;
    }
    return targets;
}

std::string DisplayManager::errorText(uint32_t code) const { return errorLine(api_.formatSystemMessage(code), code); }

std::vector<DisplayPlacement> DisplayManager::placementSnapshot() {
    std::vector<DisplayPlacement> placements;
    for (const DisplayInfo& info : enumerate()) {
        DisplayPlacement placement;
        placement.key = info.key;
        placement.x = info.posX;
        placement.y = info.posY;
        placement.width = info.width;
        placement.height = info.height;
        placement.refreshHz = info.refreshHz;
        placement.orientation = info.orientation;
        placement.primary = info.primary;
        placement.refreshRate = info.refreshRate;
        if (info.hdrSupported)
            placement.hdr = info.hdrEnabled;
        placements.push_back(std::move(placement));
    }
    return placements;
}

// --- Operations ------------------------------------------------------------------

ActionResult DisplayManager::setMode(const std::string& key, uint32_t width, uint32_t height, uint32_t refreshHz) {
    return DisplaySettings(*this, api_).setMode(key, width, height, refreshHz);
}

ActionResult DisplayManager::setRefreshRate(const std::string& key, uint32_t refreshHz) {
    return DisplaySettings(*this, api_).setRefreshRate(key, refreshHz);
}

ActionResult DisplayManager::setOrientation(const std::string& key, uint32_t orientation) {
    return DisplaySettings(*this, api_).setOrientation(key, orientation);
}

ActionResult DisplayManager::rotateNext(const std::string& key) { return DisplaySettings(*this, api_).rotateNext(key); }

ActionResult DisplayManager::setPrimary(const std::string& key) { return DisplaySettings(*this, api_).setPrimary(key); }

ActionResult DisplayManager::setHdr(const std::string& key, bool enable) {
    return DisplaySettings(*this, api_).setHdr(key, enable);
}

ActionResult DisplayManager::setProjection(Projection mode) { return DisplayTopology(*this, api_).setProjection(mode); }

ActionResult DisplayManager::setEnabled(const std::string& key, bool enable) {
    return DisplayTopology(*this, api_).setEnabled(key, enable);
}

ActionResult DisplayManager::mirrorDisplays(const std::vector<std::string>& keys) {
    return DisplayTopology(*this, api_).mirrorDisplays(keys);
}

ActionResult DisplayManager::flipArrangement() { return DisplayTopology(*this, api_).flipArrangement(); }

ActionResult DisplayManager::applyArrangement(const std::vector<DisplayPlacement>& placements) {
    return DisplayTopology(*this, api_).applyArrangement(placements);
}

ActionResult DisplayManager::pushMaxModes() { return ResolutionPush(*this).pushMaxModes(); }

ActionResult DisplayManager::pushNativeModes() { return ResolutionPush(*this).pushNativeModes(); }

ActionResult DisplayManager::pushResolution(uint32_t width, uint32_t height) {
    return ResolutionPush(*this).pushResolution(width, height);
}

} // namespace qv
