#include "display/win32/Win32DisplayConfigApi.h"

#include "base/win32/RegistryValueData.h"
#include "base/win32/SystemMessage.h"
#include "base/win32/Utf16.h"
#include "display/win32/CcdRecords.h"

#include <windows.h>
#include <setupapi.h>

#include <vector>

namespace qv {

// mingw's wingdi.h, winuser.h and winerror.h, a second source for every dc:: value.
static_assert(dc::QdcOnlyActivePaths == QDC_ONLY_ACTIVE_PATHS);
static_assert(dc::QdcDatabaseCurrent == QDC_DATABASE_CURRENT);
static_assert(dc::QdcAllPaths == QDC_ALL_PATHS);
static_assert(dc::PathActive == DISPLAYCONFIG_PATH_ACTIVE);
static_assert(dc::PathModeIdxInvalid == DISPLAYCONFIG_PATH_MODE_IDX_INVALID);
static_assert(dc::ModeInfoTypeSource == DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE);
static_assert(dc::ModeInfoTypeTarget == DISPLAYCONFIG_MODE_INFO_TYPE_TARGET);
static_assert(dc::ModeInfoTypeDesktopImage == DISPLAYCONFIG_MODE_INFO_TYPE_DESKTOP_IMAGE);
static_assert(dc::RotationIdentity == DISPLAYCONFIG_ROTATION_IDENTITY);
static_assert(dc::Rotation90 == DISPLAYCONFIG_ROTATION_ROTATE90);
static_assert(dc::Rotation180 == DISPLAYCONFIG_ROTATION_ROTATE180);
static_assert(dc::Rotation270 == DISPLAYCONFIG_ROTATION_ROTATE270);
static_assert(dc::TopologyInternal == DISPLAYCONFIG_TOPOLOGY_INTERNAL);
static_assert(dc::TopologyClone == DISPLAYCONFIG_TOPOLOGY_CLONE);
static_assert(dc::TopologyExtend == DISPLAYCONFIG_TOPOLOGY_EXTEND);
static_assert(dc::TopologyExternal == DISPLAYCONFIG_TOPOLOGY_EXTERNAL);
static_assert(dc::OutputTechnologyInternal == static_cast<uint32_t>(DISPLAYCONFIG_OUTPUT_TECHNOLOGY_INTERNAL));
static_assert(dc::ColorEncodingRgb == DISPLAYCONFIG_COLOR_ENCODING_RGB);
static_assert(dc::ColorEncodingYCbCr444 == DISPLAYCONFIG_COLOR_ENCODING_YCBCR444);
static_assert(dc::ColorEncodingYCbCr422 == DISPLAYCONFIG_COLOR_ENCODING_YCBCR422);
static_assert(dc::ColorEncodingYCbCr420 == DISPLAYCONFIG_COLOR_ENCODING_YCBCR420);
static_assert(dc::ColorEncodingIntensity == DISPLAYCONFIG_COLOR_ENCODING_INTENSITY);
static_assert(dc::ErrorSuccess == ERROR_SUCCESS);
static_assert(dc::ErrorInsufficientBuffer == ERROR_INSUFFICIENT_BUFFER);
static_assert(dc::EnumCurrentSettings == ENUM_CURRENT_SETTINGS);
static_assert(dc::RegBinary == REG_BINARY);
static_assert(dc::SdcTopologyInternal == SDC_TOPOLOGY_INTERNAL);
static_assert(dc::SdcTopologyClone == SDC_TOPOLOGY_CLONE);
static_assert(dc::SdcTopologyExtend == SDC_TOPOLOGY_EXTEND);
static_assert(dc::SdcTopologyExternal == SDC_TOPOLOGY_EXTERNAL);
static_assert(dc::SdcUseSuppliedDisplayConfig == SDC_USE_SUPPLIED_DISPLAY_CONFIG);
static_assert(dc::SdcValidate == SDC_VALIDATE);
static_assert(dc::SdcApply == SDC_APPLY);
static_assert(dc::SdcSaveToDatabase == SDC_SAVE_TO_DATABASE);
static_assert(dc::SdcAllowChanges == SDC_ALLOW_CHANGES);
static_assert(dc::CdsUpdateRegistry == CDS_UPDATEREGISTRY);
static_assert(dc::CdsSetPrimary == CDS_SET_PRIMARY);
static_assert(dc::CdsNoReset == CDS_NORESET);
static_assert(dc::DispChangeSuccessful == DISP_CHANGE_SUCCESSFUL);
static_assert(dc::DispChangeRestart == DISP_CHANGE_RESTART);
static_assert(dc::DispChangeFailed == DISP_CHANGE_FAILED);
static_assert(dc::DispChangeBadMode == DISP_CHANGE_BADMODE);
static_assert(dc::DispChangeNotUpdated == DISP_CHANGE_NOTUPDATED);
static_assert(dc::DispChangeBadFlags == DISP_CHANGE_BADFLAGS);
static_assert(dc::DispChangeBadParam == DISP_CHANGE_BADPARAM);
static_assert(dc::DmPosition == DM_POSITION);
static_assert(dc::DmDisplayOrientation == DM_DISPLAYORIENTATION);
static_assert(dc::DmBitsPerPel == DM_BITSPERPEL);
static_assert(dc::DmPelsWidth == DM_PELSWIDTH);
static_assert(dc::DmPelsHeight == DM_PELSHEIGHT);
static_assert(dc::DmDisplayFlags == DM_DISPLAYFLAGS);
static_assert(dc::DmDisplayFrequency == DM_DISPLAYFREQUENCY);
static_assert(dc::DmDisplayFixedOutput == DM_DISPLAYFIXEDOUTPUT);
static_assert(dc::DmdoDefault == DMDO_DEFAULT && dc::Dmdo90 == DMDO_90 && dc::Dmdo180 == DMDO_180 &&
              dc::Dmdo270 == DMDO_270);

namespace {

// Monitor device setup class {4D36E96E-E325-11CE-BFC1-08002BE10318}
// (learn.microsoft.com, System-Defined Device Setup Classes).
const GUID MonitorClassGuid = {0x4d36e96e, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

template <typename Packet>
void prepare(Packet& packet, DISPLAYCONFIG_DEVICE_INFO_TYPE type, const Luid& adapterId, uint32_t id) {
    ZeroMemory(&packet, sizeof(packet));
    packet.header.type = type;
    packet.header.size = sizeof(packet);
    packet.header.adapterId = toLuid(adapterId);
    packet.header.id = id;
}

DevMode fromNative(const DEVMODEW& devmode) {
    DevMode mode;
    mode.dmFields = devmode.dmFields;
    mode.dmBitsPerPel = devmode.dmBitsPerPel;
    mode.dmPelsWidth = devmode.dmPelsWidth;
    mode.dmPelsHeight = devmode.dmPelsHeight;
    mode.dmDisplayFrequency = devmode.dmDisplayFrequency;
    mode.dmDisplayFlags = devmode.dmDisplayFlags;
    mode.dmPositionX = devmode.dmPosition.x;
    mode.dmPositionY = devmode.dmPosition.y;
    mode.dmDisplayOrientation = devmode.dmDisplayOrientation;
    mode.dmDisplayFixedOutput = devmode.dmDisplayFixedOutput;
    return mode;
}

// A zeroed DEVMODEW with dmSize set, carrying the display fields.
DEVMODEW toNative(const DevMode& mode) {
    DEVMODEW devmode;
    ZeroMemory(&devmode, sizeof(devmode));
    devmode.dmSize = sizeof(devmode);
    devmode.dmFields = mode.dmFields;
    devmode.dmBitsPerPel = mode.dmBitsPerPel;
    devmode.dmPelsWidth = mode.dmPelsWidth;
    devmode.dmPelsHeight = mode.dmPelsHeight;
    devmode.dmDisplayFrequency = mode.dmDisplayFrequency;
    devmode.dmDisplayFlags = mode.dmDisplayFlags;
    devmode.dmPosition.x = mode.dmPositionX;
    devmode.dmPosition.y = mode.dmPositionY;
    devmode.dmDisplayOrientation = mode.dmDisplayOrientation;
    devmode.dmDisplayFixedOutput = mode.dmDisplayFixedOutput;
    return devmode;
}

std::string narrowFixed(const WCHAR* text, size_t capacity) {
    size_t length = 0;
    while (length < capacity && text[length] != L'\0')
        ++length;
    return narrow(std::wstring_view(text, length));
}

class Win32MonitorDeviceSet final : public MonitorDeviceSet {
public:
    explicit Win32MonitorDeviceSet(HDEVINFO set) : set_(set) {}
    ~Win32MonitorDeviceSet() override { SetupDiDestroyDeviceInfoList(set_); }
    Win32MonitorDeviceSet(const Win32MonitorDeviceSet&) = delete;
    Win32MonitorDeviceSet& operator=(const Win32MonitorDeviceSet&) = delete;

    bool enumDevice(uint32_t index) override {
        SP_DEVINFO_DATA data;
        return deviceData(index, data);
    }

    bool instanceId(uint32_t index, std::string& id) override {
        SP_DEVINFO_DATA data;
        if (!deviceData(index, data))
            return false;
        WCHAR buffer[512] = {};
        if (!SetupDiGetDeviceInstanceIdW(set_, &data, buffer, 512, nullptr))
            return false;
        id = narrowFixed(buffer, 512);
        return true;
    }

    bool readEdid(uint32_t index, RegistryValue& value) override {
        SP_DEVINFO_DATA data;
        if (!deviceData(index, data))
            return false;
        HKEY key = SetupDiOpenDevRegKey(set_, &data, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == nullptr || key == INVALID_HANDLE_VALUE)
            return false;
        DWORD type = 0;
        const LSTATUS rc = readValueData(key, L"EDID", type, value.data);
        RegCloseKey(key);
        if (rc != ERROR_SUCCESS)
            return false;
        value.type = type;
        return true;
    }

private:
    bool deviceData(uint32_t index, SP_DEVINFO_DATA& data) {
        ZeroMemory(&data, sizeof(data));
        data.cbSize = sizeof(data);
        return SetupDiEnumDeviceInfo(set_, index, &data) != FALSE;
    }

    HDEVINFO set_;
};

} // namespace

int32_t Win32DisplayConfigApi::getBufferSizes(uint32_t flags, uint32_t& numPaths, uint32_t& numModes) {
    UINT32 paths = 0;
    UINT32 modes = 0;
    const LONG rc = GetDisplayConfigBufferSizes(flags, &paths, &modes);
    numPaths = paths;
    numModes = modes;
    return rc;
}

int32_t Win32DisplayConfigApi::queryConfig(uint32_t flags, uint32_t& numPaths, PathInfo* paths, uint32_t& numModes,
                                           ModeInfo* modes, uint32_t* topologyId) {
    std::vector<DISPLAYCONFIG_PATH_INFO> nativePaths(numPaths);
    std::vector<DISPLAYCONFIG_MODE_INFO> nativeModes(numModes);

    UINT32 pathCount = numPaths;
    UINT32 modeCount = numModes;
    DISPLAYCONFIG_TOPOLOGY_ID topology = DISPLAYCONFIG_TOPOLOGY_ID(0);
    const LONG rc = QueryDisplayConfig(flags, &pathCount, nativePaths.data(), &modeCount, nativeModes.data(),
                                       topologyId != nullptr ? &topology : nullptr);
    if (rc != ERROR_SUCCESS)
        return rc;
    if (pathCount > numPaths)
        pathCount = numPaths;
    if (modeCount > numModes)
        modeCount = numModes;
    for (uint32_t i = 0; i < pathCount; ++i)
        paths[i] = fromNative(nativePaths[i]);
    for (uint32_t i = 0; i < modeCount; ++i)
        modes[i] = fromNative(nativeModes[i]);
    numPaths = pathCount;
    numModes = modeCount;
    if (topologyId != nullptr)
        *topologyId = static_cast<uint32_t>(topology);
    return rc;
}

int32_t Win32DisplayConfigApi::getTargetName(const Luid& adapterId, uint32_t targetId, TargetDeviceName& out) {
    DISPLAYCONFIG_TARGET_DEVICE_NAME packet;
    prepare(packet, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME, adapterId, targetId);
    const LONG rc = DisplayConfigGetDeviceInfo(&packet.header);
    if (rc != ERROR_SUCCESS)
        return rc;
    out.monitorFriendlyDeviceName = narrowFixed(packet.monitorFriendlyDeviceName, 64);
    out.monitorDevicePath = narrowFixed(packet.monitorDevicePath, 128);
    out.edidManufactureId = packet.edidManufactureId;
    out.edidProductCodeId = packet.edidProductCodeId;
    return rc;
}

int32_t Win32DisplayConfigApi::getSourceName(const Luid& adapterId, uint32_t sourceId, SourceDeviceName& out) {
    DISPLAYCONFIG_SOURCE_DEVICE_NAME packet;
    prepare(packet, DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, adapterId, sourceId);
    const LONG rc = DisplayConfigGetDeviceInfo(&packet.header);
    if (rc != ERROR_SUCCESS)
        return rc;
    out.viewGdiDeviceName = narrowFixed(packet.viewGdiDeviceName, CCHDEVICENAME);
    return rc;
}

int32_t Win32DisplayConfigApi::getTargetPreferredMode(const Luid& adapterId, uint32_t targetId,
                                                      TargetPreferredMode& out) {
    DISPLAYCONFIG_TARGET_PREFERRED_MODE packet;
    prepare(packet, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE, adapterId, targetId);
    const LONG rc = DisplayConfigGetDeviceInfo(&packet.header);
    if (rc != ERROR_SUCCESS)
        return rc;
    out.width = packet.width;
    out.height = packet.height;
    out.vSyncFreq = fromRational(packet.targetMode.targetVideoSignalInfo.vSyncFreq);
    return rc;
}

int32_t Win32DisplayConfigApi::getAdvancedColorInfo(const Luid& adapterId, uint32_t targetId,
                                                    AdvancedColorInfo& out) {
    DISPLAYCONFIG_GET_ADVANCED_COLOR_INFO packet;
    prepare(packet, DISPLAYCONFIG_DEVICE_INFO_GET_ADVANCED_COLOR_INFO, adapterId, targetId);
    const LONG rc = DisplayConfigGetDeviceInfo(&packet.header);
    if (rc != ERROR_SUCCESS)
        return rc;
    out.advancedColorSupported = packet.advancedColorSupported != 0;
    out.advancedColorEnabled = packet.advancedColorEnabled != 0;
    out.colorEncoding = static_cast<uint32_t>(packet.colorEncoding);
    out.bitsPerColorChannel = packet.bitsPerColorChannel;
    return rc;
}

bool Win32DisplayConfigApi::enumDisplaySettings(const std::string& gdiName, uint32_t modeNum, DevMode& mode) {
    DEVMODEW devmode;
    ZeroMemory(&devmode, sizeof(devmode));
    devmode.dmSize = sizeof(devmode);
    const std::wstring device = widen(gdiName);
    if (!EnumDisplaySettingsExW(device.c_str(), modeNum, &devmode, 0))
        return false;
    mode = fromNative(devmode);
    return true;
}

int32_t Win32DisplayConfigApi::changeDisplaySettings(const std::string* gdiName, const DevMode* mode, uint32_t flags) {
    const std::wstring device = gdiName != nullptr ? widen(*gdiName) : std::wstring();
    DEVMODEW devmode = toNative(mode != nullptr ? *mode : DevMode{});
    return ChangeDisplaySettingsExW(gdiName != nullptr ? device.c_str() : nullptr, mode != nullptr ? &devmode : nullptr,
                                    nullptr, flags, nullptr);
}

int32_t Win32DisplayConfigApi::setDisplayConfig(const std::vector<PathInfo>& paths, const std::vector<ModeInfo>& modes,
                                                uint32_t flags) {
    std::vector<DISPLAYCONFIG_PATH_INFO> nativePaths;
    nativePaths.reserve(paths.size());
    for (const PathInfo& path : paths)
        nativePaths.push_back(toNative(path));
    std::vector<DISPLAYCONFIG_MODE_INFO> nativeModes;
    nativeModes.reserve(modes.size());
    for (const ModeInfo& mode : modes)
        nativeModes.push_back(toNative(mode));
    return SetDisplayConfig(static_cast<UINT32>(nativePaths.size()), nativePaths.empty() ? nullptr : nativePaths.data(),
                            static_cast<UINT32>(nativeModes.size()), nativeModes.empty() ? nullptr : nativeModes.data(),
                            flags);
}

int32_t Win32DisplayConfigApi::setAdvancedColorState(const Luid& adapterId, uint32_t targetId, bool enable) {
    DISPLAYCONFIG_SET_ADVANCED_COLOR_STATE packet;
    prepare(packet, DISPLAYCONFIG_DEVICE_INFO_SET_ADVANCED_COLOR_STATE, adapterId, targetId);
    packet.value = 0;
    packet.enableAdvancedColor = enable ? 1 : 0;
    return DisplayConfigSetDeviceInfo(&packet.header);
}

std::unique_ptr<MonitorDeviceSet> Win32DisplayConfigApi::openMonitorDevices() {
    HDEVINFO set = SetupDiGetClassDevsW(&MonitorClassGuid, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::make_unique<Win32MonitorDeviceSet>(set);
}

std::string Win32DisplayConfigApi::formatSystemMessage(uint32_t code) {
    return systemMessage(code);
}

} // namespace qv
