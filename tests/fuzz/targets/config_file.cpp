// config.json as the user (or another program) left it. Reading never
// changes the file; a file that loads, saved and loaded again, gives the same
// settings, and saving that again writes the same bytes; a file that does
// not load is never written over unless a copy of it was kept.
#include "FuzzSupport.h"

#include "base/JsonFile.h"

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = fuzz::bytes(data, size);
    fuzz::Disk disk;
    const std::string path = configPath();
    const std::string kept = JsonFile::keptPath(path);
    disk.files.setFile(path, text);

    Config first;
    const bool loaded = first.load();
    QV_FUZZ_CHECK(disk.files.content(path) == text, "reading changed the file");
    if (disk.files.fileExists(kept)) QV_FUZZ_CHECK(disk.files.content(kept) == text, "the kept copy differs");
    QV_FUZZ_CHECK(first.maxPreviews >= 1 && first.maxPreviews <= 8, fuzz::configText(first));
    QV_FUZZ_CHECK(first.recordingFps >= 5 && first.recordingFps <= 60, fuzz::configText(first));
    QV_FUZZ_CHECK(first.hotplugSettleMs >= 0 && first.hotplugSettleMs <= Config::kMaxHotplugSettleMs,
                  fuzz::configText(first));

    if (!loaded) {
        QV_FUZZ_CHECK(fuzz::configText(first) == fuzz::configText(Config{}), "a file that did not load changed " + fuzz::configText(first));
        first.save();
        QV_FUZZ_CHECK(disk.files.content(path) == text || disk.files.content(kept) == text,
                      "a file that did not load was written over without a copy");
        return 0;
    }

    QV_FUZZ_CHECK(first.save(), "the loaded settings could not be saved");
    const std::string saved = disk.files.content(path);
    Config second;
    QV_FUZZ_CHECK(second.load(), "the saved file does not load: " + fuzz::shown(saved));
    QV_FUZZ_CHECK(fuzz::configText(second) == fuzz::configText(first),
                  "loaded:  " + fuzz::configText(first) + "\nreloaded: " + fuzz::configText(second));
    QV_FUZZ_CHECK(second.save(), "the reloaded settings could not be saved");
    QV_FUZZ_CHECK(disk.files.content(path) == saved, "saving the same settings again wrote other bytes");
    return 0;
}
