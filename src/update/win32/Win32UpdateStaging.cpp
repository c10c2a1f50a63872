#include "update/win32/Win32UpdateStaging.h"

#include "base/win32/Utf16.h"

#include <windows.h>

#include <sddl.h>
#include <shellapi.h>

namespace qv {

bool Win32UpdateStaging::windowsFolder(std::string& path) {
    wchar_t buffer[MAX_PATH + 1];
    const UINT length = GetSystemWindowsDirectoryW(buffer, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return false;
    path = narrow(std::wstring_view(buffer, length));
    return true;
}

bool Win32UpdateStaging::createFolder(const std::string& path, const std::string& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(widen(sddl).c_str(), SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return false;
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = descriptor;
    attributes.bInheritHandle = FALSE;
    const BOOL created = CreateDirectoryW(widen(path).c_str(), &attributes);
    LocalFree(descriptor);
    return created != FALSE;
}

bool Win32UpdateStaging::removeFolder(const std::string& path) {
    return RemoveDirectoryW(widen(path).c_str()) != FALSE;
}

UpdateStaging::Start Win32UpdateStaging::startProcess(const std::string& file, const std::string& parameters,
                                                      const std::string& directory, int32_t show, uint32_t waitMs) {
    const std::wstring wideFile = widen(file);
    const std::wstring wideParameters = widen(parameters);
    const std::wstring wideDirectory = widen(directory);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = wideFile.c_str();
    info.lpParameters = wideParameters.empty() ? nullptr : wideParameters.c_str();
    info.lpDirectory = wideDirectory.empty() ? nullptr : wideDirectory.c_str();
    info.nShow = show;
    if (!ShellExecuteExW(&info) || info.hProcess == nullptr) return Start::Failed;
    const DWORD waited = WaitForSingleObject(info.hProcess, waitMs);
    CloseHandle(info.hProcess);
    if (waited == WAIT_TIMEOUT) return Start::Running;
    return waited == WAIT_OBJECT_0 ? Start::Exited : Start::Failed;
}

} // namespace qv
