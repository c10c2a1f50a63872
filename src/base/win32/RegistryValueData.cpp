#include "base/win32/RegistryValueData.h"

namespace qv {

LSTATUS readValueData(HKEY key, const wchar_t* name, DWORD& type, std::vector<uint8_t>& data) {
    // A value rewritten between the two calls answers ERROR_MORE_DATA; a few
    // rounds settle it.
    LSTATUS status = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < 4 && status == ERROR_MORE_DATA; ++attempt) {
        DWORD size = 0;
        status = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
        if (status != ERROR_SUCCESS)
            break;
        data.assign(size, 0);
        status = RegQueryValueExW(key, name, nullptr, &type, data.empty() ? nullptr : data.data(), &size);
        if (status == ERROR_SUCCESS)
            data.resize(size < data.size() ? size : data.size());
    }
    if (status != ERROR_SUCCESS)
        data.clear();
    return status;
}

} // namespace qv
