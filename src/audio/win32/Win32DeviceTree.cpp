#include "audio/win32/Win32DeviceTree.h"

#include "base/win32/Utf16.h"

#include <windows.h>
// After windows.h:
#include <cfgmgr32.h>
#include <setupapi.h>

namespace qv {

namespace {

// Device setup classes Camera and Image (Microsoft Learn, "System-Defined
// Device Setup Classes Available to Vendors").
constexpr GUID kCameraClass = {0xCA3E7AB9, 0xB4C3, 0x4AE6, {0x82, 0x51, 0x57, 0x9E, 0xF9, 0x33, 0x89, 0x0F}};
constexpr GUID kImagingClass = {0x6BDD1FC6, 0x810F, 0x11D0, {0xBE, 0xC7, 0x08, 0x00, 0x2B, 0xE2, 0x09, 0x2F}};
// Device interface classes of cameras (Microsoft Learn, "KSCATEGORY_VIDEO_CAMERA"
// and "KSCATEGORY_VIDEO").
constexpr GUID kVideoCameraInterface = {0xE5323777, 0xF976, 0x4F5B, {0x9B, 0x55, 0xB9, 0x46, 0x99, 0xC4, 0x6E, 0x44}};
constexpr GUID kVideoInterface = {0x6994AD05, 0x93EF, 0x11D0, {0xA3, 0xCC, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};

// mingw's declarations, a second source for the property and status values.
static_assert(static_cast<uint32_t>(SPDRP_DEVICEDESC) == DeviceSet::kDeviceDesc, "SPDRP_DEVICEDESC");
static_assert(static_cast<uint32_t>(SPDRP_FRIENDLYNAME) == DeviceSet::kFriendlyName, "SPDRP_FRIENDLYNAME");
static_assert(static_cast<uint32_t>(DN_HAS_PROBLEM) == DeviceSet::kDnHasProblem, "DN_HAS_PROBLEM");
static_assert(static_cast<uint32_t>(CM_PROB_DISABLED) == DeviceSet::kProblemDisabled, "CM_PROB_DISABLED");

// mingw's declarations, a second source for the flags the core reads.
static_assert(static_cast<uint32_t>(DI_NEEDRESTART) == DeviceSet::kDiNeedRestart, "DI_NEEDRESTART");
static_assert(static_cast<uint32_t>(DI_NEEDREBOOT) == DeviceSet::kDiNeedReboot, "DI_NEEDREBOOT");

class Win32DeviceSet final : public DeviceSet {
public:
    explicit Win32DeviceSet(HDEVINFO set) : set_(set) {}
    ~Win32DeviceSet() override { SetupDiDestroyDeviceInfoList(set_); }
    Win32DeviceSet(const Win32DeviceSet&) = delete;
    Win32DeviceSet& operator=(const Win32DeviceSet&) = delete;

    bool exists(uint32_t index) override {
        SP_DEVINFO_DATA data;
        return device(index, data);
    }

    std::string instanceId(uint32_t index) override {
        SP_DEVINFO_DATA data;
        if (!device(index, data)) return {};
        wchar_t buffer[200] = {};
        if (!SetupDiGetDeviceInstanceIdW(set_, &data, buffer, 200, nullptr)) return {};
        buffer[199] = L'\0';
        return narrow(buffer);
    }

    bool property(uint32_t index, uint32_t property, std::string& text) override {
        SP_DEVINFO_DATA data;
        if (!device(index, data)) return false;
        wchar_t buffer[512] = {};  // 1024 bytes
        DWORD type = 0;
        if (!SetupDiGetDeviceRegistryPropertyW(set_, &data, property, &type, reinterpret_cast<BYTE*>(buffer),
                                               sizeof(buffer), nullptr))
            return false;
        // A REG_SZ of exactly the buffer's size may lack its terminator.
        buffer[511] = L'\0';
        text = narrow(buffer);
        return true;
    }

    bool nodeStatus(uint32_t index, uint32_t& status, uint32_t& problem) override {
        SP_DEVINFO_DATA data;
        if (!device(index, data)) return false;
        ULONG nodeStatus = 0, nodeProblem = 0;
        if (CM_Get_DevNode_Status(&nodeStatus, &nodeProblem, data.DevInst, 0) != CR_SUCCESS) return false;
        status = nodeStatus;
        problem = nodeProblem;
        return true;
    }

    // Through the class installer only: SetupDiChangeState is not called,
    // as it aborts the process on systems that do not implement it.
    bool changeState(uint32_t index, bool enable, uint32_t& installFlags) override {
        installFlags = 0;
        SP_DEVINFO_DATA data;
        if (!device(index, data)) return false;
        SP_PROPCHANGE_PARAMS params = {};
        params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
        params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
        params.StateChange = enable ? DICS_ENABLE : DICS_DISABLE;
        params.Scope = DICS_FLAG_GLOBAL;
        params.HwProfile = 0;
        if (!SetupDiSetClassInstallParamsW(set_, &data, &params.ClassInstallHeader, sizeof(params))) return false;
        if (!SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, set_, &data)) return false;
        // A driver that can only stop or start at the next restart says so here.
        SP_DEVINSTALL_PARAMS_W install = {};
        install.cbSize = sizeof(install);
        if (SetupDiGetDeviceInstallParamsW(set_, &data, &install)) installFlags = install.Flags;
        return true;
    }

private:
    bool device(uint32_t index, SP_DEVINFO_DATA& data) {
        data = {};
        data.cbSize = sizeof(SP_DEVINFO_DATA);
        return SetupDiEnumDeviceInfo(set_, index, &data) != FALSE;
    }

    HDEVINFO set_;
};

} // namespace

std::unique_ptr<DeviceSet> Win32DeviceTree::open(Source source) {
    HDEVINFO set = INVALID_HANDLE_VALUE;
    switch (source) {
    case Source::CameraClass: set = SetupDiGetClassDevsW(&kCameraClass, nullptr, nullptr, 0); break;
    case Source::ImagingClass: set = SetupDiGetClassDevsW(&kImagingClass, nullptr, nullptr, 0); break;
    case Source::VideoCameraInterface:
        set = SetupDiGetClassDevsW(&kVideoCameraInterface, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
        break;
    case Source::VideoInterface:
        set = SetupDiGetClassDevsW(&kVideoInterface, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
        break;
    case Source::AllClasses: set = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES); break;
    }
    if (set == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32DeviceSet>(set);
}

} // namespace qv
