#pragma once
#include "capture/CapturePorts.h"

#include <windows.h>

namespace qv {

// The NDI runtime library through the Windows loader. Holds at most one
// loaded module; the destructor leaves it loaded, because the runtime stays
// for the life of the process once it has been initialised.
class Win32NdiLibrary final : public NdiLibrary {
public:
    Win32NdiLibrary() = default;
    Win32NdiLibrary(const Win32NdiLibrary&) = delete;
    Win32NdiLibrary& operator=(const Win32NdiLibrary&) = delete;

    bool environment(const std::string& name, std::string& value, size_t& utf16Length) override;
    // GetModuleFileNameW cut before its last backslash; "" when that fails.
    std::string executableFolder() override;
    // LoadLibraryExW with LOAD_WITH_ALTERED_SEARCH_PATH.
    bool loadFromPath(const std::string& path) override;
    // LoadLibraryExW with LOAD_LIBRARY_SEARCH_DEFAULT_DIRS: the program's
    // folder, System32 and folders added with AddDllDirectory, never the
    // current directory or PATH.
    bool loadByName(const std::string& name) override;
    void* symbol(const char* name) override;
    void unload() override;

private:
    bool keep(HMODULE module);

    HMODULE module_ = nullptr;
};

} // namespace qv
