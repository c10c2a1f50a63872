#include "base/win32/Win32CrashApi.h"

#include "base/win32/Utf16.h"

#include <windows.h>

#include <dbghelp.h>

#include <atomic>

namespace qv {

// mingw's winbase.h, excpt.h and dbghelp.h, a second source for the filter
// result, the error mode and the dump type the crash handler writes by hand.
static_assert(CrashApi::kExecuteHandler == EXCEPTION_EXECUTE_HANDLER);
static_assert(CrashApi::kErrorModeNoDialogs == (SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX));
static_assert(CrashApi::kDumpType == (MiniDumpWithDataSegs | MiniDumpWithUnloadedModules |
                                      MiniDumpWithIndirectlyReferencedMemory | MiniDumpWithThreadInfo));

namespace {

std::atomic<CrashApi::Filter> g_filter{nullptr};

LONG WINAPI topLevelFilter(EXCEPTION_POINTERS* pointers) {
    CrashApi::Filter filter = g_filter.load();
    if (!filter) return EXCEPTION_CONTINUE_SEARCH;
    CrashApi::Exception exception;
    exception.pointers = pointers;
    exception.code = pointers && pointers->ExceptionRecord ? pointers->ExceptionRecord->ExceptionCode : 0;
    return filter(exception);
}

} // namespace

void Win32CrashApi::installFilter(Filter filter) {
    g_filter.store(filter);
    SetUnhandledExceptionFilter(&topLevelFilter);
}

void Win32CrashApi::setErrorMode(uint32_t mode) { SetErrorMode(mode); }

CrashApi::LocalTime Win32CrashApi::localTime() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    LocalTime t;
    t.year = st.wYear;
    t.month = st.wMonth;
    t.day = st.wDay;
    t.hour = st.wHour;
    t.minute = st.wMinute;
    t.second = st.wSecond;
    return t;
}

bool Win32CrashApi::writeMinidump(const std::string& path, const Exception& exception, uint32_t dumpType) {
    HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    MINIDUMP_EXCEPTION_INFORMATION info{};
    info.ThreadId = GetCurrentThreadId();
    info.ExceptionPointers = static_cast<EXCEPTION_POINTERS*>(const_cast<void*>(exception.pointers));
    info.ClientPointers = FALSE;
    BOOL written = MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), file,
                                     static_cast<MINIDUMP_TYPE>(dumpType), exception.pointers ? &info : nullptr,
                                     nullptr, nullptr);
    CloseHandle(file);
    return written != FALSE;
}

} // namespace qv
