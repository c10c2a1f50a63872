#pragma once
#include <string>
#include <vector>

namespace qv {

class ActionRequestSender;
class VdConsole;

// "quorvane.exe --do [--json] [--keep] TEXT": hands one action, in its text
// form, to the running instance of this user's session and prints its answer
// as one line, "ok: <message>" or "error: <message>" (with --json one JSON
// object). "--do list" prints every accepted text form instead. Runs before
// the single-instance check: it never starts the tray program and writes no
// log.
class DoCommandLine {
public:
    static constexpr const char* kCommand = "--do";

    // Exit codes.
    static constexpr int kDone = 0;
    static constexpr int kFailed = 1;
    static constexpr int kBadUsage = 2;
    static constexpr int kNotRunning = 3;

    // arguments: the command line without the program name, UTF-8. Without
    // a sender every request finds no instance.
    DoCommandLine(std::vector<std::string> arguments, VdConsole& console, ActionRequestSender* sender);

    // False when no argument is "--do" (the normal start goes on). Otherwise
    // attaches the console, runs the command and returns true with its exit
    // code.
    bool run(int& exitCode);

private:
    int runCommand();
    int finish(int exitCode, bool ok, const std::string& message);

    std::vector<std::string> arguments_;
    VdConsole& console_;
    ActionRequestSender* sender_;
    bool json_ = false;
    std::string text_;
    bool hasText_ = false;
};

} // namespace qv
