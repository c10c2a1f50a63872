// The bytes of a "--do" request as the running instance receives them in a
// WM_COPYDATA message, from any process of the user. Whatever they are, the
// instance answers the sender with a reply that reads back; it carries out an
// action only for a request that decodes, names the sender as its reply
// window and holds a text that reads as an action, and then exactly that
// action; a request from another user is refused without being read.
#include "FuzzSupport.h"

#include "actions/ActionRequest.h"

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes = fuzz::bytes(data, size);
    constexpr WindowHandle kSender = 77;

    for (const bool sameUser : {true, false}) {
        int runs = 0;
        const auto answer = action_request::receive(action_request::kRequestTag, bytes, kSender, sameUser,
                                                    [&runs](const Action&, bool) {
                                                        ++runs;
                                                        return ActionResult::success("ran");
                                                    });
        QV_FUZZ_CHECK(answer && answer->to == kSender, fuzz::shown(bytes));
        ActionResult reply;
        QV_FUZZ_CHECK(action_request::decodeReply(answer->bytes, reply), fuzz::shown(answer->bytes));

        action_request::Request request;
        std::string error;
        const bool valid = sameUser && action_request::decodeRequest(bytes, request, error) &&
                           request.replyWindow == kSender && parseAction(request.action).kind != ActionKind::None;
        QV_FUZZ_CHECK(runs == (valid ? 1 : 0), fuzz::shown(bytes));
        QV_FUZZ_CHECK(reply.ok == valid, fuzz::shown(bytes));
        if (valid) {
            // What was decoded encodes to a request that decodes the same.
            action_request::Request again;
            QV_FUZZ_CHECK(action_request::decodeRequest(action_request::encodeRequest(request), again, error),
                          fuzz::shown(bytes));
            QV_FUZZ_CHECK(again.action == request.action && again.keep == request.keep &&
                              again.replyWindow == request.replyWindow,
                          fuzz::shown(bytes));
        }
    }
    // Another program's WM_COPYDATA is left alone.
    QV_FUZZ_CHECK(!action_request::receive(0, bytes, kSender, true, nullptr), fuzz::shown(bytes));
    return 0;
}
