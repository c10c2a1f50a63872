#pragma once
#include "base/CrashApi.h"

#include <string>

namespace qv {

// Minidumps of unhandled exceptions, written into one folder (the log folder)
// through CrashApi::current(), with the folder trimmed at start so that old
// dumps do not pile up. The folder is process-wide, set by install.
class CrashDumps {
public:
    // Remembers the folder, creates its chain (errors ignored), prunes it to
    // `keep` dumps (values below 1 count as 1), then installs the crash filter
    // and turns off the system's error dialogs. Paths are UTF-8, Windows form.
    static void install(const std::string& folder, int keep);

    // Deletes the oldest dumps of the folder until at most `keep` remain.
    // Dumps are the regular files whose extension is exactly ".dmp"; they are
    // ordered by full path in UTF-16 code-unit order, which for the dump names
    // is oldest first. Failures are ignored.
    static void prune(const std::string& folder, int keep);

    // "crash-YYYYMMDD-HHMMSS.dmp" for the given local time.
    static std::string fileName(const CrashApi::LocalTime& time);

private:
    // The crash filter: writes a dump named after the local time into the
    // folder, logs one line, and lets the process end.
    static long onUnhandledException(const CrashApi::Exception& exception);
};

} // namespace qv
