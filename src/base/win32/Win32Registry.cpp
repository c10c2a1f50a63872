#include "base/win32/Win32Registry.h"

#include "base/win32/Utf16.h"

#include <windows.h>

#include <cstdint>

namespace qv {

namespace {

HKEY toHkey(Registry::Key key) { return reinterpret_cast<HKEY>(static_cast<uintptr_t>(key)); }

HKEY rootKey(Registry::Root root) {
    return reinterpret_cast<HKEY>(static_cast<uintptr_t>(static_cast<uint32_t>(root)));
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

void Win32Registry::closeKey(Key key) { RegCloseKey(toHkey(key)); }

} // namespace qv
