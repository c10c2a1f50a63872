#include "actions/ActionRequest.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace qv {
namespace {

using namespace action_request;

TEST(ActionRequestEncoding, RequestAndReplyReadBackAsWritten) {
    const std::vector<Request> requests = {
        {"ProjectionExtend", false, 1},
        {"RestoreLayout:Home: \"2\" screens \\ B\xC3\xBCro", true, 0xFFFFFFFFFFFFFFFFull},
        {"", false, 42},
    };
    for (const Request& written : requests) {
        Request read;
        std::string error;
        ASSERT_TRUE(decodeRequest(encodeRequest(written), read, error)) << written.action << ": " << error;
        EXPECT_EQ(read.action, written.action);
        EXPECT_EQ(read.keep, written.keep);
        EXPECT_EQ(read.replyWindow, written.replyWindow);
    }
    for (const ActionResult& written : {ActionResult::success("Extended"), ActionResult::failure("no \"x\"\n")}) {
        ActionResult read;
        ASSERT_TRUE(decodeReply(encodeReply(written), read));
        EXPECT_EQ(read.ok, written.ok);
        EXPECT_EQ(read.message, written.message);
    }
}

TEST(ActionRequestEncoding, InvalidUtf8InAMessageIsReplacedNotThrown) {
    ActionResult read;
    ASSERT_TRUE(decodeReply(encodeReply(ActionResult::failure("bad \xFF byte")), read));
    EXPECT_FALSE(read.ok);
    EXPECT_EQ(read.message.find('\xFF'), std::string::npos);
}

// The instance answering one WM_COPYDATA; the runner records what it was given.
struct Receiver {
    std::vector<std::string> ran;
    std::vector<bool> keeps;
    ActionResult result = ActionResult::success("done");

    std::optional<ActionResult> answer(std::uint64_t tag, const std::string& bytes, WindowHandle sender,
                                       bool sameUser, WindowHandle* to = nullptr) {
        const std::optional<Answer> answer = receive(tag, bytes, sender, sameUser, [this](const Action& a, bool keep) {
            ran.push_back(actionText(a));
            keeps.push_back(keep);
            return result;
        });
        if (!answer) return std::nullopt;
        if (to) *to = answer->to;
        ActionResult decoded;
        EXPECT_TRUE(decodeReply(answer->bytes, decoded)) << answer->bytes;
        return decoded;
    }
};

std::string request(const std::string& action, bool keep = false, WindowHandle reply = 77) {
    return encodeRequest({action, keep, reply});
}

TEST(ActionRequestReceive, CarriesOutAValidRequestAndAnswersTheSender) {
    Receiver receiver;
    receiver.result = ActionResult::failure("display is busy");
    WindowHandle to = 0;
    const std::optional<ActionResult> reply = receiver.answer(kRequestTag, request("SnapWindow:3x2:4", true), 77, true, &to);
    ASSERT_TRUE(reply);
    EXPECT_EQ(to, 77u);
    EXPECT_FALSE(reply->ok);
    EXPECT_EQ(reply->message, "display is busy");
    EXPECT_EQ(receiver.ran, (std::vector<std::string>{"SnapWindow:3x2:4"}));
    EXPECT_EQ(receiver.keeps, (std::vector<bool>{true}));
}

TEST(ActionRequestReceive, OtherMessagesAreLeftAlone) {
    Receiver receiver;
    EXPECT_FALSE(receiver.answer(kReplyTag, request("Exit"), 77, true));  // not a request
    EXPECT_FALSE(receiver.answer(0, request("Exit"), 77, true));          // another program's WM_COPYDATA
    EXPECT_FALSE(receiver.answer(kRequestTag, request("Exit", false, 0), 0, true)); // nobody to answer
    EXPECT_TRUE(receiver.ran.empty());
}

TEST(ActionRequestReceive, BadRequestsAreAnsweredWithAnErrorAndNothingRuns) {
    struct Case {
        std::string bytes;
        bool sameUser;
        std::string message;
    };
    const std::vector<Case> cases = {
        {request("Exit"), false, "refused: the request came from another user"},
        {"", true, "malformed request: not a JSON object"},
        {"{\"action\":\"Exit\",\"keep\":false,\"reply\":7", true, "malformed request: not a JSON object"}, // truncated
        {std::string("{\"action\":\"Ex\0it\"", 16), true, "malformed request: not a JSON object"},
        {"[1,2]", true, "malformed request: not a JSON object"},
        {"\xFF\xFE{}", true, "malformed request: not a JSON object"},
        {"{\"keep\":false,\"reply\":77}", true, "malformed request: no action text"},
        {"{\"action\":3,\"keep\":false,\"reply\":77}", true, "malformed request: no action text"},
        {"{\"action\":\"Exit\",\"reply\":77}", true, "malformed request: no keep flag"},
        {"{\"action\":\"Exit\",\"keep\":1,\"reply\":77}", true, "malformed request: no keep flag"},
        {"{\"action\":\"Exit\",\"keep\":false}", true, "malformed request: no reply window"},
        {"{\"action\":\"Exit\",\"keep\":false,\"reply\":-77}", true, "malformed request: no reply window"},
        {"{\"action\":\"Exit\",\"keep\":false,\"reply\":\"77\"}", true, "malformed request: no reply window"},
        {request("Exit", false, 78), true, "malformed request: the reply window is not the sender's"},
        {std::string(kMaxRequestBytes + 1, ' '), true, "malformed request: too large"},
        {request("Foo"), true, "unknown action 'Foo'"},
        {request("RestoreLayout:"), true, "unknown action 'RestoreLayout:'"},
        {request("ProjectionExtend "), true, "unknown action 'ProjectionExtend '"},
    };
    for (const Case& c : cases) {
        Receiver receiver;
        const std::optional<ActionResult> reply = receiver.answer(kRequestTag, c.bytes, 77, c.sameUser);
        ASSERT_TRUE(reply) << c.bytes;
        EXPECT_FALSE(reply->ok) << c.bytes;
        EXPECT_EQ(reply->message, c.message) << c.bytes;
        EXPECT_TRUE(receiver.ran.empty()) << c.bytes;
    }
}

} // namespace
} // namespace qv
