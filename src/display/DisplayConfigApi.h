#pragma once
#include "display/Luid.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qv {

// Windows display configuration constants, with their documented values so an
// adapter can pass them straight through.
namespace dc {

// winerror.h values, learn.microsoft.com "System Error Codes (0-499)".
inline constexpr int32_t ErrorSuccess = 0;
inline constexpr int32_t ErrorInsufficientBuffer = 122;

// QueryDisplayConfig / GetDisplayConfigBufferSizes flags (wingdi.h,
// learn.microsoft.com "QueryDisplayConfig function").
inline constexpr uint32_t QdcAllPaths = 0x1;
inline constexpr uint32_t QdcOnlyActivePaths = 0x2;
inline constexpr uint32_t QdcDatabaseCurrent = 0x4;

// Path flags and mode indices (learn.microsoft.com "DISPLAYCONFIG_PATH_INFO structure").
inline constexpr uint32_t PathActive = 0x1;
inline constexpr uint32_t PathModeIdxInvalid = 0xFFFFFFFF;

// Mode record types (learn.microsoft.com "DISPLAYCONFIG_MODE_INFO_TYPE enumeration").
inline constexpr uint32_t ModeInfoTypeSource = 1;
inline constexpr uint32_t ModeInfoTypeTarget = 2;
inline constexpr uint32_t ModeInfoTypeDesktopImage = 3;

// Target rotations (learn.microsoft.com "DISPLAYCONFIG_ROTATION enumeration").
inline constexpr uint32_t RotationIdentity = 1;
inline constexpr uint32_t Rotation90 = 2;
inline constexpr uint32_t Rotation180 = 3;
inline constexpr uint32_t Rotation270 = 4;

// Topology ids (learn.microsoft.com "DISPLAYCONFIG_TOPOLOGY_ID enumeration").
inline constexpr uint32_t TopologyInternal = 0x1;
inline constexpr uint32_t TopologyClone = 0x2;
inline constexpr uint32_t TopologyExtend = 0x4;
inline constexpr uint32_t TopologyExternal = 0x8;

// Output technology of an internal panel (learn.microsoft.com
// "DISPLAYCONFIG_VIDEO_OUTPUT_TECHNOLOGY enumeration").
inline constexpr uint32_t OutputTechnologyInternal = 0x80000000;

// Advanced colour encodings (learn.microsoft.com "DISPLAYCONFIG_COLOR_ENCODING enumeration").
inline constexpr uint32_t ColorEncodingRgb = 0;
inline constexpr uint32_t ColorEncodingYCbCr444 = 1;
inline constexpr uint32_t ColorEncodingYCbCr422 = 2;
inline constexpr uint32_t ColorEncodingYCbCr420 = 3;
inline constexpr uint32_t ColorEncodingIntensity = 4;

// EnumDisplaySettingsEx mode number of the current mode (winuser.h,
// learn.microsoft.com "EnumDisplaySettingsExW function").
inline constexpr uint32_t EnumCurrentSettings = 0xFFFFFFFF;

// Registry value type of binary data (winnt.h, learn.microsoft.com "Registry Value Types").
inline constexpr uint32_t RegBinary = 3;

// SetDisplayConfig flags (wingdi.h, learn.microsoft.com "SetDisplayConfig function").
inline constexpr uint32_t SdcTopologyInternal = 0x00000001;
inline constexpr uint32_t SdcTopologyClone = 0x00000002;
inline constexpr uint32_t SdcTopologyExtend = 0x00000004;
inline constexpr uint32_t SdcTopologyExternal = 0x00000008;
inline constexpr uint32_t SdcUseSuppliedDisplayConfig = 0x00000020;
inline constexpr uint32_t SdcValidate = 0x00000040;
inline constexpr uint32_t SdcApply = 0x00000080;
inline constexpr uint32_t SdcSaveToDatabase = 0x00000200;
inline constexpr uint32_t SdcAllowChanges = 0x00000400;

// ChangeDisplaySettingsEx flags and results (winuser.h, learn.microsoft.com
// "ChangeDisplaySettingsExW function").
inline constexpr uint32_t CdsUpdateRegistry = 0x00000001;
inline constexpr uint32_t CdsSetPrimary = 0x00000010;
inline constexpr uint32_t CdsNoReset = 0x10000000;

// ChangeDisplaySettingsEx results.
inline constexpr int32_t DispChangeSuccessful = 0;
inline constexpr int32_t DispChangeRestart = 1;
inline constexpr int32_t DispChangeFailed = -1;
inline constexpr int32_t DispChangeBadMode = -2;
inline constexpr int32_t DispChangeNotUpdated = -3;
inline constexpr int32_t DispChangeBadFlags = -4;
inline constexpr int32_t DispChangeBadParam = -5;

// DEVMODE dmFields bits of the display members and the dmDisplayOrientation
// values (wingdi.h, learn.microsoft.com "DEVMODEW structure").
inline constexpr uint32_t DmPosition = 0x00000020;
inline constexpr uint32_t DmDisplayOrientation = 0x00000080;
inline constexpr uint32_t DmBitsPerPel = 0x00040000;
inline constexpr uint32_t DmPelsWidth = 0x00080000;
inline constexpr uint32_t DmPelsHeight = 0x00100000;
inline constexpr uint32_t DmDisplayFlags = 0x00200000;
inline constexpr uint32_t DmDisplayFrequency = 0x00400000;
inline constexpr uint32_t DmDisplayFixedOutput = 0x20000000;

// dmDisplayOrientation values.
inline constexpr uint32_t DmdoDefault = 0;
inline constexpr uint32_t Dmdo90 = 1;
inline constexpr uint32_t Dmdo180 = 2;
inline constexpr uint32_t Dmdo270 = 3;

} // namespace dc

struct Rational {
    uint32_t numerator = 0;
    uint32_t denominator = 0;
};

// DISPLAYCONFIG_PATH_INFO. Held whole (not only the fields enumeration reads)
// because configuration writes hand queried path lists back to Windows.
struct PathSourceInfo {
    Luid adapterId;
    uint32_t id = 0;
    uint32_t modeInfoIdx = 0;
    uint32_t statusFlags = 0;
};

struct PathTargetInfo {
    Luid adapterId;
    uint32_t id = 0;
    uint32_t modeInfoIdx = 0;
    uint32_t outputTechnology = 0;
    uint32_t rotation = 0;
    uint32_t scaling = 0;
    Rational refreshRate;
    uint32_t scanLineOrdering = 0;
    bool targetAvailable = false;
    uint32_t statusFlags = 0;
};

struct PathInfo {
    PathSourceInfo sourceInfo;
    PathTargetInfo targetInfo;
    uint32_t flags = 0;
};

// DISPLAYCONFIG_MODE_INFO. Windows stores the source and target parts in a
// union selected by infoType; here both are plain members and only the one
// named by infoType carries meaning.
struct SourceMode {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t pixelFormat = 0;
    int32_t positionX = 0;
    int32_t positionY = 0;
};

struct VideoSignalInfo {
    uint64_t pixelRate = 0;
    Rational hSyncFreq;
    Rational vSyncFreq;
    uint32_t activeWidth = 0;
    uint32_t activeHeight = 0;
    uint32_t totalWidth = 0;
    uint32_t totalHeight = 0;
    uint32_t videoStandard = 0;
    uint32_t scanLineOrdering = 0;
};

struct ModeInfo {
    uint32_t infoType = 0;
    uint32_t id = 0;
    Luid adapterId;
    SourceMode sourceMode;
    VideoSignalInfo targetMode;
};

// DISPLAYCONFIG_TARGET_DEVICE_NAME, the fields read from it.
struct TargetDeviceName {
    std::string monitorFriendlyDeviceName;
    std::string monitorDevicePath;
    uint16_t edidManufactureId = 0;
    uint16_t edidProductCodeId = 0;
};

// DISPLAYCONFIG_SOURCE_DEVICE_NAME.
struct SourceDeviceName {
    std::string viewGdiDeviceName;
};

// DISPLAYCONFIG_TARGET_PREFERRED_MODE, the fields read from it.
struct TargetPreferredMode {
    uint32_t width = 0;
    uint32_t height = 0;
    Rational vSyncFreq;
};

// DISPLAYCONFIG_GET_ADVANCED_COLOR_INFO, the fields read from it.
struct AdvancedColorInfo {
    bool advancedColorSupported = false;
    bool advancedColorEnabled = false;
    uint32_t colorEncoding = 0;
    uint32_t bitsPerColorChannel = 0;
};

// DEVMODEW, the display fields.
struct DevMode {
    uint32_t dmFields = 0;
    uint32_t dmBitsPerPel = 0;
    uint32_t dmPelsWidth = 0;
    uint32_t dmPelsHeight = 0;
    uint32_t dmDisplayFrequency = 0;
    uint32_t dmDisplayFlags = 0;
    int32_t dmPositionX = 0;
    int32_t dmPositionY = 0;
    uint32_t dmDisplayOrientation = 0;
    uint32_t dmDisplayFixedOutput = 0;
};

// A registry value as read: its type and the bytes returned.
struct RegistryValue {
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

// An open device information set holding the present monitor devices
// (SetupDiGetClassDevs of the monitor setup class). Destroying the object
// destroys the set.
class MonitorDeviceSet {
public:
    virtual ~MonitorDeviceSet() = default;

    // SetupDiEnumDeviceInfo: false once index is past the last device.
    virtual bool enumDevice(uint32_t index) = 0;
    // SetupDiGetDeviceInstanceIdW into a 512-character buffer, as UTF-8.
    virtual bool instanceId(uint32_t index, std::string& id) = 0;
    // Opens the device's hardware key (DICS_FLAG_GLOBAL, profile 0, DIREG_DEV,
    // KEY_READ), reads the whole value "EDID" (whatever its size: 128 bytes,
    // 256 with one extension block, 384 or 512 with DisplayID data) and closes
    // the key. False when the key cannot be opened or the value cannot be read.
    virtual bool readEdid(uint32_t index, RegistryValue& value) = 0;
};

// The Windows display configuration: CCD queries, GDI mode enumeration, the
// monitor devices with their EDID blocks, and system error texts. Return codes
// are Windows error codes (dc::ErrorSuccess on success).
class DisplayConfigApi {
public:
    virtual ~DisplayConfigApi() = default;

    // GetDisplayConfigBufferSizes.
    virtual int32_t getBufferSizes(uint32_t flags, uint32_t& numPaths, uint32_t& numModes) = 0;
    // QueryDisplayConfig. numPaths and numModes give the capacity of the arrays
    // on entry and the number of records filled on return. topologyId may be null.
    virtual int32_t queryConfig(uint32_t flags, uint32_t& numPaths, PathInfo* paths, uint32_t& numModes,
                                ModeInfo* modes, uint32_t* topologyId) = 0;

    // DisplayConfigGetDeviceInfo requests.
    virtual int32_t getTargetName(const Luid& adapterId, uint32_t targetId, TargetDeviceName& out) = 0;
    virtual int32_t getSourceName(const Luid& adapterId, uint32_t sourceId, SourceDeviceName& out) = 0;
    virtual int32_t getTargetPreferredMode(const Luid& adapterId, uint32_t targetId, TargetPreferredMode& out) = 0;
    virtual int32_t getAdvancedColorInfo(const Luid& adapterId, uint32_t targetId, AdvancedColorInfo& out) = 0;

    // EnumDisplaySettingsExW with flags 0; modeNum may be dc::EnumCurrentSettings.
    virtual bool enumDisplaySettings(const std::string& gdiName, uint32_t modeNum, DevMode& mode) = 0;

    // ChangeDisplaySettingsExW(device, mode, NULL, flags, NULL), returning its
    // DISP_CHANGE_* code. A null gdiName or mode is passed as NULL: both null
    // with flags 0 applies the changes staged with dc::CdsNoReset.
    virtual int32_t changeDisplaySettings(const std::string* gdiName, const DevMode* mode, uint32_t flags) = 0;

    // SetDisplayConfig with the given lists; empty lists are passed as NULL
    // arrays (the topology requests).
    virtual int32_t setDisplayConfig(const std::vector<PathInfo>& paths, const std::vector<ModeInfo>& modes,
                                     uint32_t flags) = 0;

    // DisplayConfigSetDeviceInfo with a DISPLAYCONFIG_SET_ADVANCED_COLOR_STATE
    // request for the target: enableAdvancedColor = enable, other bits 0.
    virtual int32_t setAdvancedColorState(const Luid& adapterId, uint32_t targetId, bool enable) = 0;

    // The present devices of the monitor setup class; null when the class
    // cannot be opened.
    virtual std::unique_ptr<MonitorDeviceSet> openMonitorDevices() = 0;

    // FormatMessageW from the system table, ignoring inserts, language 0x400,
    // converted to UTF-8; empty when there is no message.
    virtual std::string formatSystemMessage(uint32_t code) = 0;
};

} // namespace qv
