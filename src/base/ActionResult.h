#pragma once
#include <string>
#include <utility>

namespace qv {

// The answer to every request: a success flag and one short message for the
// user. Operations of the display manager, the layout store and the window
// placement service return it, and the action bus passes it on.
struct ActionResult {
    bool ok = false;
    std::string message;

    static ActionResult success(std::string message) { return ActionResult{true, std::move(message)}; }
    static ActionResult failure(std::string message) { return ActionResult{false, std::move(message)}; }
};

} // namespace qv
