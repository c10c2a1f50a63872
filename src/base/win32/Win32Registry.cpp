#include "base/win32/Win32Registry.h"

#include "base/win32/Utf16.h"

#include <windows.h>

#include <cstdint>

namespace qv {

// mingw's winnt.h and winerror.h, a second source for the access rights,
// value types and results the callers pass and compare.
static_assert(Registry::kKeyQueryValue == KEY_QUERY_VALUE && Registry::kKeySetValue == KEY_SET_VALUE);
static_assert(Registry::kKeyCreateSubKey == KEY_CREATE_SUB_KEY && Registry::kKeyRead == KEY_READ);
static_assert(Registry::kRegSz == REG_SZ && Registry::kRegBinary == REG_BINARY && Registry::kRegDword == REG_DWORD);
static_assert(Registry::kSuccess == ERROR_SUCCESS && Registry::kFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(Registry::kNoMoreItems == ERROR_NO_MORE_ITEMS);

namespace {

HKEY toHkey(Registry::Key key) { return reinterpret_cast<HKEY>(static_cast<uintptr_t>(key)); }

// As winreg.h builds the predefined keys: the 32-bit value read as a LONG and
// widened to the pointer, so HKEY_CURRENT_USER is 0xFFFFFFFF80000001 on x64.
HKEY rootKey(Registry::Root root) {
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(static_cast<uint32_t>(root))));
}

} // namespace

int32_t Win32Registry::openKey(Root root, const std::string& subKey, uint32_t access, Key& key) {
    HKEY opened = nullptr;
    LSTATUS status = RegOpenKeyExW(rootKey(root), widen(subKey).c_str(), 0, access, &opened);
    if (status == ERROR_SUCCESS) key = static_cast<Key>(reinterpret_cast<uintptr_t>(opened));
    return status;
}

int32_t Win32Registry::queryValueType(Key key, const std::string& name, uint32_t& type) {
    DWORD valueType = 0;
    LSTATUS status = RegQueryValueExW(toHkey(key), widen(name).c_str(), nullptr, &valueType, nullptr, nullptr);
    if (status == ERROR_SUCCESS) type = valueType;
    return status;
}

int32_t Win32Registry::setStringValue(Key key, const std::string& name, const std::string& text) {
    const std::wstring data = widen(text);
    const DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(toHkey(key), widen(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          bytes);
}

int32_t Win32Registry::deleteValue(Key key, const std::string& name) {
    return RegDeleteValueW(toHkey(key), widen(name).c_str());
}

int32_t Win32Registry::enumSubKey(Key key, uint32_t index, std::string& name) {
    wchar_t buffer[512];
    DWORD length = 512;
    LSTATUS status = RegEnumKeyExW(toHkey(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) name = narrow(std::wstring_view(buffer, length));
    return status;
}

int32_t Win32Registry::getStringValue(Key key, const std::string& subKey, const std::string& name,
                                      std::string& text) {
    wchar_t buffer[1024];  // 2048 bytes
    DWORD bytes = sizeof(buffer);
    const std::wstring sub = widen(subKey);
    const std::wstring value = widen(name);
    LSTATUS status = RegGetValueW(toHkey(key), sub.empty() ? nullptr : sub.c_str(),
                                  value.empty() ? nullptr : value.c_str(), RRF_RT_REG_SZ, nullptr, buffer, &bytes);
    if (status != ERROR_SUCCESS) return status;
    // RegGetValueW terminates the text; the count includes that NUL.
    size_t chars = bytes / sizeof(wchar_t);
    while (chars > 0 && buffer[chars - 1] == L'\0') --chars;
    text = narrow(std::wstring_view(buffer, chars));
    return status;
}

int32_t Win32Registry::deleteTree(Key key, const std::string& subKey) {
    // An empty name would empty the open key itself.
    if (subKey.empty()) return ERROR_INVALID_PARAMETER;
    return RegDeleteTreeW(toHkey(key), widen(subKey).c_str());
}

void Win32Registry::closeKey(Key key) { RegCloseKey(toHkey(key)); }

} // namespace qv
