#include "update/UpdateInstaller.h"

#include "sim/SimDebugOutput.h"
#include "sim/SimFileSystem.h"
#include "sim/SimProcess.h"
#include "sim/SimUpdateHost.h"
#include "sim/SimUpdateServer.h"
#include "update/UpdateCheck.h"
#include "update/UpdateFetcher.h"
#include "update/UpdateFlow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace qv {
namespace {

using sim::SimFileSystem;
using sim::SimUpdateServer;

constexpr const char* kTemp = "C:\\Users\\ann\\AppData\\Local\\Temp\\";
constexpr const char* kInstallerUrl = "https://dl.test/quorvane-1.4.0.exe";
const std::string kInstaller = "MZ new build";
const std::string kDigest = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
constexpr const char* kProgramFolder = "C:\\Program Files\\Quorvane";
// The staging folder's security descriptor, written here from the SDDL
// reference (learn.microsoft.com/windows/win32/secauthz/security-descriptor-string-format,
// ace-strings, sid-strings): protected DACL; system and administrators full
// access (FA), users read and execute (FR FX); inherited by files and folders.
constexpr const char* kExpectedSddl = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)";

// What cmd.exe runs of its command line after /s /c, per "cmd /?": with /s
// the first and the last double quote of the rest are removed and the rest
// is kept as it is.
std::string cmdRunsWithS(const std::string& parameters) {
    const std::string prefix = "/s /c ";
    if (parameters.rfind(prefix, 0) != 0) return "(no /s /c)";
    std::string rest = parameters.substr(prefix.size());
    const size_t first = rest.find('"');
    const size_t last = rest.rfind('"');
    if (first == std::string::npos || first == last) return rest;
    rest.erase(last, 1);
    rest.erase(first, 1);
    return rest;
}

TEST(UpdateHelperScriptTest, IsExactWithCrLfAndDoubledPercent) {
    const std::string script = updateHelperScript(4242, "C:\\Users\\a%b\\AppData\\Local\\Temp\\Quorvane.update.exe",
                                                   "C:\\Program Files\\Quorvane 100%\\quorvane.exe");
    EXPECT_EQ(script,
              "@echo off\r\n"
              ":loop\r\n"
              "tasklist /FI \"PID eq 4242\" | find \"4242\" >nul 2>&1 && (timeout /t 1 /nobreak >nul & goto loop)\r\n"
              "move /Y \"C:\\Users\\a%%b\\AppData\\Local\\Temp\\Quorvane.update.exe\" "
              "\"C:\\Program Files\\Quorvane 100%%\\quorvane.exe\" >nul\r\n"
              "start \"\" \"C:\\Program Files\\Quorvane 100%%\\quorvane.exe\"\r\n"
              "del \"%~f0\"\r\n");
}

// cmd reads the script in the console's code page: a path beyond ASCII
// switches it to UTF-8 before any path is read.
TEST(UpdateHelperScriptTest, APathBeyondAsciiIsReadAsUtf8) {
    struct Case {
        const char* what;
        const char* download;
        const char* exe;
        bool switched;
    };
    const Case cases[] = {
        {"ASCII only", "C:\\Temp\\Quorvane.update.exe", "C:\\Q\\quorvane.exe", false},
        {"the user folder", "C:\\Users\\Jos\xC3\xA9\\Temp\\Quorvane.update.exe", "C:\\Q\\quorvane.exe", true},
        {"the program folder", "C:\\Temp\\Quorvane.update.exe", "D:\\\xD0\x9F\xD1\x80\\quorvane.exe", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string script = updateHelperScript(7, c.download, c.exe);
        EXPECT_EQ(script.rfind(c.switched ? "@echo off\r\nchcp 65001 >nul\r\n:loop\r\n" : "@echo off\r\n:loop\r\n", 0), 0u);
        EXPECT_NE(script.find(std::string("move /Y \"") + c.download + "\" \"" + c.exe + "\" >nul\r\n"), std::string::npos);
    }
}

class UpdateInstallTest : public ::testing::Test {
public: // the failure table's set-up steps reach the members
    UpdateInstallTest() {
        files.addFolder("C:\\Users\\ann\\AppData\\Local\\Temp");
        files.addFolder("C:\\Windows\\Temp");
        files.addFolder(kProgramFolder);
        server.serveBody(kInstallerUrl, kInstaller);
        host.digestOfContent[kInstaller] = kDigest;
        info.available = true;
        info.current = "1.3.9";
        info.latest = "1.4.0";
        info.url = kInstallerUrl;
        info.sha256 = kDigest;
    }
    // The script the last started helper runs, as cmd.exe would name it.
    std::string startedScript() const {
        if (host.started.empty()) return "(nothing started)";
        const std::string run = cmdRunsWithS(host.started.back().parameters);
        if (run.size() < 2 || run.front() != '"' || run.back() != '"') return "(not one quoted path: " + run + ")";
        return run.substr(1, run.size() - 2);
    }
    // The download staged beside a script.
    static std::string downloadBeside(const std::string& script) {
        return script.substr(0, script.size() - 4) + ".exe";
    }
    // Files under a folder, sorted.
    std::vector<std::string> filesIn(const std::string& folder) const {
        std::vector<std::string> out;
        for (const std::string& path : files.files())
            if (path.rfind(folder, 0) == 0) out.push_back(path);
        return out;
    }

    sim::CapturedLog log;
    SimFileSystem files;
    SimUpdateServer server;
    sim::SimUpdateHost host{&files};
    sim::SimProcess process;
    UpdateFetcher fetcher{server, files, "https://updates.test/quorvane", ""};
    UpdateInstaller installer{fetcher, host, host, host, process, files};
    UpdateInfo info;
    std::string error;
};

TEST_F(UpdateInstallTest, StagesTheDownloadUnderANameOfItsOwnAndStartsTheHelper) {
    const std::string older = std::string(kTemp) + "Quorvane.update.cmd";
    files.setFile(older, "an older helper");
    info.sha256 = "9F86D081884C7D659A2FEAA0C55AD015A3BF4F1B2B0B822CD15D6C15B0F00A08"; // upper case matches

    ASSERT_TRUE(installer.installUpdate(info, error)) << error;
    EXPECT_EQ(error, "");
    const std::string script = startedScript();
    const std::string download = downloadBeside(script);
    EXPECT_EQ(script.rfind(std::string(kTemp) + "Quorvane.update.4242.", 0), 0u) << script;
    EXPECT_EQ(files.content(download), kInstaller);
    EXPECT_EQ(files.content(script), updateHelperScript(4242, download, process.exePath));
    EXPECT_EQ(files.content(older), "an older helper") << "another install's files are left alone";
    ASSERT_EQ(host.started.size(), 1u);
    EXPECT_EQ(host.started[0].file, "cmd.exe");
    EXPECT_EQ(host.started[0].parameters, "/s /c \"\"" + script + "\"\"");
    EXPECT_EQ(host.started[0].directory, "");
    EXPECT_EQ(host.started[0].show, 0); // SW_HIDE
    EXPECT_GT(host.started[0].waitMs, 0u) << "the helper is watched a moment before the program quits";
    EXPECT_EQ(server.calls().at(0).header("Accept"), "application/octet-stream");
    EXPECT_EQ(filesIn(kProgramFolder), std::vector<std::string>{}) << "the write probe is gone";
    EXPECT_TRUE(log.contains("INF", "Update staged; quitting to apply."));

    // The next install names its files apart from the first's.
    ASSERT_TRUE(installer.installUpdate(info, error)) << error;
    EXPECT_NE(startedScript(), script);
    EXPECT_EQ(files.content(script), updateHelperScript(4242, download, process.exePath));
}

// cmd /c without /s drops the quotes around a path holding & ( ) ^ or @, and
// runs the pieces; with /s and a second pair of quotes the path stays one
// quoted word. cmd also expands %NAME% on its command line, where no doubling
// escapes it: a folder with "%" is given as the working folder instead.
TEST_F(UpdateInstallTest, TheHelperIsNamedWhateverTheTemporaryFolderHolds) {
    const struct {
        const char* folder;
        bool byBareName;
    } cases[] = {
        {"C:\\Users\\R&D\\AppData\\Local\\Temp\\", false},
        {"C:\\Users\\ann (work)\\AppData\\Local\\Temp\\", false},
        {"C:\\Users\\a^b\\Temp\\", false},
        {"C:\\Users\\@home\\Temp\\", false},
        {"C:\\Users\\R&D (x86) ^@\\Temp\\", false},
        {"D:\\temp files\\", false},
        {"C:\\Users\\ann\\50%TEMP%\\", true},
        {"C:\\Users\\R&D 100%\\Temp\\", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        const std::string folder = c.folder;
        files.addFolder(folder.substr(0, folder.size() - 1));
        host.temp = folder;
        host.started.clear();
        ASSERT_TRUE(installer.installUpdate(info, error)) << error;
        ASSERT_EQ(host.started.size(), 1u);
        const std::string script = c.byBareName ? folder + startedScript() : startedScript();
        EXPECT_EQ(script.rfind(folder + "Quorvane.update.4242.", 0), 0u) << script;
        EXPECT_EQ(files.content(script), updateHelperScript(4242, downloadBeside(script), process.exePath));
        EXPECT_EQ(host.started[0].directory, c.byBareName ? folder : "");
        EXPECT_EQ(host.started[0].parameters.find('%'), std::string::npos);
    }
    EXPECT_EQ(helperParameters("C:\\R&D\\x.cmd"), "/s /c \"\"C:\\R&D\\x.cmd\"\"");
}

TEST_F(UpdateInstallTest, WithoutADigestTheCheckIsSkipped) {
    info.sha256.clear();
    host.digestOfContent.clear();
    ASSERT_TRUE(installer.installUpdate(info, error)) << error;
    EXPECT_EQ(host.started.size(), 1u);
}

TEST_F(UpdateInstallTest, WithoutATemporaryFolderTheCurrentFolderIsUsed) {
    host.temp.clear();
    ASSERT_TRUE(installer.installUpdate(info, error)) << error;
    const std::string script = startedScript();
    EXPECT_EQ(script.rfind("Quorvane.update.4242.", 0), 0u) << script;
    EXPECT_EQ(files.content(script), updateHelperScript(4242, downloadBeside(script), process.exePath));
}

// An automatic install and a requested one may meet; the second gives way at
// once and touches nothing of the first.
TEST_F(UpdateInstallTest, OneInstallAtATime) {
    std::string secondError;
    bool secondResult = true;
    size_t requestsBeforeSecond = 0;
    host.whileHashing = [&] {
        requestsBeforeSecond = server.calls().size();
        UpdateInstaller other(fetcher, host, host, host, process, files);
        secondResult = other.installUpdate(info, secondError);
    };
    ASSERT_TRUE(installer.installUpdate(info, error)) << error;
    EXPECT_FALSE(secondResult);
    EXPECT_EQ(secondError, "Another update is already being installed");
    EXPECT_EQ(server.calls().size(), requestsBeforeSecond) << "the second downloads nothing";
    ASSERT_EQ(host.started.size(), 1u);
    const std::string script = startedScript();
    EXPECT_EQ(files.content(downloadBeside(script)), kInstaller);
    EXPECT_EQ(filesIn(kTemp), (std::vector<std::string>{script, downloadBeside(script)}));

    // Once the first has ended, failed or not, the next may run.
    info.url.clear();
    EXPECT_FALSE(installer.installUpdate(info, error));
    info.url = kInstallerUrl;
    EXPECT_TRUE(installer.installUpdate(info, error)) << error;
}

// Run elevated, the helper runs elevated too: it and the download are staged
// where only administrators and the system can write, never in the user's
// temporary folder.
TEST_F(UpdateInstallTest, ElevatedTheUpdateIsStagedInAFolderOnlyAdministratorsCanWrite) {
    process.tokenElevationValue = 1;
    ASSERT_TRUE(installer.installUpdate(info, error)) << error;
    ASSERT_EQ(host.folderDescriptors.size(), 1u);
    const std::string folder = host.folderDescriptors.begin()->first;
    EXPECT_EQ(folder.rfind("C:\\Windows\\Temp\\Quorvane.update.4242.", 0), 0u) << folder;
    EXPECT_EQ(host.folderDescriptors.begin()->second, kExpectedSddl);
    const std::string script = startedScript();
    EXPECT_EQ(parentFolder(script), folder);
    EXPECT_EQ(files.content(downloadBeside(script)), kInstaller);
    EXPECT_EQ(files.content(script), updateHelperScript(4242, downloadBeside(script), process.exePath));
    EXPECT_EQ(filesIn(kTemp), std::vector<std::string>{});
    EXPECT_TRUE(log.contains("INF", "Update staged in " + folder + " (writable by administrators only)"));

    // Without such a folder there is no install, and no falling back to the
    // user's temporary folder.
    const struct {
        const char* name;
        std::function<void(UpdateInstallTest&)> arrange;
        std::string error;
    } failures[] = {
        {"no Windows folder", [](UpdateInstallTest& t) { t.host.windows.clear(); },
         "Cannot create a protected folder for the update"},
        {"the folder cannot be made", [](UpdateInstallTest& t) { t.host.createFolderFails = true; },
         "Cannot create a protected folder for the update: C:\\Windows\\Temp\\Quorvane.update.4242."},
        {"no Windows temporary folder", [](UpdateInstallTest& t) { t.host.windows = "C:\\Nowhere"; },
         "Cannot create a protected folder for the update: C:\\Nowhere\\Temp\\Quorvane.update.4242."},
    };
    for (const auto& c : failures) {
        SCOPED_TRACE(c.name);
        host.windows = "C:\\Windows";
        host.createFolderFails = false;
        host.started.clear();
        const size_t requests = server.calls().size();
        c.arrange(*this);
        EXPECT_FALSE(installer.installUpdate(info, error));
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
        EXPECT_EQ(server.calls().size(), requests) << "nothing downloaded";
        EXPECT_TRUE(host.started.empty());
        EXPECT_EQ(filesIn(kTemp), std::vector<std::string>{});
    }

    // A failure after the folder was made takes the folder away again.
    host.windows = "C:\\Windows";
    host.createFolderFails = false;
    info.sha256 = std::string(64, 'a');
    EXPECT_FALSE(installer.installUpdate(info, error));
    EXPECT_EQ(host.folderDescriptors.size(), 1u) << "only the first install's folder is left";
    EXPECT_EQ(filesIn("C:\\Windows\\Temp\\"), (std::vector<std::string>{script, downloadBeside(script)}));
}

TEST_F(UpdateInstallTest, EachFailureStopsWithItsMessageAndLeavesNothingBehind) {
    SimUpdateServer::Reply cut;
    cut.body = kInstaller;
    cut.failReadAfter = 4;

    const struct {
        const char* name;
        std::function<void(UpdateInstallTest&)> arrange;
        const char* error;
        bool started;
    } cases[] = {
        {"no url", [](UpdateInstallTest& t) { t.info.url.clear(); }, "No download URL", false},
        {"same version", [](UpdateInstallTest& t) { t.info.latest = "1.3.9"; }, "No newer version to install", false},
        {"older version", [](UpdateInstallTest& t) { t.info.latest = "v1.2"; }, "No newer version to install", false},
        {"own path unknown", [](UpdateInstallTest& t) { t.process.modulePathFails = true; },
         "Cannot locate current executable", false},
        {"program folder read-only", [](UpdateInstallTest& t) { t.files.setReadOnlyFolder(kProgramFolder); },
         "Cannot write to the program's folder: C:\\Program Files\\Quorvane", false},
        {"plain http", [](UpdateInstallTest& t) { t.info.url = "http://dl.test/q.exe"; }, "Update URL must use HTTPS",
         false},
        {"not found", [](UpdateInstallTest& t) { t.info.url = "https://dl.test/gone.exe"; },
         "HTTP 404 from update server", false},
        {"cut download", [&cut](UpdateInstallTest& t) { t.server.serve(kInstallerUrl, cut); }, "Download failed", false},
        {"digest differs", [](UpdateInstallTest& t) { t.info.sha256 = std::string(64, 'a'); },
         "Downloaded installer failed its integrity (SHA-256) check", false},
        {"digest shorter", [](UpdateInstallTest& t) { t.info.sha256 = kDigest.substr(0, 63); },
         "Downloaded installer failed its integrity (SHA-256) check", false},
        {"hash fails", [](UpdateInstallTest& t) { t.host.digestOfContent[kInstaller] = ""; },
         "Downloaded installer failed its integrity (SHA-256) check", false},
        {"temporary folder read-only",
         [](UpdateInstallTest& t) { t.files.setReadOnlyFolder("C:\\Users\\ann\\AppData\\Local\\Temp"); },
         "Cannot write download file", false},
        {"helper not started", [](UpdateInstallTest& t) { t.host.startResult = sim::SimUpdateHost::Start::Failed; },
         "Could not launch update helper", true},
        {"helper ends at once", [](UpdateInstallTest& t) { t.host.startResult = sim::SimUpdateHost::Start::Exited; },
         "Could not launch update helper", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        files.clearFailures();
        server.serveBody(kInstallerUrl, kInstaller);
        info.url = kInstallerUrl;
        info.latest = "1.4.0";
        info.sha256 = kDigest;
        host.digestOfContent[kInstaller] = kDigest;
        host.startResult = sim::SimUpdateHost::Start::Running;
        host.started.clear();
        process.modulePathFails = false;
        log.clear();
        const std::vector<std::string> before = files.files();

        c.arrange(*this);
        EXPECT_FALSE(installer.installUpdate(info, error));
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(files.files(), before) << "nothing written is left";
        EXPECT_EQ(host.started.size(), c.started ? 1u : 0u);
        EXPECT_FALSE(log.contains("INF", "Update staged; quitting to apply."));
    }
}

// The helper script itself cannot be written, or is cut short: neither it
// nor the download stays.
TEST_F(UpdateInstallTest, AHelperThatCannotBeWrittenWholeIsNotKept) {
    for (const SimFileSystem::Op op : {SimFileSystem::Op::Open, SimFileSystem::Op::Write, SimFileSystem::Op::Close}) {
        SCOPED_TRACE(static_cast<int>(op));
        // Once the download is there, its script is named beside it.
        host.whileHashing = [&] {
            const std::vector<std::string> staged = filesIn(kTemp);
            ASSERT_EQ(staged.size(), 1u);
            files.failOn(op, staged[0].substr(0, staged[0].size() - 4) + ".cmd");
        };
        EXPECT_FALSE(installer.installUpdate(info, error));
        EXPECT_EQ(error, "Cannot write update helper");
        files.clearFailures();
        EXPECT_EQ(filesIn(kTemp), std::vector<std::string>{});
        EXPECT_TRUE(host.started.empty());
    }
}

// Scenarios of the automatic update over the installer: what once made the
// program download, quit and restart unchanged for ever now ends with the
// program running and announcing the version.
class AutomaticUpdateTest : public UpdateInstallTest {
protected:
    class Ui final : public UpdateUi {
    public:
        std::vector<std::string> seen;
        bool messageBox(const std::string& text, Box) override {
            seen.push_back("box " + text);
            return false;
        }
        void errorNotice(const std::string& title, const std::string& text) override {
            seen.push_back("notice " + title + ": " + text);
        }
        void postAvailable(const std::string& latest) override { seen.push_back("available " + latest); }
        void postInstalling(const std::string& latest, bool automatic) override {
            seen.push_back((automatic ? "auto-installing " : "installing ") + latest);
        }
    };

    // One automatic check against a manifest offering 1.4.0.
    std::vector<std::string> runCheck(const AutomaticCheck& check) {
        Ui ui;
        UpdateFlow flow([&](const std::string&, const std::string&) { return info; },
                        [&](const UpdateInfo& offered, std::string& why) { return installer.installUpdate(offered, why); },
                        ui);
        flow.automatic(check);
        return ui.seen;
    }
};

TEST_F(AutomaticUpdateTest, AMislabelledDownloadIsInstalledAutomaticallyOnlyOnce) {
    // The manifest says 1.4.0, the file it serves is this very version.
    AutomaticCheck check;
    EXPECT_EQ(runCheck(check), std::vector<std::string>{"auto-installing 1.4.0"});
    ASSERT_EQ(host.started.size(), 1u);

    // The controller remembers 1.4.0; the restarted program, still 1.3.9,
    // finds 1.4.0 offered again.
    check.lastAutoInstallVersion = "1.4.0";
    const size_t requests = server.calls().size();
    EXPECT_EQ(runCheck(check), std::vector<std::string>{"available 1.4.0"});
    EXPECT_EQ(server.calls().size(), requests) << "nothing downloaded";
    EXPECT_EQ(host.started.size(), 1u) << "nothing started";
    EXPECT_TRUE(log.contains("WRN", "Auto-update skipped: version 1.4.0 was installed automatically before; notifying instead"));

    // A later version is installed as usual.
    info.latest = "1.4.1";
    EXPECT_EQ(runCheck(check), std::vector<std::string>{"auto-installing 1.4.1"});
}

TEST_F(AutomaticUpdateTest, AProgramFolderTheUserCannotWriteIsAnnouncedNotInstalled) {
    files.setReadOnlyFolder(kProgramFolder);
    for (int check = 0; check < 2; ++check) {
        EXPECT_EQ(runCheck(AutomaticCheck{}), std::vector<std::string>{"available 1.4.0"});
        EXPECT_TRUE(server.calls().empty()) << "nothing downloaded";
        EXPECT_TRUE(host.started.empty());
    }
    EXPECT_TRUE(log.contains("WRN", "Auto-update failed; notifying instead: Cannot write to the program's folder: "
                                    "C:\\Program Files\\Quorvane"));
}

TEST_F(AutomaticUpdateTest, ARecordingOrShareWaitsForTheNextCheck) {
    bool capturing = true;
    AutomaticCheck check;
    check.captureRunning = [&] { return capturing; };
    EXPECT_EQ(runCheck(check), std::vector<std::string>{"available 1.4.0"});
    EXPECT_TRUE(server.calls().empty());
    EXPECT_TRUE(host.started.empty());
    EXPECT_TRUE(log.contains("INF", "Update postponed: a recording or NDI share is running"));

    capturing = false; // the four-hourly check after the recording ended
    EXPECT_EQ(runCheck(check), std::vector<std::string>{"auto-installing 1.4.0"});
}

} // namespace
} // namespace qv
