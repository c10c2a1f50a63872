#pragma once
#include <cstdint>
#include <string>

namespace qv {

// What the crash handler asks of the system: a process-wide filter for
// exceptions that nothing handles, the error mode, the local time and the
// writing of a minidump. The Win32 implementation converts and calls; the
// decisions are CrashDumps'.
class CrashApi {
public:
    // An exception that nothing handled, as the filter receives it.
    struct Exception {
        // The system's exception pointers (EXCEPTION_POINTERS*), passed through
        // untouched; null when the system gave none.
        const void* pointers = nullptr;
        // The code from the exception record; 0 when there is none.
        uint32_t code = 0;
    };

    // The local time, field by field as GetLocalTime reports it.
    struct LocalTime {
        uint16_t year = 0;
        uint16_t month = 0; // 1 to 12
        uint16_t day = 0;
        uint16_t hour = 0;
        uint16_t minute = 0;
        uint16_t second = 0;
    };

    // Called with the exception; returns what the system's filter returns.
    using Filter = long (*)(const Exception& exception);

    // The filter result that lets the process end without the crash dialog
    // (EXCEPTION_EXECUTE_HANDLER; excpt.h, learn.microsoft.com
    // "UnhandledExceptionFilter function").
    static constexpr long kExecuteHandler = 1;
    // SetErrorMode flags: SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX
    // (0x1 | 0x2; learn.microsoft.com "SetErrorMode function").
    static constexpr uint32_t kErrorModeNoDialogs = 0x3;
    // MiniDumpWithDataSegs | MiniDumpWithUnloadedModules |
    // MiniDumpWithIndirectlyReferencedMemory | MiniDumpWithThreadInfo
    // (0x1 | 0x20 | 0x40 | 0x1000; learn.microsoft.com "MINIDUMP_TYPE enumeration").
    static constexpr uint32_t kDumpType = 0x1061;

    virtual ~CrashApi() = default;

    // Makes `filter` the process's top-level exception filter.
    virtual void installFilter(Filter filter) = 0;
    virtual void setErrorMode(uint32_t mode) = 0;
    virtual LocalTime localTime() = 0;
    // Creates (or replaces) the file at path, unshared, and writes a minidump
    // of the current process of the given type into it, with the exception's
    // information when it has pointers. False when the file could not be
    // created or the dump could not be written.
    virtual bool writeMinidump(const std::string& path, const Exception& exception, uint32_t dumpType) = 0;

    // The process-wide implementation. Until one is installed, a stand-in that
    // installs nothing and writes no dump is used. install returns the
    // previous one; nullptr reinstalls the stand-in. The caller keeps ownership.
    static CrashApi& current();
    static CrashApi* install(CrashApi* api);
};

} // namespace qv
