#include "vdisplay/win32/Win32VdConsole.h"

#include <windows.h>

#include <objbase.h>

#include <cstdio>

namespace qv {

namespace {

DWORD standardHandleId(VdConsole::Stream stream) {
    switch (stream) {
    case VdConsole::Stream::Input: return STD_INPUT_HANDLE;
    case VdConsole::Stream::Output: return STD_OUTPUT_HANDLE;
    case VdConsole::Stream::Error: return STD_ERROR_HANDLE;
    }
    return STD_OUTPUT_HANDLE;
}

} // namespace

bool Win32VdConsole::attachParentConsole() { return AttachConsole(ATTACH_PARENT_PROCESS) != FALSE; }

bool Win32VdConsole::allocConsole() { return AllocConsole() != FALSE; }

bool Win32VdConsole::hasStandardHandle(Stream stream) {
    HANDLE handle = GetStdHandle(standardHandleId(stream));
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    return GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

void Win32VdConsole::reopenOnConsole(Stream stream) {
    FILE* reopened = nullptr;
    switch (stream) {
    case Stream::Input: reopened = std::freopen("CONIN$", "r", stdin); break;
    case Stream::Output: reopened = std::freopen("CONOUT$", "w", stdout); break;
    case Stream::Error: reopened = std::freopen("CONOUT$", "w", stderr); break;
    }
    (void)reopened;
}

void Win32VdConsole::print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

int Win32VdConsole::readCharacter() { return std::fgetc(stdin); }

int32_t Win32VdConsole::coInitialize(uint32_t flags) {
    return static_cast<int32_t>(CoInitializeEx(nullptr, static_cast<DWORD>(flags)));
}

void Win32VdConsole::coUninitialize() { CoUninitialize(); }

} // namespace qv
