#pragma once
#include <string>

namespace qv {

// The embedded browser runtime the web panels run in. Asked before every
// flyout show and every settings open, so a runtime installed or removed
// while the program runs is noticed.
class BrowserRuntime {
public:
    virtual ~BrowserRuntime() = default;
    virtual bool available() = 0;
};

// The browser profile both web panels share: Quorvane\WebView2 under the
// local application data folder, or under the current folder without one.
inline std::string browserProfileFolder(const std::string& localAppData) {
    return (localAppData.empty() ? std::string(".") : localAppData) + "\\Quorvane\\WebView2";
}

} // namespace qv
