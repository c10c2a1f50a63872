#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace qv {

// One device information set of SetupAPI, walked by index; destroying it
// destroys the set (SetupDiDestroyDeviceInfoList).
class DeviceSet {
public:
    // Registry properties of a device (SPDRP_*; Microsoft Learn,
    // "SetupDiGetDeviceRegistryPropertyW function (setupapi.h)").
    static constexpr uint32_t kDeviceDesc = 0x00;
    static constexpr uint32_t kFriendlyName = 0x0C;
    // Device node status bit DN_HAS_PROBLEM and problem code CM_PROB_DISABLED
    // (Microsoft Learn, "Device Manager error messages": code 22; cfg.h).
    static constexpr uint32_t kDnHasProblem = 0x00000400;
    static constexpr uint32_t kProblemDisabled = 0x00000016;

    virtual ~DeviceSet() = default;

    // SetupDiEnumDeviceInfo: false once the index is past the last device.
    virtual bool exists(uint32_t index) = 0;
    // SetupDiGetDeviceInstanceIdW into 200 characters; empty on failure.
    virtual std::string instanceId(uint32_t index) = 0;
    // SetupDiGetDeviceRegistryPropertyW into 1024 bytes, as text; false on failure.
    virtual bool property(uint32_t index, uint32_t property, std::string& text) = 0;
    // CM_Get_DevNode_Status of the device's node; false when the query fails
    // (as it does for a device that is not plugged in).
    virtual bool nodeStatus(uint32_t index, uint32_t& status, uint32_t& problem) = 0;
    // SP_DEVINSTALL_PARAMS.Flags set by a class installer that could not
    // finish a change at once (Microsoft Learn, "SP_DEVINSTALL_PARAMS_W
    // structure (setupapi.h)": DI_NEEDRESTART 0x80, DI_NEEDREBOOT 0x100).
    static constexpr uint32_t kDiNeedRestart = 0x00000080;
    static constexpr uint32_t kDiNeedReboot = 0x00000100;

    // SetupDiSetClassInstallParamsW with a property change request
    // (DIF_PROPERTYCHANGE: DICS_ENABLE or DICS_DISABLE, DICS_FLAG_GLOBAL,
    // hardware profile 0), then SetupDiCallClassInstaller(DIF_PROPERTYCHANGE).
    // False when either fails. After the installer, installFlags holds the
    // device's install parameter flags (SetupDiGetDeviceInstallParamsW), 0 when
    // they cannot be read.
    virtual bool changeState(uint32_t index, bool enable, uint32_t& installFlags) = 0;
};

// The machine's devices, as SetupAPI lists them.
class DeviceTree {
public:
    enum class Source {
        CameraClass,          // the camera setup class, devices not present included
        ImagingClass,         // the imaging setup class, devices not present included
        VideoCameraInterface, // devices exposing KSCATEGORY_VIDEO_CAMERA
        VideoInterface,       // devices exposing KSCATEGORY_VIDEO
        AllClasses,           // every device of every class (DIGCF_ALLCLASSES)
    };

    virtual ~DeviceTree() = default;
    // SetupDiGetClassDevsW for the source; nullptr when it fails.
    virtual std::unique_ptr<DeviceSet> open(Source source) = 0;
};

} // namespace qv
