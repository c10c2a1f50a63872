#include "vdisplay/win32/Win32DeviceApi.h"

#include "base/win32/Utf16.h"
#include "vdisplay/ParsecVddBackend.h"
#include "vdisplay/PendingCompletion.h"
#include "vdisplay/QvIddBackend.h"
#include "vdisplay/win32/SoftwareDeviceDecls.h"

#include <windows.h>
#include <objbase.h>
#include <setupapi.h>
#include <winioctl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

namespace qv::vdisplay {

namespace {

// The detail record's size field counts the fixed part only: 8 bytes on x64.
static_assert(sizeof(void*) != 8 || sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == 8);

// The backends' request codes, rebuilt with mingw's CTL_CODE (winioctl.h).
static_assert(QvIddBackend::kVersionQuery == CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS));
static_assert(QvIddBackend::kAddMonitor == CTL_CODE(FILE_DEVICE_UNKNOWN, 0x801, METHOD_BUFFERED, FILE_ANY_ACCESS));
static_assert(QvIddBackend::kRemoveMonitor == CTL_CODE(FILE_DEVICE_UNKNOWN, 0x802, METHOD_BUFFERED, FILE_ANY_ACCESS));
static_assert(QvIddBackend::kListMonitors == CTL_CODE(FILE_DEVICE_UNKNOWN, 0x803, METHOD_BUFFERED, FILE_ANY_ACCESS));
constexpr DWORD kReadWrite = FILE_READ_ACCESS | FILE_WRITE_ACCESS;
static_assert(ParsecVddBackend::kVersionQuery == CTL_CODE(FILE_DEVICE_UNKNOWN, 0x804, METHOD_BUFFERED, kReadWrite));
static_assert(ParsecVddBackend::kAddMonitor == CTL_CODE(FILE_DEVICE_UNKNOWN, 0x801, METHOD_BUFFERED, kReadWrite));
static_assert(ParsecVddBackend::kRemoveMonitor ==
              CTL_CODE(FILE_DEVICE_UNKNOWN, 0x802, METHOD_BUFFERED, FILE_WRITE_ACCESS));
static_assert(ParsecVddBackend::kKeepAlive == CTL_CODE(FILE_DEVICE_UNKNOWN, 0x803, METHOD_BUFFERED, FILE_WRITE_ACCESS));

// The device node's capabilities and the creation results the backend tells
// apart, against the declarations above and mingw's winerror.h.
static_assert(QvIddBackend::kCapabilities ==
              (swd::CapabilityRemovable | swd::CapabilitySilentInstall | swd::CapabilityDriverRequired));
static_assert(QvIddBackend::kAccessDenied == E_ACCESSDENIED && QvIddBackend::kFail == E_FAIL);

constexpr DWORD HardwareIdBufferBytes = 1024;
constexpr DWORD OverlappedBufferBytes = 32;
// After a timed-out request is cancelled, how long to wait for the driver to
// finish it before leaving its memory to it for good.
constexpr DWORD CancelGraceMs = 1000;

HANDLE toHandle(DeviceApi::Handle device) { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(device)); }

DeviceApi::Handle fromHandle(HANDLE handle) {
    return static_cast<DeviceApi::Handle>(reinterpret_cast<uintptr_t>(handle));
}

bool parseGuid(const std::string& text, GUID& guid) {
    // An empty text would parse as the null GUID; it names no class.
    if (text.empty()) return false;
    const std::wstring wide = widen(text);
    return SUCCEEDED(IIDFromString(wide.c_str(), &guid));
}

// Owns a SetupAPI device information list.
class DeviceInfoList {
public:
    explicit DeviceInfoList(HDEVINFO set) : set_(set) {}
    ~DeviceInfoList() {
        if (valid()) SetupDiDestroyDeviceInfoList(set_);
    }
    DeviceInfoList(const DeviceInfoList&) = delete;
    DeviceInfoList& operator=(const DeviceInfoList&) = delete;

    bool valid() const { return set_ != INVALID_HANDLE_VALUE && set_ != nullptr; }
    HDEVINFO get() const { return set_; }

private:
    HDEVINFO set_;
};

// The strings of a multi-string of at most `units` UTF-16 units, which need
// not be terminated within them.
std::vector<std::string> splitMultiString(const wchar_t* data, size_t units) {
    std::vector<std::string> strings;
    size_t at = 0;
    while (at < units && data[at] != L'\0') {
        size_t end = at;
        while (end < units && data[end] != L'\0') ++end;
        strings.push_back(narrow(std::wstring_view(data + at, end - at)));
        at = end + 1;
    }
    return strings;
}

// Every device of the list with its hardware ids; devices whose ids cannot
// be read are left out.
// The device's hardware ids; false when they cannot be read.
bool readHardwareIds(HDEVINFO set, SP_DEVINFO_DATA& info, std::vector<std::string>& out) {
    wchar_t buffer[HardwareIdBufferBytes / sizeof(wchar_t)] = {};
    DWORD type = 0;
    DWORD required = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &info, SPDRP_HARDWAREID, &type, reinterpret_cast<BYTE*>(buffer),
                                           HardwareIdBufferBytes, &required))
        return false;
    // The buffer was zeroed, so an unknown size still ends in NULs.
    const DWORD bytes = required == 0 ? HardwareIdBufferBytes : std::min(required, HardwareIdBufferBytes);
    out = splitMultiString(buffer, bytes / sizeof(wchar_t));
    return true;
}

void collectHardwareIds(HDEVINFO set, std::vector<DeviceApi::DeviceIds>& out) {
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof(info);
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &info); ++index) {
        DeviceApi::DeviceIds device;
        device.index = index;
        if (readHardwareIds(set, info, device.hardwareIds)) out.push_back(std::move(device));
    }
}

// One overlapped request's memory: the system writes the status into the
// OVERLAPPED, the answer into the output buffer and signals the event when
// the request ends, which may be after the caller stopped waiting.
struct OverlappedRequest {
    OVERLAPPED overlapped{};
    uint8_t input[OverlappedBufferBytes] = {};
    uint8_t output[OverlappedBufferBytes] = {};

    ~OverlappedRequest() {
        if (overlapped.hEvent) CloseHandle(overlapped.hEvent);
    }
};

// A request still pending after the wait: cancel it and give the driver a
// moment to finish it. If it still has not finished, its memory is left to
// it (deliberately never freed) so that a late completion writes into live
// buffers and signals a live event.
void retire(HANDLE device, std::unique_ptr<OverlappedRequest> request) {
    CancelIoEx(device, &request->overlapped);
    DWORD transferred = 0;
    GetOverlappedResultEx(device, &request->overlapped, &transferred, CancelGraceMs, FALSE);
    if (!HasOverlappedIoCompleted(&request->overlapped)) request.release();
}

VOID WINAPI onSoftwareDeviceCreated(swd::DeviceHandle, HRESULT createResult, PVOID context, PCWSTR) {
    PendingCompletion::deliver(context, createResult);
}

std::wstring multiString(const std::vector<std::string>& strings) {
    std::wstring joined;
    for (const std::string& text : strings) {
        if (text.empty()) continue; // an empty entry would end the list early
        joined += widen(text);
        joined.push_back(L'\0');
    }
    joined.push_back(L'\0');
    return joined;
}

HMODULE configManager() {
    HMODULE module = GetModuleHandleW(L"cfgmgr32.dll");
    if (!module) module = LoadLibraryExW(L"cfgmgr32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module;
}

template <typename Function>
Function lookUp(HMODULE module, const char* name) {
    if (!module) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

} // namespace

std::string Win32DeviceApi::interfacePath(const GuidText& interfaceClass) {
    GUID guid;
    if (!parseGuid(interfaceClass, guid)) return {};
    DeviceInfoList set(SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set.valid()) return {};

    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof(data);
    if (!SetupDiEnumDeviceInterfaces(set.get(), nullptr, &guid, 0, &data)) return {};

    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailW(set.get(), &data, nullptr, 0, &required, nullptr);
    const DWORD pathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    if (required <= pathOffset) return {};

    std::vector<uint64_t> storage((required + sizeof(uint64_t) - 1) / sizeof(uint64_t), 0);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (!SetupDiGetDeviceInterfaceDetailW(set.get(), &data, detail, required, nullptr, nullptr)) return {};

    const size_t maxUnits = (required - pathOffset) / sizeof(wchar_t);
    const wchar_t* path = detail->DevicePath;
    return narrow(std::wstring_view(path, std::find(path, path + maxUnits, L'\0') - path));
}

DeviceApi::Handle Win32DeviceApi::openDevice(const std::string& path, bool overlapped, uint32_t& error) {
    DWORD flags = FILE_ATTRIBUTE_NORMAL;
    if (overlapped) flags |= FILE_FLAG_NO_BUFFERING | FILE_FLAG_OVERLAPPED;
    HANDLE handle = CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return 0;
    }
    error = 0;
    return fromHandle(handle);
}

void Win32DeviceApi::closeDevice(Handle device) {
    if (device) CloseHandle(toHandle(device));
}

bool Win32DeviceApi::control(Handle device, uint32_t code, const void* input, size_t inputSize, void* output,
                             size_t outputSize, uint32_t& error) {
    if (!device) {
        error = ERROR_INVALID_HANDLE;
        return false;
    }
    if (inputSize > MAXDWORD || outputSize > MAXDWORD) {
        error = ERROR_INVALID_PARAMETER;
        return false;
    }
    DWORD returned = 0;
    if (!DeviceIoControl(toHandle(device), code, const_cast<void*>(input), static_cast<DWORD>(inputSize), output,
                         static_cast<DWORD>(outputSize), &returned, nullptr)) {
        error = GetLastError();
        return false;
    }
    error = 0;
    return true;
}

bool Win32DeviceApi::controlOverlapped(Handle device, uint32_t code, const uint8_t (&input)[32],
                                       uint8_t (&output)[32], uint32_t timeoutMs) {
    if (!device) return false;
    HANDLE handle = toHandle(device);
    auto request = std::make_unique<OverlappedRequest>();
    request->overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!request->overlapped.hEvent) return false;
    std::memcpy(request->input, input, OverlappedBufferBytes);

    DWORD transferred = 0;
    if (!DeviceIoControl(handle, code, request->input, OverlappedBufferBytes, request->output, OverlappedBufferBytes,
                         &transferred, &request->overlapped)) {
        if (GetLastError() != ERROR_IO_PENDING) return false;
        if (!GetOverlappedResultEx(handle, &request->overlapped, &transferred, timeoutMs, FALSE)) {
            if (!HasOverlappedIoCompleted(&request->overlapped)) retire(handle, std::move(request));
            return false;
        }
    }
    std::memcpy(output, request->output, OverlappedBufferBytes);
    return true;
}

bool Win32DeviceApi::devicesOfClass(const GuidText& setupClass, std::vector<DeviceIds>& out) {
    out.clear();
    GUID guid;
    if (!parseGuid(setupClass, guid)) return false;
    DeviceInfoList set(SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT));
    if (!set.valid()) return false;
    collectHardwareIds(set.get(), out);
    return true;
}

bool Win32DeviceApi::devicesOfEnumerator(const std::string& enumerator, std::vector<DeviceIds>& out) {
    out.clear();
    // Without an enumerator the list would hold every device of the machine.
    if (enumerator.empty()) return false;
    const std::wstring name = widen(enumerator);
    DeviceInfoList set(SetupDiGetClassDevsW(nullptr, name.c_str(), nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (!set.valid()) return false;
    collectHardwareIds(set.get(), out);
    return true;
}

bool Win32DeviceApi::removeDevice(const std::string& enumerator, uint32_t index,
                                  const std::string& expectedHardwareId) {
    if (enumerator.empty() || expectedHardwareId.empty()) return false;
    const std::wstring name = widen(enumerator);
    DeviceInfoList set(SetupDiGetClassDevsW(nullptr, name.c_str(), nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (!set.valid()) return false;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof(info);
    if (!SetupDiEnumDeviceInfo(set.get(), index, &info)) return false;
    std::vector<std::string> ids;
    if (!readHardwareIds(set.get(), info, ids) || ids.empty() ||
        CompareStringOrdinal(widen(ids.front()).c_str(), -1, widen(expectedHardwareId).c_str(), -1, TRUE) != CSTR_EQUAL)
        return false;
    return SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &info) != FALSE;
}

int32_t Win32DeviceApi::createSoftwareDevice(const SoftwareDevice& device, uint32_t timeoutMs, int32_t& completion) {
    completion = E_FAIL;
    // cfgmgr32 stays loaded: a completion callback may still arrive from it
    // after this call has returned.
    HMODULE module = configManager();
    auto create = lookUp<swd::CreateFunction>(module, "SwDeviceCreate");
    auto setLifetime = lookUp<swd::SetLifetimeFunction>(module, "SwDeviceSetLifetime");
    if (!create || (device.outliveProcess && !setLifetime)) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);

    const std::wstring enumerator = widen(device.enumerator);
    const std::wstring parent = widen(device.parent);
    const std::wstring instanceId = widen(device.instanceId);
    const std::wstring hardwareIds = multiString(device.hardwareIds);
    const std::wstring description = widen(device.description);

    swd::CreateInfo info{};
    info.cbSize = sizeof(info);
    info.pszInstanceId = instanceId.c_str();
    info.pszzHardwareIds = device.hardwareIds.empty() ? nullptr : hardwareIds.c_str();
    info.CapabilityFlags = device.capabilities;
    info.pszDeviceDescription = description.empty() ? nullptr : description.c_str();

    // The callback may come after the wait below gives up; it then writes
    // into the shared completion state, never into this call's frame.
    PendingCompletion pending(E_FAIL);
    void* token = pending.deliveryToken();
    swd::DeviceHandle handle = nullptr;
    const HRESULT created =
        create(enumerator.c_str(), parent.c_str(), &info, 0, nullptr, onSoftwareDeviceCreated, token, &handle);
    if (FAILED(created)) {
        PendingCompletion::abandon(token);
        return created;
    }

    // The handle is left open: closing it would remove a node whose
    // lifetime is still tied to it.
    if (!pending.wait(timeoutMs)) return created;
    completion = pending.result();
    if (SUCCEEDED(completion) && device.outliveProcess) {
        // Only possible once the creation callback has come. Without it the
        // node would vanish when this process ends, so a failure here is
        // the creation's failure.
        const HRESULT lifetime = setLifetime(handle, swd::LifetimeParentPresent);
        if (FAILED(lifetime)) completion = lifetime;
    }
    return created;
}

} // namespace qv::vdisplay
