#include "app/win32/Win32CommandLine.h"

#include "base/win32/Utf16.h"

#include <windows.h>

#include <shellapi.h>

namespace qv {

std::vector<std::string> processArguments() {
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv) return arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(narrow(argv[i]));
    LocalFree(argv);
    return arguments;
}

} // namespace qv
