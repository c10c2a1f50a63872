#pragma once
#include "ui/TextPrompt.h"

#include <cstdint>

namespace qv {

// The text prompt as a small dark modal window of plain Win32 controls: a
// label, an edit field, OK and Cancel. prompt() runs its own message loop,
// in which every other window of the thread keeps getting its messages; a
// quit request that arrives meanwhile cancels the prompt and is posted again
// for the program's main loop.
class Win32TextPrompt final : public TextPrompt {
public:
    static constexpr const wchar_t* kClassName = L"QuorvanePrompt";

    // instance: the module that registers the window class.
    explicit Win32TextPrompt(uint64_t instance);

    bool prompt(WindowHandle owner, const std::string& title, const std::string& label, std::string& text) override;

private:
    uint64_t instance_;
};

} // namespace qv
