#include "vdisplay/VdCommandLine.h"

#include "sim/SimProcess.h"
#include "vdisplay/VdConsole.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace qv {
namespace {

using sim::SimProcess;
using Args = std::vector<std::string>;

TEST(VdCommandLineTest, FindsTheCommandAndItsArguments) {
    struct Case {
        Args arguments;
        std::string command;
        std::string positional;
        std::string backend;  // value of "--backend"
        std::string name;     // value of "--name"
        std::string display;  // value of "--display"
        bool hold;            // "--hold" present
    };
    const std::string display2 = "\\\\.\\DISPLAY2";
    const std::vector<Case> cases = {
        {{}, "", "", "", "", "", false},
        {{"--relaunched"}, "", "", "", "", "", false},
        {{"--vd"}, "", "", "", "", "", false},
        {{"-vd-list"}, "", "", "", "", "", false},
        {{"--VD-list"}, "", "", "", "", "", false},
        {{"--vd-"}, "--vd-", "", "", "", "", false},
        {{"x", "--vd-status", "--vd-list"}, "--vd-status", "", "", "", "", false},
        {{"--vd-create", "2560x1440@144", "--no-hdr", "--8bit"}, "--vd-create", "2560x1440@144", "", "", "", false},
        // An option's value is never the positional argument.
        {{"--vd-create", "--backend", "parsec-vdd"}, "--vd-create", "", "parsec-vdd", "", "", false},
        {{"--vd-destroy", "--backend", "parsec-vdd"}, "--vd-destroy", "", "parsec-vdd", "", "", false},
        {{"--vd-probe", "--display", display2, "5"}, "--vd-probe", "5", "", "", display2, false},
        {{"--vd-probe", "5", "--display", display2}, "--vd-probe", "5", "", "", display2, false},
        // Every option before and after the positional.
        {{"--vd-create", "--backend", "qv-idd", "--name", "Couch", "--display", "d", "--hold", "1280x720@30",
          "--no-hdr"},
         "--vd-create", "1280x720@30", "qv-idd", "Couch", "d", true},
        {{"--vd-create", "1280x720@30", "--hold", "--backend", "qv-idd", "--name", "Couch", "--display", "d"},
         "--vd-create", "1280x720@30", "qv-idd", "Couch", "d", true},
        {{"--backend", "qv-idd", "--vd-destroy", "3", "--name", "n"}, "--vd-destroy", "3", "qv-idd", "n", "", false},
        // Values that look like options, flags or commands are values.
        {{"--vd-create", "--name", "--hold", "1280x720@30"}, "--vd-create", "1280x720@30", "", "--hold", "", false},
        {{"--vd-create", "--name", "--backend", "x"}, "--vd-create", "x", "", "--backend", "", false},
        {{"--vd-create", "--backend", "--name", "--name", "y"}, "--vd-create", "", "--name", "y", "", false},
        {{"--name", "--vd-list", "--vd-status"}, "--vd-status", "", "", "--vd-list", "", false},
        {{"--name", "--vd-list"}, "", "", "", "--vd-list", "", false},
        {{"--vd-create", "--name", "-1", "--display", "--"}, "--vd-create", "", "", "-1", "--", false},
        // The first occurrence of an option counts; one at the end has no value.
        {{"--vd-list", "--backend", "a", "--backend", "b"}, "--vd-list", "", "a", "", "", false},
        {{"--vd-list", "--backend"}, "--vd-list", "", "", "", "", false},
        {{"--vd-destroy", "--hold", "--backend"}, "--vd-destroy", "", "", "", "", true},
        // A positional comes after the command and may begin with one dash.
        {{"5", "--vd-destroy"}, "--vd-destroy", "", "", "", "", false},
        {{"--vd-destroy", "-2"}, "--vd-destroy", "-2", "", "", "", false},
        {{"--vd-destroy", "--", "7"}, "--vd-destroy", "7", "", "", "", false},
    };
    for (const Case& c : cases) {
        SimProcess console;
        VdCommandLine line(c.arguments, console);
        std::string shown;
        for (const auto& a : c.arguments) shown += a + " ";
        SCOPED_TRACE(shown);
        EXPECT_EQ(line.command(), c.command);
        EXPECT_EQ(line.positional(), c.positional);
        EXPECT_EQ(line.option("--backend"), c.backend);
        EXPECT_EQ(line.option("--name"), c.name);
        EXPECT_EQ(line.option("--display"), c.display);
        EXPECT_EQ(line.hasFlag("--hold"), c.hold);
    }
}

TEST(VdCommandLineTest, FlagsMatchWholeArguments) {
    SimProcess console;
    VdCommandLine line({"--vd-create", "--no-hdr", "--8bit=1"}, console);
    EXPECT_TRUE(line.hasFlag("--no-hdr"));
    EXPECT_FALSE(line.hasFlag("--no-vrr"));
    EXPECT_FALSE(line.hasFlag("--8bit"));
}

TEST(VdCommandLineTest, WithoutACommandTheNormalStartGoesOn) {
    SimProcess console;
    VdCommandLine line({"--relaunched"}, console);
    int exitCode = 42;
    EXPECT_FALSE(line.run(exitCode));
    EXPECT_EQ(exitCode, 42);
    EXPECT_TRUE(console.calls.empty());
    EXPECT_EQ(console.consoleOutput, "");
}

TEST(VdCommandLineTest, UnknownCommandIsEchoedWithExitCode1) {
    SimProcess console;
    console.parentHasConsole = true;
    VdCommandLine line({"--vd-nothing", "--backend", "x"}, console);
    int exitCode = 0;
    EXPECT_TRUE(line.run(exitCode));
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(console.consoleOutput, "\nunknown command --vd-nothing\n");
}

TEST(VdCommandLineTest, StreamsGoToTheConsoleUnlessAlreadyConnected) {
    using Stream = VdConsole::Stream;
    const std::string attach = "AttachConsole(ATTACH_PARENT_PROCESS)";
    const std::string alloc = "AllocConsole";
    const std::string out = "freopen(CONOUT$, stdout)";
    const std::string err = "freopen(CONOUT$, stderr)";
    const std::string in = "freopen(CONIN$, stdin)";
    struct Case {
        const char* name;
        bool parentConsole;
        std::set<Stream> inherited;
        std::vector<std::string> calls;
    };
    const std::vector<Case> cases = {
        {"started from a console window", true, {}, {attach, out, err, in}},
        {"started without a console", false, {}, {attach, alloc, out, err, in}},
        // Output redirected to a pipe or file by the caller: keep it, and
        // create no console window for it.
        {"output redirected", false, {Stream::Output, Stream::Error}, {attach, in}},
        {"every stream redirected", false, {Stream::Input, Stream::Output, Stream::Error}, {attach}},
        {"only output redirected", false, {Stream::Output}, {attach, alloc, err, in}},
        {"console window, output redirected", true, {Stream::Output}, {attach, err, in}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimProcess console;
        console.parentHasConsole = c.parentConsole;
        console.inheritedStreams = c.inherited;
        VdCommandLine line({"--vd-x"}, console);
        int exitCode = 0;

        ASSERT_TRUE(line.run(exitCode));

        std::vector<std::string> expected = c.calls;
        expected.push_back("CoInitializeEx(2)");
        expected.push_back("CoUninitialize");
        EXPECT_EQ(console.calls, expected);
        // The empty line comes first, after the streams are connected.
        EXPECT_EQ(console.consoleOutput.rfind("\n", 0), 0u);
    }
}

} // namespace
} // namespace qv
