#include "base/win32/SystemMessage.h"

#include "base/ErrorText.h"
#include "base/win32/Utf16.h"

#include <windows.h>

namespace qv {

std::string systemMessage(uint32_t code) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&buffer),
                       0, nullptr);
    std::string text;
    if (length != 0 && buffer != nullptr)
        text = narrow(std::wstring_view(buffer, length));
    if (buffer != nullptr)
        LocalFree(buffer);
    return text;
}

std::string errorDescription(uint32_t code) { return errorLine(systemMessage(code), code); }

} // namespace qv
