#include "capture/win32/Win32CaptureClock.h"

#include <windows.h>

#include <objbase.h>

namespace qv {

namespace {

// Whether this thread's enterThread() initialised COM and so owes an uninitialise.
thread_local bool comEntered = false;

} // namespace

int64_t Win32CaptureClock::now100ns() {
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    if (frequency.QuadPart <= 0) return 0;
    return static_cast<int64_t>(static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart) *
                                10000000.0);
}

uint64_t Win32CaptureClock::tickMs() { return GetTickCount64(); }

void Win32CaptureClock::sleepMs(uint32_t milliseconds) { Sleep(milliseconds); }

void Win32CaptureClock::enterThread() {
    if (comEntered) return;
    comEntered = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
}

void Win32CaptureClock::leaveThread() {
    if (!comEntered) return;
    CoUninitialize();
    comEntered = false;
}

} // namespace qv
