#pragma once
#include "actions/Action.h"
#include "base/ActionResult.h"
#include "base/WindowHandle.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

// An action handed from "quorvane.exe --do" to the running instance, and the
// answer going back. Both travel as one WM_COPYDATA message each: the
// request to the instance's controller window, the reply to a message-only
// window of the "--do" process. The bytes are one compact JSON object, UTF-8.
namespace action_request {

// COPYDATASTRUCT.dwData of our two messages: the tags tell them apart from
// any other program's WM_COPYDATA. Our own values ("QVR1", "QVA1").
inline constexpr std::uint64_t kRequestTag = 0x51565231;
inline constexpr std::uint64_t kReplyTag = 0x51564131;
// How long the sender waits for the instance, and the instance for the
// sender to take the reply.
inline constexpr std::uint32_t kRequestTimeoutMs = 10000;
inline constexpr std::uint32_t kReplyTimeoutMs = 5000;
// Requests larger than this are refused unread.
inline constexpr std::size_t kMaxRequestBytes = 64 * 1024;

struct Request {
    std::string action;        // the action's text form
    bool keep = false;         // "--keep": skip a confirmation (not used yet)
    WindowHandle replyWindow = 0;
};

// {"action": "...", "keep": false, "reply": 1234}
std::string encodeRequest(const Request& request);
// False, with the reason in error, for anything but such an object with an
// action string, a boolean keep and a reply window number.
bool decodeRequest(std::string_view bytes, Request& request, std::string& error);

// {"message": "...", "ok": true}
std::string encodeReply(const ActionResult& result);
bool decodeReply(std::string_view bytes, ActionResult& result);

// What the instance sends back for one WM_COPYDATA message.
struct Answer {
    WindowHandle to = 0;   // the sender's reply window
    std::string bytes;     // encodeReply
};

// Carries out a valid action; keep is the request's flag.
using ActionRunner = std::function<ActionResult(const Action& action, bool keep)>;

// The instance's side of one WM_COPYDATA message: nothing when the tag is
// not ours or there is no sender window to answer. Otherwise a refusal when
// the sender runs as another user, an error for a malformed request, an
// unknown action text or a reply window other than the sender's, else what
// run answers. Never throws on any bytes.
std::optional<Answer> receive(std::uint64_t tag, std::string_view bytes, WindowHandle sender, bool sameUser,
                              const ActionRunner& run);

} // namespace action_request

// The "--do" process's way to the running instance.
class ActionRequestSender {
public:
    enum class Outcome {
        Answered,   // reply holds the instance's answer
        NotRunning, // no controller window of this user's session
        NoAnswer,   // the instance did not answer in time
    };

    virtual ~ActionRequestSender() = default;
    // Creates the message-only window the reply comes to; 0 on failure.
    virtual WindowHandle openReplyWindow() = 0;
    // Sends the request bytes to the controller window and waits up to
    // timeoutMs for the reply bytes.
    virtual Outcome send(const std::string& request, std::uint32_t timeoutMs, std::string& reply) = 0;
};

// The instance's side of the transport, used by the controller window.
class ActionRequestInbox {
public:
    virtual ~ActionRequestInbox() = default;
    // Lets WM_COPYDATA through to the window from processes of lower
    // integrity (an elevated instance, a plain console).
    virtual void allowRequests(WindowHandle window) = 0;
    // The COPYDATASTRUCT a WM_COPYDATA lParam points to: its tag and bytes.
    // False when there is none.
    virtual bool read(std::int64_t lParam, std::uint64_t& tag, std::string& bytes) = 0;
    // True when the process owning the window runs as this process's user.
    virtual bool sameUser(WindowHandle sender) = 0;
    // Sends the reply bytes to the window as WM_COPYDATA with the reply tag.
    virtual bool reply(WindowHandle to, WindowHandle from, const std::string& bytes) = 0;
};

} // namespace qv
