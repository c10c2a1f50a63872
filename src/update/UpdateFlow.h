#pragma once
#include "update/UpdateCheck.h"

#include <functional>
#include <string>

namespace qv {

// What a running update check shows the user or tells the tray controller.
// Called on the check's worker thread: message boxes are modal there, the
// rest is posted or shown through the tray icon.
class UpdateUi {
public:
    enum class Box {
        Warning,     // MB_ICONWARNING
        Information, // MB_ICONINFORMATION
        Question,    // MB_ICONINFORMATION | MB_YESNO
    };
    virtual ~UpdateUi() = default;
    // A box titled "Quorvane" without owner; true when a question is answered Yes.
    virtual bool messageBox(const std::string& text, Box box) = 0;
    // An error notice through the tray icon.
    virtual void errorNotice(const std::string& title, const std::string& text) = 0;
    // WM_APP + 2 to the controller: this version is available.
    virtual void postAvailable(const std::string& latest) = 0;
    // WM_APP + 4 (requested) or WM_APP + 6 (automatic) to the controller:
    // the installer is running, quit now.
    virtual void postInstalling(const std::string& latest, bool automatic) = 0;
};

// What an automatic check is given when its thread starts.
struct AutomaticCheck {
    std::string baseUrl;
    std::string channel;
    bool autoInstall = true;
    // The version the automatic install put in place last: a manifest that
    // still offers it names a file that is not that version, so it is
    // announced rather than installed again.
    std::string lastAutoInstallVersion;
    // True while a recording or an NDI share runs; asked on the check's
    // thread just before installing, which would end it. May be empty.
    std::function<bool()> captureRunning;
};

// The two ways a check runs, once its thread has started: the automatic one
// (at start and every four hours), which installs at once when allowed (and
// neither a version it installed before nor during a recording or an NDI
// share) and otherwise lets the controller announce the version; and the requested one
// (the tray menu, the settings), which reports every outcome in a message box
// and asks before installing.
class UpdateFlow {
public:
    using Check = std::function<UpdateInfo(const std::string& baseUrl, const std::string& channel)>;
    using Install = std::function<bool(const UpdateInfo& info, std::string& error)>;

    UpdateFlow(Check check, Install install, UpdateUi& ui);

    // Logged when an automatic check announces a version instead of
    // installing it while a recording or an NDI share runs.
    static constexpr const char* kPostponedLine = "Update postponed: a recording or NDI share is running";

    void automatic(const AutomaticCheck& check);
    void requested(const std::string& baseUrl, const std::string& channel);

private:
    Check check_;
    Install install_;
    UpdateUi& ui_;
};

} // namespace qv
