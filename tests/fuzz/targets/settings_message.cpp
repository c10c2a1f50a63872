// The settings page's messages (one JSON text per line) to an open web
// settings window over the simulated disk. Whatever the text, the settings
// stay within what the program supports (1 to 8 previews, 5 to 60 frames a
// second, the stable or dev channel), config.json always reads back as the
// settings in memory, every document the page is given is JSON, and the
// window stays inside the work area.
#include "FuzzSupport.h"

#include "sim/SimSettingsPageWindow.h"
#include "web/GlassSettingsWindow.h"

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Disk disk;
    Config config;
    sim::SimSettingsPageWindow page;
    GlassSettingsWindow settings(page);
    SettingsCallbacks callbacks;
    callbacks.chooseRecordingsFolder = [&] { config.recordingDir = "D:\\Videos"; };
    settings.create(0x140000000, config, callbacks);
    page.loadPage();

    for (const std::string& message : fuzz::lines(fuzz::bytes(data, size), 16)) {
        page.clearCalls();
        settings.onSettingsMessage(message);
        const std::string detail = fuzz::shown(message) + "\nsettings: " + fuzz::configText(config);
        QV_FUZZ_CHECK(config.maxPreviews >= 1 && config.maxPreviews <= GlassSettingsWindow::kMaxPreviewsLimit, detail);
        QV_FUZZ_CHECK(config.recordingFps >= GlassSettingsWindow::kMinFps &&
                          config.recordingFps <= GlassSettingsWindow::kMaxFps,
                      detail);
        QV_FUZZ_CHECK(config.updateChannel == "stable" || config.updateChannel == "dev", detail);

        if (disk.files.fileExists(configPath())) {
            Config stored;
            QV_FUZZ_CHECK(stored.load(), detail);
            QV_FUZZ_CHECK(fuzz::configText(stored) == fuzz::configText(config),
                          detail + "\nstored:   " + fuzz::configText(stored));
        }
        for (const std::string& script : page.scripts()) {
            const std::string prefix = "window.qvInit(";
            if (script.rfind(prefix, 0) != 0) continue;
            const std::string document = script.substr(prefix.size(), script.size() - prefix.size() - 1);
            QV_FUZZ_CHECK(nlohmann::json::accept(document), detail + "\ndocument: " + fuzz::shown(document));
        }
        if (page.created && page.workArea) {
            const ScreenRect& r = page.rect;
            QV_FUZZ_CHECK(r.height() > 0 && r.top >= page.workArea->top && r.bottom <= page.workArea->bottom,
                          detail + "\nwindow " + std::to_string(r.top) + ".." + std::to_string(r.bottom));
        }
    }
    return 0;
}
