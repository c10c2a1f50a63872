#pragma once

namespace qv {

// The embedded browser runtime the web panels run in. Asked before every
// flyout show and every settings open, so a runtime installed or removed
// while the program runs is noticed.
class BrowserRuntime {
public:
    virtual ~BrowserRuntime() = default;
    virtual bool available() = 0;
};

} // namespace qv
