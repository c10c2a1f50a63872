#include "base/win32/Win32KnownFolders.h"

#include "base/win32/Utf16.h"

#include <windows.h>

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

namespace qv {

namespace {

const KNOWNFOLDERID& folderId(KnownFolder folder) {
    switch (folder) {
    case KnownFolder::RoamingAppData: return FOLDERID_RoamingAppData;
    case KnownFolder::LocalAppData: return FOLDERID_LocalAppData;
    case KnownFolder::Programs: return FOLDERID_Programs;
    case KnownFolder::Videos: return FOLDERID_Videos;
    }
    return FOLDERID_RoamingAppData;
}

} // namespace

std::string Win32KnownFolders::path(KnownFolder folder) {
    PWSTR raw = nullptr;
    HRESULT hr = SHGetKnownFolderPath(folderId(folder), KF_FLAG_DEFAULT, nullptr, &raw);
    std::string out = SUCCEEDED(hr) && raw ? narrow(raw) : std::string();
    CoTaskMemFree(raw); // also required when the call fails
    return out;
}

} // namespace qv
