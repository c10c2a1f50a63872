#include "windows/win32/Win32WindowEvents.h"

#include <windows.h>

#include <utility>

namespace qv {

namespace {

// The one running instance's callback; WinEvent procedures carry no context.
std::function<void()>* g_changed = nullptr;

void CALLBACK onWinEvent(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD, DWORD) {
    // Only the windows themselves, not their carets, scroll bars or cursors.
    if (window == nullptr || object != OBJID_WINDOW || child != CHILDID_SELF) return;
    if (g_changed != nullptr && *g_changed) (*g_changed)();
}

} // namespace

Win32WindowEvents::~Win32WindowEvents() { stop(); }

bool Win32WindowEvents::start(std::function<void()> changed) {
    stop();
    g_changed = new std::function<void()>(std::move(changed));
    // winuser.h event ranges, learn.microsoft.com "Event Constants".
    const std::pair<DWORD, DWORD> ranges[] = {
        {EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND},
        {EVENT_SYSTEM_MOVESIZEEND, EVENT_SYSTEM_MOVESIZEEND},
        {EVENT_SYSTEM_MINIMIZESTART, EVENT_SYSTEM_MINIMIZEEND},
    };
    for (const auto& [first, last] : ranges) {
        const DWORD flags = WINEVENT_OUTOFCONTEXT | (includeOwnProcess_ ? 0 : WINEVENT_SKIPOWNPROCESS);
        HWINEVENTHOOK hook = SetWinEventHook(first, last, nullptr, onWinEvent, 0, 0, flags);
        if (hook != nullptr) hooks_.push_back(hook);
    }
    return !hooks_.empty();
}

void Win32WindowEvents::stop() {
    for (void* hook : hooks_) UnhookWinEvent(static_cast<HWINEVENTHOOK>(hook));
    hooks_.clear();
    delete g_changed;
    g_changed = nullptr;
}

} // namespace qv
