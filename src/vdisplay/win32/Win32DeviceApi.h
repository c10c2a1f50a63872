#pragma once
#include "vdisplay/DeviceApi.h"

namespace qv::vdisplay {

// The device port over SetupAPI, kernel32's file and device I/O, and the
// software device functions of cfgmgr32 (looked up at run time).
class Win32DeviceApi final : public DeviceApi {
public:
    Win32DeviceApi() = default;

    std::string interfacePath(const GuidText& interfaceClass) override;
    Handle openDevice(const std::string& path, bool overlapped, uint32_t& error) override;
    void closeDevice(Handle device) override;
    bool control(Handle device, uint32_t code, const void* input, size_t inputSize, void* output, size_t outputSize,
                 uint32_t& error) override;
    bool controlOverlapped(Handle device, uint32_t code, const uint8_t (&input)[32], uint8_t (&output)[32],
                           uint32_t timeoutMs) override;
    bool devicesOfClass(const GuidText& setupClass, std::vector<DeviceIds>& out) override;
    bool devicesOfEnumerator(const std::string& enumerator, std::vector<DeviceIds>& out) override;
    bool removeDevice(const std::string& enumerator, uint32_t index, const std::string& expectedHardwareId) override;
    int32_t createSoftwareDevice(const SoftwareDevice& device, uint32_t timeoutMs, int32_t& completion) override;
};

} // namespace qv::vdisplay
