#include "sim/SimSettingsPageWindow.h"

#include "base/StrPrintf.h"
#include "web/GlassSettingsWindow.h"

namespace qv::sim {

namespace {

std::string text(const ScreenRect& r) { return strprintf("(%d,%d)-(%d,%d)", r.left, r.top, r.right, r.bottom); }

} // namespace

std::vector<std::string> SimSettingsPageWindow::scripts() const {
    std::vector<std::string> out;
    for (const std::string& call : calls)
        if (call.rfind("script ", 0) == 0) out.push_back(call.substr(7));
    return out;
}

void SimSettingsPageWindow::loadPage() {
    if (!window) return;
    window->onEnvironmentCreated(true);
    window->onControllerCreated(true);
    window->onNavigationCompleted();
}

bool SimSettingsPageWindow::create(uint64_t, const ScreenRect& r) {
    calls.push_back("create " + text(r));
    if (failCreate) return false;
    created = true;
    shown = false;
    rect = r;
    return true;
}

void SimSettingsPageWindow::destroy() {
    if (!created) return;
    calls.push_back("destroy");
    if (window) window->onDestroy();
    created = false;
    shown = false;
}

void SimSettingsPageWindow::show() {
    calls.push_back("show");
    shown = true;
}

void SimSettingsPageWindow::move(const ScreenRect& r) {
    calls.push_back("move " + text(r));
    rect = r;
}

bool SimSettingsPageWindow::createEnvironment(const std::string& profileFolder) {
    calls.push_back("environment " + profileFolder);
    return !failEnvironmentCall;
}

bool SimSettingsPageWindow::createController() {
    calls.push_back("controller");
    return !failControllerCall;
}

void SimSettingsPageWindow::startPage() {
    calls.push_back("startPage");
    webView = true;
}

void SimSettingsPageWindow::closeBrowser() {
    calls.push_back("closeBrowser");
    webView = false;
}

} // namespace qv::sim
