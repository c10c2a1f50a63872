// Software device declarations that mingw-w64 does not ship, written from
// and checked against learn.microsoft.com's swdevice.h pages for SwDeviceCreate, SW_DEVICE_CREATE_INFO,
// SW_DEVICE_CREATE_CALLBACK and SwDeviceSetLifetime. The functions live in
// cfgmgr32.dll on Windows 8.1 and later and are looked up at run time, so
// the program starts where they are missing.
#pragma once
#include <windows.h>

#include <cstddef>

namespace qv::vdisplay::swd {

struct DeviceHandleTag;
using DeviceHandle = DeviceHandleTag*; // HSWDEVICE

struct CreateInfo { // SW_DEVICE_CREATE_INFO
    ULONG cbSize;
    PCWSTR pszInstanceId;
    PCWSTR pszzHardwareIds;   // multi-string
    PCWSTR pszzCompatibleIds; // multi-string
    const GUID* pContainerId;
    ULONG CapabilityFlags;
    PCWSTR pszDeviceDescription;
    PCWSTR pszDeviceLocation;
    const SECURITY_DESCRIPTOR* pSecurityDescriptor;
};
static_assert(sizeof(void*) != 8 || sizeof(CreateInfo) == 72, "x64 layout of SW_DEVICE_CREATE_INFO");
static_assert(sizeof(void*) != 8 || offsetof(CreateInfo, CapabilityFlags) == 40);

// SW_DEVICE_CAPABILITIES
constexpr ULONG CapabilityRemovable = 0x1;
constexpr ULONG CapabilitySilentInstall = 0x2;
constexpr ULONG CapabilityNoDisplayInUI = 0x4;
constexpr ULONG CapabilityDriverRequired = 0x8;

// SW_DEVICE_LIFETIME
enum Lifetime : int { LifetimeHandle = 0, LifetimeParentPresent = 1 };

// SW_DEVICE_CREATE_CALLBACK
using CreateCallback = VOID(WINAPI*)(DeviceHandle device, HRESULT createResult, PVOID context,
                                     PCWSTR deviceInstanceId);

// SwDeviceCreate; the properties (DEVPROPERTY array) are not used here and
// always passed as none.
using CreateFunction = HRESULT(WINAPI*)(PCWSTR enumeratorName, PCWSTR parentDeviceInstance,
                                        const CreateInfo* createInfo, ULONG propertyCount, const void* properties,
                                        CreateCallback callback, PVOID context, DeviceHandle* device);

// SwDeviceSetLifetime
using SetLifetimeFunction = HRESULT(WINAPI*)(DeviceHandle device, Lifetime lifetime);

} // namespace qv::vdisplay::swd
