#include "update/UpdateFlow.h"

#include "base/Log.h"

#include <utility>

namespace qv {

UpdateFlow::UpdateFlow(Check check, Install install, UpdateUi& ui)
    : check_(std::move(check)), install_(std::move(install)), ui_(ui) {}

void UpdateFlow::automatic(const std::string& baseUrl, const std::string& channel, bool autoInstall) {
    const UpdateInfo info = check_(baseUrl, channel);
    if (!info.available) return;
    if (autoInstall) {
        std::string error;
        if (install_(info, error)) {
            ui_.postInstalling(info.latest);
            return;
        }
        log::write(log::Warn, "Auto-update failed; notifying instead: " + error);
    }
    ui_.postAvailable(info.latest);
}

void UpdateFlow::requested(const std::string& baseUrl, const std::string& channel) {
    const UpdateInfo info = check_(baseUrl, channel);
    if (!info.error.empty()) {
        ui_.messageBox("Couldn't check for updates:\n\n" + info.error, UpdateUi::Box::Warning);
    } else if (info.available) {
        const std::string question = "Version " + info.latest + " is available (you have v" + info.current +
                                     ").\n\nDownload and install now? Quorvane will restart.";
        if (!ui_.messageBox(question, UpdateUi::Box::Question)) return;
        std::string error;
        if (install_(info, error)) {
            ui_.postInstalling(info.latest);
        } else {
            ui_.errorNotice("Update failed", error);
        }
    } else {
        ui_.messageBox("You're on the latest version (v" + info.current + ").", UpdateUi::Box::Information);
    }
}

} // namespace qv
