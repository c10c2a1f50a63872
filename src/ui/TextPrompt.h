#pragma once
#include "base/WindowHandle.h"

#include <string>

namespace qv {

// Asks the user for one line of text in a small modal dialog: a title, a
// label, an edit field filled with `text`, OK and Cancel. True when the user
// confirms; `text` then holds exactly what was typed (an emptied field gives
// an empty text). False when the user cancels or closes the dialog, or it
// cannot be shown; `text` is then left as it was. The owner (0 for none) is
// disabled while the dialog is open.
class TextPrompt {
public:
    virtual ~TextPrompt() = default;
    virtual bool prompt(WindowHandle owner, const std::string& title, const std::string& label,
                        std::string& text) = 0;
};

} // namespace qv
