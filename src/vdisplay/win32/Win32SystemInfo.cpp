#include "vdisplay/win32/Win32SystemInfo.h"

#include "base/win32/Utf16.h"

#include <windows.h>
#include <winternl.h>

namespace qv::vdisplay {

namespace {

// SystemCodeIntegrityInformation and its answer.
constexpr ULONG CodeIntegrityInformationClass = 103;
struct CodeIntegrityInformation {
    ULONG length;
    ULONG options;
};
static_assert(sizeof(CodeIntegrityInformation) == 8);
// mingw's winternl.h, a second source for the bit the backend choice reads.
static_assert(SystemInfo::kCodeIntegrityTestSign == CODEINTEGRITY_OPTION_TESTSIGN);

using QuerySystemInformation = LONG(WINAPI*)(ULONG informationClass, PVOID information, ULONG length,
                                             PULONG returnLength);
using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW* info);
static_assert(sizeof(OSVERSIONINFOW) == 276);

template <typename Function>
Function ntdllFunction(const char* name) {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(ntdll, name)));
}

} // namespace

bool Win32SystemInfo::machineDword(const std::string& key, const std::string& value, uint32_t& out) {
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, widen(key).c_str(), widen(value).c_str(), RRF_RT_REG_DWORD, nullptr, &data,
                     &size) != ERROR_SUCCESS)
        return false;
    out = data;
    return true;
}

bool Win32SystemInfo::codeIntegrityOptions(uint32_t& options) {
    auto query = ntdllFunction<QuerySystemInformation>("NtQuerySystemInformation");
    if (!query) return false;
    CodeIntegrityInformation information{sizeof(CodeIntegrityInformation), 0};
    if (query(CodeIntegrityInformationClass, &information, sizeof(information), nullptr) != 0) return false;
    options = information.options;
    return true;
}

bool Win32SystemInfo::buildNumber(uint32_t& build) {
    auto getVersion = ntdllFunction<GetVersion>("RtlGetVersion");
    if (!getVersion) return false;
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (getVersion(&info) != 0) return false;
    build = info.dwBuildNumber;
    return true;
}

} // namespace qv::vdisplay
