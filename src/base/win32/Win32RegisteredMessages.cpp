#include "base/win32/Win32RegisteredMessages.h"

#include "base/win32/Utf16.h"

#include <windows.h>

#include <map>
#include <mutex>

namespace qv {

unsigned int registeredMessage(const std::string& name) {
    static std::mutex mutex;
    static std::map<std::string, UINT> ids;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = ids.find(name);
    if (it != ids.end()) return it->second;
    UINT id = RegisterWindowMessageW(widen(name).c_str());
    // A failed registration (0) is asked again next time.
    if (id != 0) ids[name] = id;
    return id;
}

} // namespace qv
