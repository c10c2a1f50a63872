#pragma once
#include <string>

namespace qv {

class ProcessApi;
class Registry;
class ShellApi;

// Process-level services about privileges and start-up: whether the process
// runs elevated, whether the program starts with Windows (the Run value) and
// switching that, and restarting the program elevated.
class Elevation {
public:
    static constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    static constexpr const char* kRunValue = "Quorvane";
    // The one argument given to the elevated copy, so that it waits for this
    // instance to hand over the single-instance mutex.
    static constexpr const char* kRelaunchedArgument = "--relaunched";
    // Shown or logged when the Run value could not be changed.
    static constexpr const char* kStartupSettingFailed = "Could not update startup setting.";

    Elevation(ProcessApi& process, Registry& registry, ShellApi& shell);

    // True only when the token query succeeds and reports elevation.
    bool isElevated();
    // True only when the Run value exists with type REG_SZ; its data is not compared.
    bool startsWithWindows();
    // Writes the quoted executable path as the Run value (on) or deletes it
    // (off; a missing value counts as success).
    bool setStartWithWindows(bool on);
    // Starts the executable again with the "runas" verb; when that succeeds
    // this instance posts WM_QUIT(0) and true is returned.
    bool relaunchElevated();

    // The process-wide instance used by the free functions below; the entry
    // point installs it. install returns the previous one. The caller keeps
    // ownership.
    static Elevation* install(Elevation* elevation);
    static Elevation* current();

private:
    ProcessApi& process_;
    Registry& registry_;
    ShellApi& shell_;
};

// The installed instance's answers; without one: false, and nothing is done.
bool isElevated();
bool startsWithWindows();
bool setStartWithWindows(bool on);
void relaunchElevated();

} // namespace qv
