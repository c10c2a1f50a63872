#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv::vdisplay {

// A GUID in its registry text form, e.g. "{00B41627-04C4-429E-A26E-0265CF50C8FA}".
using GuidText = std::string;

// The device services the virtual display backends work through: device
// interface lookup, control devices and their I/O requests, the device tree's
// hardware ids, and software device nodes. Handles are opaque; 0 is none.
// The Win32 version lives in vdisplay/win32/; simulated drivers in tests/sim/.
class DeviceApi {
public:
    using Handle = uint64_t;

    virtual ~DeviceApi() = default;

    // The path of member 0 of the present device interfaces of the class;
    // empty when there is none or on any failure.
    virtual std::string interfacePath(const GuidText& interfaceClass) = 0;
    // CreateFileW read/write, shared read/write, OPEN_EXISTING; overlapped
    // adds no buffering and overlapped I/O. 0 with the error code on failure.
    virtual Handle openDevice(const std::string& path, bool overlapped, uint32_t& error) = 0;
    virtual void closeDevice(Handle device) = 0;
    // A synchronous buffered DeviceIoControl; false with GetLastError's code.
    virtual bool control(Handle device, uint32_t code, const void* input, size_t inputSize, void* output,
                         size_t outputSize, uint32_t& error) = 0;
    // An overlapped DeviceIoControl with 32-byte input and output buffers,
    // waiting at most timeoutMs for a pending request. A request still
    // pending after the wait must not write into released memory.
    virtual bool controlOverlapped(Handle device, uint32_t code, const uint8_t (&input)[32], uint8_t (&output)[32],
                                   uint32_t timeoutMs) = 0;

    // The hardware id lists (each a multi-string split into strings) of the
    // present devices of a setup class, or of every class under an
    // enumerator; devices whose read fails are left out. False when the
    // device list cannot be made.
    struct DeviceIds {
        uint32_t index = 0; // position in the walk, for removeDevice
        std::vector<std::string> hardwareIds;
    };
    virtual bool devicesOfClass(const GuidText& setupClass, std::vector<DeviceIds>& out) = 0;
    virtual bool devicesOfEnumerator(const std::string& enumerator, std::vector<DeviceIds>& out) = 0;
    // SetupDiCallClassInstaller(DIF_REMOVE) on the device at that walk index
    // under the enumerator, only when its first hardware id still equals
    // expectedHardwareId (ignoring case): the device list is made afresh, and
    // a device that came or went since the walk must not shift the removal
    // onto another device.
    virtual bool removeDevice(const std::string& enumerator, uint32_t index,
                              const std::string& expectedHardwareId) = 0;

    // A software device node (SwDeviceCreate, looked up at run time).
    struct SoftwareDevice {
        std::string enumerator;
        std::string parent;
        std::string instanceId;
        std::vector<std::string> hardwareIds;
        uint32_t capabilities = 0;
        std::string description;
        // Lifetime beyond the creating process (parent-present).
        bool outliveProcess = true;
    };
    // Creates the node and waits up to timeoutMs for its completion callback.
    // Returns the HRESULT of the call itself; on success, completion receives
    // the callback's result (E_FAIL after a time-out).
    virtual int32_t createSoftwareDevice(const SoftwareDevice& device, uint32_t timeoutMs, int32_t& completion) = 0;
};

// Facts about the running system.
class SystemInfo {
public:
    virtual ~SystemInfo() = default;
    // A REG_DWORD under HKEY_LOCAL_MACHINE; false when missing or of another type.
    virtual bool machineDword(const std::string& key, const std::string& value, uint32_t& out) = 0;
    // NtQuerySystemInformation(103) options; false when the call or the
    // function is not there.
    virtual bool codeIntegrityOptions(uint32_t& options) = 0;
    // The options' test-signing bit, CODEINTEGRITY_OPTION_TESTSIGN (winternl.h,
    // learn.microsoft.com "NtQuerySystemInformation function",
    // SYSTEM_CODEINTEGRITY_INFORMATION).
    static constexpr uint32_t kCodeIntegrityTestSign = 0x02;
    // RtlGetVersion's build number; false on failure.
    virtual bool buildNumber(uint32_t& build) = 0;
};

} // namespace qv::vdisplay
