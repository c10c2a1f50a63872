#include "vdisplay/win32/Win32VdConsole.h"

#include <windows.h>

#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <vector>

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

// Whether a read from the input handle would return without waiting for the
// user. A console in line mode hands over nothing before Enter, so only a
// pressed Enter counts there.
bool inputReady(HANDLE input) {
    DWORD mode = 0;
    if (GetConsoleMode(input, &mode)) {
        DWORD count = 0;
        if (!GetNumberOfConsoleInputEvents(input, &count)) return true;
        if (count == 0) return false;
        std::vector<INPUT_RECORD> events(count);
        DWORD peeked = 0;
        if (!PeekConsoleInputW(input, events.data(), count, &peeked)) return true;
        const bool lines = (mode & ENABLE_LINE_INPUT) != 0;
        for (DWORD i = 0; i < peeked; ++i) {
            const INPUT_RECORD& event = events[i];
            if (event.EventType != KEY_EVENT || !event.Event.KeyEvent.bKeyDown) continue;
            const WCHAR typed = event.Event.KeyEvent.uChar.UnicodeChar;
            if (lines ? typed == L'\r' : typed != 0) return true;
        }
        return false;
    }
    if (GetFileType(input) == FILE_TYPE_PIPE) {
        DWORD available = 0;
        // A pipe whose writer has gone reads as the end of the input.
        if (!PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr)) return true;
        return available > 0;
    }
    return true; // a file or another device: a read does not wait for anyone
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

bool Win32VdConsole::waitForInput(uint32_t timeoutMs) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    // Without an input handle readCharacter answers the end of input at once.
    if (input == nullptr || input == INVALID_HANDLE_VALUE) return true;
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (inputReady(input)) return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        // Console and pipe handles cannot be waited on for "a line is
        // there", so the wait looks again in short steps.
        Sleep(static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 20)));
    }
}

int32_t Win32VdConsole::coInitialize(uint32_t flags) {
    return static_cast<int32_t>(CoInitializeEx(nullptr, static_cast<DWORD>(flags)));
}

void Win32VdConsole::coUninitialize() { CoUninitialize(); }

} // namespace qv
