#include "actions/ActionRequest.h"

#include <nlohmann/json.hpp>

namespace qv::action_request {

namespace {

// Invalid UTF-8 in a message is replaced rather than thrown on.
std::string dumpCompact(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace

std::string encodeRequest(const Request& request) {
    nlohmann::json value = {{"action", request.action}, {"keep", request.keep}, {"reply", request.replyWindow}};
    return dumpCompact(value);
}

bool decodeRequest(std::string_view bytes, Request& request, std::string& error) {
    if (bytes.size() > kMaxRequestBytes) {
        error = "malformed request: too large";
        return false;
    }
    const nlohmann::json value = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (value.is_discarded() || !value.is_object()) {
        error = "malformed request: not a JSON object";
        return false;
    }
    const auto action = value.find("action");
    const auto keep = value.find("keep");
    const auto reply = value.find("reply");
    if (action == value.end() || !action->is_string()) {
        error = "malformed request: no action text";
        return false;
    }
    if (keep == value.end() || !keep->is_boolean()) {
        error = "malformed request: no keep flag";
        return false;
    }
    if (reply == value.end() || !reply->is_number_unsigned()) {
        error = "malformed request: no reply window";
        return false;
    }
    request.action = action->get<std::string>();
    request.keep = keep->get<bool>();
    request.replyWindow = reply->get<std::uint64_t>();
    return true;
}

std::string encodeReply(const ActionResult& result) {
    return dumpCompact(nlohmann::json{{"message", result.message}, {"ok", result.ok}});
}

bool decodeReply(std::string_view bytes, ActionResult& result) {
    const nlohmann::json value = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (value.is_discarded() || !value.is_object()) return false;
    const auto ok = value.find("ok");
    const auto message = value.find("message");
    if (ok == value.end() || !ok->is_boolean() || message == value.end() || !message->is_string()) return false;
    result.ok = ok->get<bool>();
    result.message = message->get<std::string>();
    return true;
}

std::optional<Answer> receive(std::uint64_t tag, std::string_view bytes, WindowHandle sender, bool sameUser,
                              const ActionRunner& run) {
    if (tag != kRequestTag || sender == 0) return std::nullopt;
    Answer answer;
    answer.to = sender;
    auto fail = [&answer](std::string message) {
        answer.bytes = encodeReply(ActionResult::failure(std::move(message)));
        return answer;
    };
    // Nothing of another user's request is read or carried out.
    if (!sameUser) return fail("refused: the request came from another user");
    Request request;
    std::string error;
    if (!decodeRequest(bytes, request, error)) return fail(error);
    if (request.replyWindow != sender) return fail("malformed request: the reply window is not the sender's");
    const Action action = parseAction(request.action);
    if (action.kind == ActionKind::None) return fail("unknown action '" + request.action + "'");
    answer.bytes = encodeReply(run ? run(action, request.keep) : ActionResult::failure("no action runner"));
    return answer;
}

} // namespace qv::action_request
