#include "base/win32/Win32ShellApi.h"

#include "base/win32/Utf16.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

namespace qv {

// mingw's shellapi.h and winuser.h, a second source for the mask and show command.
static_assert(ShellApi::kSeeMaskNoAsync == SEE_MASK_NOASYNC && ShellApi::kSwShowNormal == SW_SHOWNORMAL);

using Microsoft::WRL::ComPtr;

bool Win32ShellApi::pathExists(const std::string& path) {
    return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Win32ShellApi::createShellLink(const ShellLink& link, const std::string& path) {
    ComPtr<IShellLinkW> shellLink;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&shellLink)))) {
        return false;
    }
    if (FAILED(shellLink->SetPath(widen(link.target).c_str()))) return false;
    if (FAILED(shellLink->SetWorkingDirectory(widen(link.workingDirectory).c_str()))) return false;
    if (FAILED(shellLink->SetDescription(widen(link.description).c_str()))) return false;
    if (FAILED(shellLink->SetIconLocation(widen(link.iconPath).c_str(), link.iconIndex))) return false;
    ComPtr<IPersistFile> file;
    if (FAILED(shellLink.As(&file))) return false;
    return SUCCEEDED(file->Save(widen(path).c_str(), TRUE));
}

bool Win32ShellApi::shellExecuteEx(const std::string& verb, const std::string& file, const std::string& parameters,
                                   uint32_t mask, int32_t show, const std::string& directory) {
    const std::wstring wideVerb = widen(verb);
    const std::wstring wideDirectory = widen(directory);
    const std::wstring wideFile = widen(file);
    const std::wstring wideParameters = widen(parameters);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = mask;
    info.lpVerb = wideVerb.c_str();
    info.lpFile = wideFile.c_str();
    info.lpParameters = wideParameters.empty() ? nullptr : wideParameters.c_str();
    info.lpDirectory = wideDirectory.empty() ? nullptr : wideDirectory.c_str();
    info.nShow = show;
    return ShellExecuteExW(&info) != FALSE;
}

} // namespace qv
