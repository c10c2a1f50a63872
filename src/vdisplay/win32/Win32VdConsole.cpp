#include "vdisplay/win32/Win32VdConsole.h"

#include <windows.h>

#include <objbase.h>

#include <atomic>
#include <cstdio>
#include <io.h>

namespace qv {

static_assert(VdConsole::kCoInitApartmentThreaded == COINIT_APARTMENTTHREADED); // mingw's objbase.h

namespace {

DWORD standardHandleId(VdConsole::Stream stream) {
    switch (stream) {
    case VdConsole::Stream::Input: return STD_INPUT_HANDLE;
    case VdConsole::Stream::Output: return STD_OUTPUT_HANDLE;
    case VdConsole::Stream::Error: return STD_ERROR_HANDLE;
    }
    return STD_OUTPUT_HANDLE;
}

// A console's control handlers belong to the process, and the system calls
// them on a thread it creates for each event, which may still be on its way
// to these events after the console object is gone: they are made once and
// live as long as the process.
struct ControlEvents {
    HANDLE arrived = CreateEventW(nullptr, TRUE, FALSE, nullptr);   // manual reset
    HANDLE released = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // manual reset
};

ControlEvents& controlEvents() {
    static ControlEvents events;
    return events;
}

// Every control event (Ctrl+C, Ctrl+Break, close, logoff, shutdown) wakes the
// hold and waits for the main thread's release before returning: for
// CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT and CTRL_SHUTDOWN_EVENT the system ends
// the process as soon as a handler returns, and returning TRUE keeps the
// default handler's ExitProcess from running for Ctrl+C and Ctrl+Break
// (learn.microsoft.com: "HandlerRoutine callback function",
// "SetConsoleCtrlHandler function").
BOOL WINAPI holdControlEvent(DWORD) {
    ControlEvents& events = controlEvents();
    SetEvent(events.arrived);
    WaitForSingleObject(events.released, INFINITE);
    return TRUE;
}

// The end of the user's session. A process that loads user32 gets no
// CTRL_LOGOFF_EVENT or CTRL_SHUTDOWN_EVENT in its console handler; a hidden
// top-level window gets WM_QUERYENDSESSION and WM_ENDSESSION instead, and the
// session ends as soon as every window has returned from WM_ENDSESSION
// (learn.microsoft.com: "HandlerRoutine callback function",
// "WM_ENDSESSION message"). Message-only windows get no broadcasts, so the
// window is an ordinary one that is never shown, on a thread of its own
// because the hold's thread waits on the console instead of pumping
// messages.
constexpr wchar_t kSessionWindowClass[] = L"QuorvaneConsoleHold";

LRESULT CALLBACK sessionWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_QUERYENDSESSION:
        // The monitor is removed when the session really ends, not when it
        // is only asked: another program may still cancel.
        return TRUE;
    case WM_ENDSESSION:
        if (wParam) {
            ControlEvents& events = controlEvents();
            SetEvent(events.arrived);
            WaitForSingleObject(events.released, INFINITE);
        }
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

struct SessionWindowStart {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HWND window = nullptr;
};

DWORD WINAPI runSessionWindow(void* context) {
    auto* start = static_cast<SessionWindowStart*>(context);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = sessionWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kSessionWindowClass;
    RegisterClassExW(&windowClass);  // fails harmlessly when a previous hold registered it
    HWND window = CreateWindowExW(0, kSessionWindowClass, L"Quorvane", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                  instance, nullptr);
    start->window = window;
    SetEvent(start->ready);  // start is the creator's from here on
    if (!window) return 0;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

// One read of standard input on a thread of its own, so that the hold can
// wait for it and for a control event at once. Shared by the thread and the
// waiter; whichever lets go last frees it, so a read that cannot be cancelled
// may outlive the wait.
struct InputRead {
    HANDLE input = INVALID_HANDLE_VALUE;
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // A whole console line, so that no rest of it is left for the shell
    // that started the program.
    char buffer[512] = {};
    std::atomic<int> owners{2};

    void letGo() {
        if (owners.fetch_sub(1) == 1) {
            if (done) CloseHandle(done);
            delete this;
        }
    }
};

DWORD WINAPI readInput(void* context) {
    auto* read = static_cast<InputRead*>(context);
    DWORD count = 0;
    ReadFile(read->input, read->buffer, sizeof read->buffer, &count, nullptr);
    SetEvent(read->done);
    read->letGo();
    return 0;
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

void Win32VdConsole::catchControlEvents() {
    ControlEvents& events = controlEvents();
    ResetEvent(events.released);
    ResetEvent(events.arrived);
    SetConsoleCtrlHandler(holdControlEvent, TRUE);
    startSessionWindow();
}

void Win32VdConsole::startSessionWindow() {
    if (sessionThread_) return;
    SessionWindowStart start;
    if (!start.ready) return;
    HANDLE thread = CreateThread(nullptr, 0, runSessionWindow, &start, 0, nullptr);
    if (thread) {
        WaitForSingleObject(start.ready, INFINITE);
        if (start.window) {
            sessionThread_ = thread;
            sessionWindow_ = start.window;
        } else {
            // Without a window the console handler still covers Ctrl+C,
            // Ctrl+Break and the console window closing.
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
        }
    }
    CloseHandle(start.ready);
}

void Win32VdConsole::stopSessionWindow() {
    if (!sessionThread_) return;
    HANDLE thread = static_cast<HANDLE>(sessionThread_);
    // Posted, not sent: a WM_ENDSESSION being handled returns first (the
    // release is done), then the window closes and its loop ends.
    PostMessageW(static_cast<HWND>(sessionWindow_), WM_CLOSE, 0, 0);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    sessionThread_ = nullptr;
    sessionWindow_ = nullptr;
}

bool Win32VdConsole::controlEventArrived() {
    return WaitForSingleObject(controlEvents().arrived, 0) == WAIT_OBJECT_0;
}

VdConsole::Release Win32VdConsole::waitForRelease(uint32_t timeoutMs) {
    ControlEvents& events = controlEvents();
    if (read_ == nullptr) {
        auto* read = new InputRead;
        // The handle behind the C runtime's stdin, which may have been
        // reopened on "CONIN$".
        read->input = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdin)));
        HANDLE thread = read->done ? CreateThread(nullptr, 0, readInput, read, 0, nullptr) : nullptr;
        if (!thread) {
            // No thread: read here; a control event then waits for the input.
            read->owners = 1;
            DWORD count = 0;
            ReadFile(read->input, read->buffer, sizeof read->buffer, &count, nullptr);
            read->letGo();
            return WaitForSingleObject(events.arrived, 0) == WAIT_OBJECT_0 ? Release::ControlEvent : Release::Input;
        }
        read_ = read;
        readThread_ = thread;
    }
    // The read begun by an earlier wait that timed out is still the one
    // waited for: a line typed meanwhile is not lost.
    auto* read = static_cast<InputRead*>(read_);
    HANDLE waits[] = {read->done, events.arrived};
    if (WaitForMultipleObjects(2, waits, FALSE, timeoutMs) == WAIT_TIMEOUT) return Release::TimedOut;
    // A console read that Ctrl+C interrupts may end together with the
    // event: the event decides.
    const bool control = WaitForSingleObject(events.arrived, 0) == WAIT_OBJECT_0;
    endRead();
    return control ? Release::ControlEvent : Release::Input;
}

void Win32VdConsole::endRead() {
    if (read_ == nullptr) return;
    auto* read = static_cast<InputRead*>(read_);
    HANDLE thread = static_cast<HANDLE>(readThread_);
    if (WaitForSingleObject(read->done, 0) != WAIT_OBJECT_0) {
        // Nobody will answer the read any more: cancel it and give the
        // thread a moment to end. One the system cannot cancel keeps its
        // share of the state and ends with the process.
        CancelSynchronousIo(thread);
        WaitForSingleObject(thread, 200);
    } else {
        WaitForSingleObject(thread, INFINITE);
    }
    CloseHandle(thread);
    read->letGo();
    read_ = nullptr;
    readThread_ = nullptr;
}

void Win32VdConsole::releaseControlEvents() {
    // A hold that ended without input (its driver dropped the monitor)
    // leaves a read waiting.
    endRead();
    // Waiting handlers return first: removing a handler can wait for a
    // running one (Wine holds the handler list's lock around the calls), and
    // an event that comes in between finds the release done and returns.
    SetEvent(controlEvents().released);
    SetConsoleCtrlHandler(holdControlEvent, FALSE);
    stopSessionWindow();
}

int32_t Win32VdConsole::coInitialize(uint32_t flags) {
    return static_cast<int32_t>(CoInitializeEx(nullptr, static_cast<DWORD>(flags)));
}

void Win32VdConsole::coUninitialize() { CoUninitialize(); }

} // namespace qv
