#pragma once
#include <string>
#include <vector>

namespace qv {

class VdConsole;

// The virtual display console commands: when an argument begins with "--vd-"
// the process runs that command in a console instead of the tray program.
class VdCommandLine {
public:
    static constexpr const char* kPrefix = "--vd-";

    // arguments: the command line without the program name, UTF-8.
    VdCommandLine(std::vector<std::string> arguments, VdConsole& console);

    // The first argument longer than 4 characters that begins with "--vd-";
    // empty when there is none.
    const std::string& command() const { return command_; }
    // True when some argument equals the flag exactly.
    bool hasFlag(const std::string& flag) const;
    // The argument right after the first argument equal to the name; empty
    // when there is none.
    std::string option(const std::string& name) const;
    // The first argument after the command that does not begin with "--";
    // empty when there is none.
    std::string positional() const;

    // False when there is no command (the normal start goes on). Otherwise
    // attaches the console, runs the command and returns true with its exit code.
    bool run(int& exitCode);

private:
    void attachConsole();
    int runCommand();

    std::vector<std::string> arguments_;
    VdConsole& console_;
    std::string command_;
};

} // namespace qv
