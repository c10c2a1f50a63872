#include "sim/SimFlyoutWindow.h"

#include "base/StrPrintf.h"
#include "web/GlassFlyoutPanel.h"

namespace qv::sim {

namespace {

std::string text(const ScreenRect& r) { return strprintf("(%d,%d)-(%d,%d)", r.left, r.top, r.right, r.bottom); }

} // namespace

std::vector<std::string> SimFlyoutWindow::scripts() const {
    std::vector<std::string> out;
    for (const std::string& call : calls)
        if (call.rfind("script ", 0) == 0) out.push_back(call.substr(7));
    return out;
}

void SimFlyoutWindow::loadPage() {
    if (!panel) return;
    panel->onEnvironmentCreated(true);
    panel->onControllerCreated(true);
    panel->onNavigationCompleted();
}

bool SimFlyoutWindow::create(const ScreenRect& r) {
    calls.push_back("create " + text(r));
    if (failCreate) return false;
    created = true;
    visible = false;
    rect = r;
    return true;
}

void SimFlyoutWindow::destroy() {
    calls.push_back("destroy");
    created = false;
    visible = false;
    webView = false;
    timer = false;
}

void SimFlyoutWindow::showAt(const ScreenRect& r) {
    calls.push_back("showAt " + text(r));
    rect = r;
    visible = true;
}

void SimFlyoutWindow::hide() {
    calls.push_back("hide");
    visible = false;
}

void SimFlyoutWindow::setLevelTimer() {
    calls.push_back("setTimer 1 50");
    timer = true;
}

void SimFlyoutWindow::killLevelTimer() {
    calls.push_back("killTimer 1");
    timer = false;
}

void SimFlyoutWindow::postTaskMessage() {
    calls.push_back("post WM_APP+21");
    ++postedTasks;
}

void SimFlyoutWindow::quit(int exitCode) { calls.push_back(strprintf("quit %d", exitCode)); }

bool SimFlyoutWindow::createEnvironment(const std::string& profileFolder) {
    calls.push_back("createEnvironment " + profileFolder);
    return !failEnvironmentCall;
}

bool SimFlyoutWindow::createController() {
    calls.push_back("createController");
    return !failControllerCall;
}

void SimFlyoutWindow::startPage() {
    calls.push_back("startPage");
    webView = true;
}

void SimFlyoutWindow::executeScript(const std::string& script) { calls.push_back("script " + script); }

void SimFlyoutWindow::updateBounds() { calls.push_back("updateBounds"); }

void SimFlyoutWindow::closeBrowser() {
    calls.push_back("closeBrowser");
    webView = false;
}

} // namespace qv::sim
