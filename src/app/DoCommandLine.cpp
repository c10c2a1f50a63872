#include "app/DoCommandLine.h"

#include "actions/Action.h"
#include "actions/ActionRequest.h"
#include "vdisplay/VdCommandLine.h"
#include "vdisplay/VdConsole.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace qv {

namespace {

std::string dumpCompact(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace

DoCommandLine::DoCommandLine(std::vector<std::string> arguments, VdConsole& console, ActionRequestSender* sender)
    : arguments_(std::move(arguments)), console_(console), sender_(sender) {}

bool DoCommandLine::run(int& exitCode) {
    if (std::find(arguments_.begin(), arguments_.end(), kCommand) == arguments_.end()) return false;
    VdCommandLine::attachConsole(console_);
    exitCode = runCommand();
    return true;
}

int DoCommandLine::finish(int exitCode, bool ok, const std::string& message) {
    if (json_) {
        nlohmann::json line = {{"action", hasText_ ? nlohmann::json(text_) : nlohmann::json()},
                               {"message", message},
                               {"ok", ok}};
        console_.print(dumpCompact(line) + "\n");
    } else {
        console_.print((ok ? "ok: " : "error: ") + message + "\n");
    }
    return exitCode;
}

int DoCommandLine::runCommand() {
    // Options come between "--do" and the text; nothing may follow the text.
    bool keep = false;
    std::string usage;
    const auto command = std::find(arguments_.begin(), arguments_.end(), kCommand);
    for (auto it = command + 1; it != arguments_.end(); ++it) {
        const std::string& argument = *it;
        if (hasText_) {
            if (usage.empty()) usage = "unexpected argument '" + argument + "' after the action";
        } else if (argument == "--json") {
            json_ = true;
        } else if (argument == "--keep") {
            keep = true;
        } else if (argument.rfind("--", 0) == 0) {
            if (usage.empty()) usage = "unknown option '" + argument + "'";
        } else {
            text_ = argument;
            hasText_ = true;
        }
    }
    if (usage.empty() && !hasText_) usage = "usage: quorvane --do [--json] [--keep] ACTION (--do list shows the actions)";
    if (!usage.empty()) return finish(kBadUsage, false, usage);

    if (text_ == "list") {
        const std::vector<std::string> forms = actionTextForms();
        if (json_) {
            console_.print(dumpCompact(nlohmann::json(forms)) + "\n");
        } else {
            std::string lines;
            for (const std::string& form : forms) lines += form + "\n";
            console_.print(lines);
        }
        return kDone;
    }

    if (parseAction(text_).kind == ActionKind::None) return finish(kBadUsage, false, "unknown action '" + text_ + "'");

    if (!sender_) return finish(kNotRunning, false, "Quorvane is not running");
    action_request::Request request;
    request.action = text_;
    request.keep = keep;
    request.replyWindow = sender_->openReplyWindow();
    if (request.replyWindow == 0) return finish(kFailed, false, "cannot create the window the answer comes to");

    std::string replyBytes;
    switch (sender_->send(action_request::encodeRequest(request), action_request::kRequestTimeoutMs, replyBytes)) {
    case ActionRequestSender::Outcome::NotRunning:
        return finish(kNotRunning, false, "Quorvane is not running");
    case ActionRequestSender::Outcome::NoAnswer:
        return finish(kFailed, false, "Quorvane did not answer within 10 s");
    case ActionRequestSender::Outcome::Answered:
        break;
    }
    ActionResult result;
    if (!action_request::decodeReply(replyBytes, result)) return finish(kFailed, false, "unreadable answer from Quorvane");
    return finish(result.ok ? kDone : kFailed, result.ok, result.message);
}

} // namespace qv
