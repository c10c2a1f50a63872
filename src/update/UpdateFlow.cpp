#include "update/UpdateFlow.h"

#include "base/Log.h"
#include "update/UpdateVersion.h"

#include <utility>

namespace qv {

UpdateFlow::UpdateFlow(Check check, Install install, UpdateUi& ui)
    : check_(std::move(check)), install_(std::move(install)), ui_(ui) {}

void UpdateFlow::automatic(const AutomaticCheck& check) {
    const UpdateInfo info = check_(check.baseUrl, check.channel);
    if (!info.available) return;
    if (check.autoInstall) {
        if (!check.lastAutoInstallVersion.empty() &&
            splitVersion(info.latest) == splitVersion(check.lastAutoInstallVersion)) {
            log::write(log::Warn, "Auto-update skipped: version " + info.latest +
                                      " was installed automatically before; notifying instead");
        } else if (check.captureRunning && check.captureRunning()) {
            // The restart would end the recording or the share; the next
            // check tries again.
            log::write(log::Info, kPostponedLine);
        } else {
            std::string error;
            if (install_(info, error)) {
                ui_.postInstalling(info.latest, true);
                return;
            }
            log::write(log::Warn, "Auto-update failed; notifying instead: " + error);
        }
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
            ui_.postInstalling(info.latest, false);
        } else {
            ui_.errorNotice("Update failed", error);
        }
    } else {
        ui_.messageBox("You're on the latest version (v" + info.current + ").", UpdateUi::Box::Information);
    }
}

} // namespace qv
