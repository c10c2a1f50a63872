// What an update check does with its outcome: the automatic check installs
// or lets the controller announce; the requested one reports in message boxes
// and asks before installing.
#include "update/UpdateFlow.h"

#include "sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

// Records what the user would see and what the controller would be sent.
class RecordingUi final : public UpdateUi {
public:
    bool answerYes = false;
    std::vector<std::string> seen;

    bool messageBox(const std::string& text, Box box) override {
        const char* kind = box == Box::Warning ? "warning" : box == Box::Question ? "question" : "information";
        seen.push_back(std::string(kind) + ": " + text);
        return box == Box::Question && answerYes;
    }
    void errorNotice(const std::string& title, const std::string& text) override {
        seen.push_back("notice " + title + ": " + text);
    }
    void postAvailable(const std::string& latest) override { seen.push_back("available " + latest); }
    void postInstalling(const std::string& latest, bool automatic) override {
        seen.push_back((automatic ? "auto-installing " : "installing ") + latest);
    }
};

UpdateInfo outcome(bool available, const std::string& error = "") {
    UpdateInfo info;
    info.current = "1.3.9";
    info.latest = available ? "1.4.0" : "1.3.9";
    info.url = "https://updates.example/quorvane/1.4.0.exe";
    info.available = available;
    info.error = error;
    return info;
}

struct Case {
    const char* what;
    UpdateInfo info;
    bool autoInstall;
    bool answerYes;
    bool installs;
    std::vector<std::string> automatic;
    std::vector<std::string> requested;
    int installCalls; // by the two runs together
};

TEST(UpdateFlow, EachOutcomeOfBothKindsOfCheck) {
    const std::string question =
        "question: Version 1.4.0 is available (you have v1.3.9).\n\nDownload and install now? Quorvane will restart.";
    const Case cases[] = {
        {"newer, installed", outcome(true), true, true, true, {"auto-installing 1.4.0"},
         {question, "installing 1.4.0"}, 2},
        {"newer, the install fails", outcome(true), true, true, false, {"available 1.4.0"},
         {question, "notice Update failed: Digest mismatch"}, 2},
        {"newer, no automatic install, the user says No", outcome(true), false, false, true, {"available 1.4.0"},
         {question}, 0},
        {"up to date", outcome(false), true, true, true, {},
         {"information: You're on the latest version (v1.3.9)."}, 0},
        {"the check failed", outcome(false, "HTTP 404 from update server"), true, true, true, {},
         {"warning: Couldn't check for updates:\n\nHTTP 404 from update server"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::SimDesktop desk;
        RecordingUi ui;
        ui.answerYes = c.answerYes;
        int installCalls = 0;
        std::vector<std::string> asked;
        UpdateFlow flow(
            [&](const std::string& base, const std::string& channel) {
                asked.push_back(base + "|" + channel);
                return c.info;
            },
            [&](const UpdateInfo& info, std::string& error) {
                ++installCalls;
                EXPECT_EQ(info.latest, "1.4.0");
                if (!c.installs) error = "Digest mismatch";
                return c.installs;
            },
            ui);

        AutomaticCheck check;
        check.baseUrl = "https://updates.example/quorvane";
        check.channel = "dev";
        check.autoInstall = c.autoInstall;
        flow.automatic(check);
        EXPECT_EQ(ui.seen, c.automatic);
        ui.seen.clear();
        flow.requested("https://updates.example/quorvane", "dev");
        EXPECT_EQ(ui.seen, c.requested);
        EXPECT_EQ(installCalls, c.installCalls);
        EXPECT_EQ(asked, (std::vector<std::string>{"https://updates.example/quorvane|dev",
                                                   "https://updates.example/quorvane|dev"}));
        const bool warned = desk.debug.contains("WRN", "Auto-update failed; notifying instead: Digest mismatch");
        EXPECT_EQ(warned, c.autoInstall && !c.installs && c.info.available);
    }
}

// The automatic check installs neither a version it installed before (the
// file served was not that version) nor while a recording or share runs; it
// announces the version instead. The capture question is asked only when an
// install would follow.
TEST(UpdateFlow, TheAutomaticCheckAnnouncesWhatItMustNotInstall) {
    const struct {
        const char* what;
        const char* lastAutoInstall;
        bool capturing;
        bool autoInstall;
        std::vector<std::string> seen;
        int captureQuestions;
        const char* logged; // "LVL message", or empty
    } cases[] = {
        {"never installed before", "", false, true, {"auto-installing 1.4.0"}, 1, ""},
        {"an older version installed before", "1.3.9", false, true, {"auto-installing 1.4.0"}, 1, ""},
        {"this version installed before", "1.4.0", false, true, {"available 1.4.0"}, 0,
         "WRN Auto-update skipped: version 1.4.0 was installed automatically before; notifying instead"},
        {"the same version written otherwise", "v1.4", false, true, {"available 1.4.0"}, 0,
         "WRN Auto-update skipped: version 1.4.0 was installed automatically before; notifying instead"},
        {"a recording or share runs", "", true, true, {"available 1.4.0"}, 1,
         "INF Update postponed: a recording or NDI share is running"},
        {"no automatic install", "", true, false, {"available 1.4.0"}, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sim::SimDesktop desk;
        RecordingUi ui;
        int installs = 0;
        int captureQuestions = 0;
        UpdateFlow flow([](const std::string&, const std::string&) { return outcome(true); },
                        [&](const UpdateInfo&, std::string&) {
                            ++installs;
                            return true;
                        },
                        ui);
        AutomaticCheck check;
        check.autoInstall = c.autoInstall;
        check.lastAutoInstallVersion = c.lastAutoInstall;
        check.captureRunning = [&] {
            ++captureQuestions;
            return c.capturing;
        };
        flow.automatic(check);
        EXPECT_EQ(ui.seen, c.seen);
        EXPECT_EQ(installs, c.seen[0].rfind("auto-installing", 0) == 0 ? 1 : 0);
        EXPECT_EQ(captureQuestions, c.captureQuestions);
        const std::string logged = c.logged;
        if (!logged.empty()) {
            EXPECT_TRUE(desk.debug.contains(logged.substr(0, 3), logged.substr(4)));
        }
        EXPECT_FALSE(desk.debug.contains("WRN", "Auto-update failed; notifying instead: "));
    }

    // Without a capture question (the controller gives one) the install goes on.
    RecordingUi ui;
    UpdateFlow flow([](const std::string&, const std::string&) { return outcome(true); },
                    [](const UpdateInfo&, std::string&) { return true; }, ui);
    flow.automatic(AutomaticCheck{});
    EXPECT_EQ(ui.seen, std::vector<std::string>{"auto-installing 1.4.0"});
}

} // namespace
} // namespace qv
