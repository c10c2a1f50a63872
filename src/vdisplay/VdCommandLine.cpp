#include "vdisplay/VdCommandLine.h"

#include "base/StrPrintf.h"
#include "vdisplay/VdConsole.h"

#include <algorithm>

namespace qv {

namespace {

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

} // namespace

VdCommandLine::VdCommandLine(std::vector<std::string> arguments, VdConsole& console)
    : arguments_(std::move(arguments)), console_(console) {
    for (const std::string& argument : arguments_) {
        if (argument.size() > 4 && startsWith(argument, kPrefix)) {
            command_ = argument;
            break;
        }
    }
}

bool VdCommandLine::hasFlag(const std::string& flag) const {
    return std::find(arguments_.begin(), arguments_.end(), flag) != arguments_.end();
}

std::string VdCommandLine::option(const std::string& name) const {
    auto it = std::find(arguments_.begin(), arguments_.end(), name);
    if (it == arguments_.end() || std::next(it) == arguments_.end()) return std::string();
    return *std::next(it);
}

std::string VdCommandLine::positional() const {
    auto it = std::find(arguments_.begin(), arguments_.end(), command_);
    if (command_.empty() || it == arguments_.end()) return std::string();
    for (++it; it != arguments_.end(); ++it) {
        if (!startsWith(*it, "--")) return *it;
    }
    return std::string();
}

bool VdCommandLine::run(int& exitCode) {
    if (command_.empty()) return false;
    attachConsole();
    console_.print("\n");
    console_.coInitialize(VdConsole::kCoInitApartmentThreaded);
    exitCode = runCommand();
    console_.coUninitialize();
    return true;
}

void VdCommandLine::attachConsole() {
    using Stream = VdConsole::Stream;
    // Streams the process was given (a pipe or a file from a shell's
    // redirection) are kept: reopening them on the console would lose the
    // output. Only streams without a working handle go to the console, and a
    // console is created only when the parent has none and some output
    // stream needs one.
    const bool input = console_.hasStandardHandle(Stream::Input);
    const bool output = console_.hasStandardHandle(Stream::Output);
    const bool error = console_.hasStandardHandle(Stream::Error);
    if (!console_.attachParentConsole() && !(output && error)) console_.allocConsole();
    if (!output) console_.reopenOnConsole(Stream::Output);
    if (!error) console_.reopenOnConsole(Stream::Error);
    if (!input) console_.reopenOnConsole(Stream::Input);
}

int VdCommandLine::runCommand() {
    console_.print(strprintf("unknown command %s\n", command_.c_str()));
    return 1;
}

} // namespace qv
