#include "app/DoCommandLine.h"

#include "actions/ActionRequest.h"
#include "sim/SimProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace qv {
namespace {

using Args = std::vector<std::string>;

// The way to a running instance, as the test sets it up: none running, one
// that never answers, or one that answers through the instance's own
// receiving code with the result the test chose.
class FakeSender final : public ActionRequestSender {
public:
    static constexpr WindowHandle kReplyWindow = 0x5150;

    Outcome outcome = Outcome::NotRunning;
    ActionResult result = ActionResult::success("done");
    bool sameUser = true;
    std::optional<std::string> garbledReply;
    bool replyWindowFails = false;

    std::vector<std::string> sent;   // request bytes
    std::vector<std::string> ran;    // action texts the instance carried out
    std::vector<bool> keeps;
    std::uint32_t timeoutMs = 0;

    WindowHandle openReplyWindow() override { return replyWindowFails ? 0 : kReplyWindow; }
    Outcome send(const std::string& request, std::uint32_t timeout, std::string& reply) override {
        sent.push_back(request);
        timeoutMs = timeout;
        if (outcome != Outcome::Answered) return outcome;
        if (garbledReply) {
            reply = *garbledReply;
            return outcome;
        }
        const auto answer = action_request::receive(action_request::kRequestTag, request, kReplyWindow, sameUser,
                                                    [this](const Action& a, bool keep) {
                                                        ran.push_back(actionText(a));
                                                        keeps.push_back(keep);
                                                        return result;
                                                    });
        EXPECT_TRUE(answer);
        if (answer) reply = answer->bytes;
        return outcome;
    }
};

struct CommandRun {
    bool ran = false;
    int exitCode = -1;
    std::string output;
};

CommandRun runDo(const Args& arguments, FakeSender* sender) {
    sim::SimProcess process;
    DoCommandLine command(arguments, process, sender);
    CommandRun run;
    run.ran = command.run(run.exitCode);
    run.output = process.consoleOutput;
    return run;
}

using Outcome = ActionRequestSender::Outcome;

TEST(DoCommandLine, OnlyRunsWhenAnArgumentIsDo) {
    FakeSender sender;
    for (const Args& arguments : {Args{}, Args{"--relaunched"}, Args{"--DO", "Exit"}, Args{"--do-it"}, Args{"do"}}) {
        const CommandRun run = runDo(arguments, &sender);
        EXPECT_FALSE(run.ran);
        EXPECT_EQ(run.output, "");
    }
    EXPECT_TRUE(sender.sent.empty());
}

TEST(DoCommandLine, ExitCodesAndPrintedLine) {
    struct Case {
        const char* what;
        Args arguments;
        Outcome outcome;
        ActionResult result;
        int exitCode;
        std::string output;
        bool sent;
    };
    const ActionResult extended = ActionResult::success("Extended");
    const ActionResult busy = ActionResult::failure("display is busy");
    const std::vector<Case> cases = {
        {"done", {"--do", "ProjectionExtend"}, Outcome::Answered, extended, 0, "ok: Extended\n", true},
        {"failed", {"--do", "RescueWindows"}, Outcome::Answered, busy, 1, "error: display is busy\n", true},
        {"not running", {"--do", "GatherWindows"}, Outcome::NotRunning, extended, 3, "error: Quorvane is not running\n", true},
        {"no answer", {"--do", "GatherWindows"}, Outcome::NoAnswer, extended, 1,
         "error: Quorvane did not answer within 10 s\n", true},
        {"unknown", {"--do", "Foo"}, Outcome::Answered, extended, 2, "error: unknown action 'Foo'\n", false},
        {"spaces", {"--do", " TileWindows:3x2"}, Outcome::Answered, extended, 2,
         "error: unknown action ' TileWindows:3x2'\n", false},
        {"empty layout", {"--do", "RestoreLayout:"}, Outcome::Answered, extended, 2,
         "error: unknown action 'RestoreLayout:'\n", false},
        {"no text", {"--do"}, Outcome::Answered, extended, 2,
         "error: usage: quorvane --do [--json] [--keep] ACTION (--do list shows the actions)\n", false},
        {"only options", {"--do", "--json", "--keep"}, Outcome::Answered, extended, 2, "", false},
        {"unknown option", {"--do", "--force", "Exit"}, Outcome::Answered, extended, 2,
         "error: unknown option '--force'\n", false},
        {"after text", {"--do", "Exit", "now"}, Outcome::Answered, extended, 2,
         "error: unexpected argument 'now' after the action\n", false},
        {"option after text", {"--do", "Exit", "--json"}, Outcome::Answered, extended, 2,
         "error: unexpected argument '--json' after the action\n", false},
    };
    for (const Case& c : cases) {
        FakeSender sender;
        sender.outcome = c.outcome;
        sender.result = c.result;
        const CommandRun run = runDo(c.arguments, &sender);
        EXPECT_TRUE(run.ran) << c.what;
        EXPECT_EQ(run.exitCode, c.exitCode) << c.what;
        if (!c.output.empty()) {
            EXPECT_EQ(run.output, c.output) << c.what;
        }
        // Exactly one line, whatever happened.
        EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << c.what << ": " << run.output;
        EXPECT_EQ(sender.sent.size(), c.sent ? 1u : 0u) << c.what;
    }
}

TEST(DoCommandLine, HandsTheTextKeepFlagAndReplyWindowToTheInstance) {
    struct Case {
        Args arguments;
        std::string action;
        bool keep;
    };
    const std::vector<Case> cases = {
        {{"--do", "TileWindows:3x2"}, "TileWindows:3x2", false},
        {{"--do", "--keep", "SnapWindow:3x2:4"}, "SnapWindow:3x2:4", true},
        {{"--do", "--json", "--keep", "RestoreLayout:Home: 2 screens"}, "RestoreLayout:Home: 2 screens", true},
        {{"--relaunched", "--do", "RescueWindows"}, "RescueWindows", false},
    };
    for (const Case& c : cases) {
        FakeSender sender;
        sender.outcome = Outcome::Answered;
        const CommandRun run = runDo(c.arguments, &sender);
        ASSERT_EQ(sender.sent.size(), 1u) << c.action;
        action_request::Request request;
        std::string error;
        ASSERT_TRUE(action_request::decodeRequest(sender.sent[0], request, error)) << error;
        EXPECT_EQ(request.action, c.action);
        EXPECT_EQ(request.keep, c.keep);
        EXPECT_EQ(request.replyWindow, FakeSender::kReplyWindow);
        EXPECT_EQ(sender.timeoutMs, 10000u);
        EXPECT_EQ(sender.ran, (std::vector<std::string>{c.action}));
        EXPECT_EQ(run.exitCode, 0);
    }
}

TEST(DoCommandLine, JsonLineForEveryOutcome) {
    struct Case {
        Args arguments;
        Outcome outcome;
        bool sameUser;
        int exitCode;
        nlohmann::json line;
    };
    const std::vector<Case> cases = {
        {{"--do", "--json", "ProjectionExtend"}, Outcome::Answered, true, 0,
         {{"action", "ProjectionExtend"}, {"message", "done"}, {"ok", true}}},
        {{"--do", "--json", "Foo"}, Outcome::Answered, true, 2,
         {{"action", "Foo"}, {"message", "unknown action 'Foo'"}, {"ok", false}}},
        {{"--do", "--json", "Exit"}, Outcome::NotRunning, true, 3,
         {{"action", "Exit"}, {"message", "Quorvane is not running"}, {"ok", false}}},
        {{"--do", "--json", "Exit"}, Outcome::Answered, false, 1,
         {{"action", "Exit"}, {"message", "refused: the request came from another user"}, {"ok", false}}},
        {{"--do", "--json"}, Outcome::Answered, true, 2,
         {{"action", nullptr},
          {"message", "usage: quorvane --do [--json] [--keep] ACTION (--do list shows the actions)"},
          {"ok", false}}},
    };
    for (const Case& c : cases) {
        FakeSender sender;
        sender.outcome = c.outcome;
        sender.sameUser = c.sameUser;
        const CommandRun run = runDo(c.arguments, &sender);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.line;
        EXPECT_EQ(run.output, c.line.dump() + "\n");
    }
}

TEST(DoCommandLine, BrokenTransportIsAnErrorNotACrash) {
    FakeSender garbled;
    garbled.outcome = Outcome::Answered;
    garbled.garbledReply = "{\"ok\":tr";
    CommandRun run = runDo({"--do", "Exit"}, &garbled);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.output, "error: unreadable answer from Quorvane\n");

    FakeSender noWindow;
    noWindow.outcome = Outcome::Answered;
    noWindow.replyWindowFails = true;
    run = runDo({"--do", "Exit"}, &noWindow);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(noWindow.sent.empty());

    run = runDo({"--do", "Exit"}, nullptr);
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.output, "error: Quorvane is not running\n");
}

TEST(DoCommandLine, ListPrintsEveryFormWithoutAskingTheInstance) {
    FakeSender sender;
    CommandRun run = runDo({"--do", "list"}, &sender);
    EXPECT_EQ(run.exitCode, 0);
    std::string expected;
    for (const std::string& form : actionTextForms()) expected += form + "\n";
    EXPECT_EQ(run.output, expected);
    for (const char* line : {"ProjectionExtend\n", "TileWindows:<cols>x<rows>\n", "SnapWindow:<cols>x<rows>:<cell>\n",
                             "RestoreLayout:<name>\n", "GatherWindows\n", "RestoreWindows\n", "RescueWindows\n"})
        EXPECT_NE(run.output.find(line), std::string::npos) << line;

    run = runDo({"--do", "--json", "list"}, &sender);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, nlohmann::json(actionTextForms()).dump() + "\n");
    EXPECT_TRUE(sender.sent.empty());
}

} // namespace
} // namespace qv
