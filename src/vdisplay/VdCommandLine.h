#pragma once
#include <memory>
#include <string>
#include <vector>

namespace qv {

class DisplayConfigApi;
class DisplayManager;
class VdConsole;
struct DisplayInfo;

namespace vdisplay {
class Backend;
class DesktopDuplication;
class VdBackends;
class VdClock;
} // namespace vdisplay

// The virtual display console commands: when an argument begins with "--vd-"
// the process runs that command in a console instead of the tray program.
class VdCommandLine {
public:
    static constexpr const char* kPrefix = "--vd-";

    // What the commands work with. A missing service makes the commands that
    // need it fail as if the machine had none (no displays, no backend, no
    // DXGI); a missing clock is the steady clock.
    struct Services {
        DisplayConfigApi* displays = nullptr;
        vdisplay::VdBackends* backends = nullptr;
        vdisplay::DesktopDuplication* duplication = nullptr;
        vdisplay::VdClock* clock = nullptr;
    };

    // arguments: the command line without the program name, UTF-8.
    VdCommandLine(std::vector<std::string> arguments, VdConsole& console, Services services);
    VdCommandLine(std::vector<std::string> arguments, VdConsole& console);
    ~VdCommandLine();

    // The first argument longer than 4 characters that begins with "--vd-"
    // and is not an option's value; empty when there is none.
    const std::string& command() const { return command_; }
    // True when some argument that is not an option's value equals the flag
    // exactly.
    bool hasFlag(const std::string& flag) const;
    // The value of the first occurrence of the option; empty when the option
    // is missing or is the last argument.
    std::string option(const std::string& name) const;
    // The first argument after the command that is neither an option (it
    // begins with "--") nor an option's value; empty when there is none.
    std::string positional() const;

    // Gives the process's standard streams a place to go: streams it was
    // given (a pipe, a file) are kept, the others go to the parent's console
    // or a new one. Shared by every console command.
    static void attachConsole(VdConsole& console);

    // False when there is no command (the normal start goes on). Otherwise
    // attaches the console, runs the command and returns true with its exit code.
    bool run(int& exitCode);

private:
    int runCommand();

    int status();
    int list();
    int create();
    int destroy(bool all);
    int installDevice(bool install);
    int probe();

    // The backend chosen for "--backend" (or automatically), opened; null
    // after printing why not.
    std::unique_ptr<vdisplay::Backend> openChosen();
    std::vector<DisplayInfo> enumerate();
    void printTable(const char* title, const std::vector<DisplayInfo>& displays);
    void printComparison(const std::vector<DisplayInfo>& earlier, const std::vector<DisplayInfo>& later);
    void print(const std::string& text);

    std::vector<std::string> arguments_;
    VdConsole& console_;
    Services services_;
    std::unique_ptr<vdisplay::VdClock> steadyClock_;
    std::unique_ptr<vdisplay::VdBackends> noBackends_;
    std::unique_ptr<DisplayManager> displays_;
    // Per argument: true when it is the value of the option before it.
    std::vector<bool> isValue_;
    std::string command_;
    size_t commandIndex_ = 0;
};

} // namespace qv
