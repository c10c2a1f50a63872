#pragma once
// What the fuzz targets share: the property check, the text helpers, and
// the simulated ports a target runs the core on.
#include "actions/ActionBus.h"
#include "base/FileSystem.h"
#include "base/KnownFolders.h"
#include "display/DisplayManager.h"
#include "layout/LayoutStore.h"
#include "settings/Config.h"
#include "sim/SimDisplays.h"
#include "sim/SimFileSystem.h"
#include "sim/SimKnownFolders.h"
#include "sim/SimWindows.h"
#include "windows/WindowPlacement.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace qv::fuzz {

// A property that does not hold is a finding like a crash: it is reported
// and the run stops, so libFuzzer keeps the input that broke it.
[[noreturn]] inline void fail(const char* property, const std::string& detail) {
    std::fprintf(stderr, "\nproperty failed: %s\n%s\n", property, detail.c_str());
    std::fflush(stderr);
    std::abort();
}

#define QV_FUZZ_CHECK(condition, detail)                                   \
    do {                                                                   \
        if (!(condition)) ::qv::fuzz::fail(#condition, (detail));          \
    } while (0)

inline std::string bytes(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// The lines of the input, without their line feeds: the page messages,
// arguments and header values a target feeds one by one.
inline std::vector<std::string> lines(std::string_view text, size_t most = 64) {
    std::vector<std::string> out;
    while (!text.empty() && out.size() < most) {
        const size_t end = text.find('\n');
        out.emplace_back(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return out;
}

// Text with C escapes for everything outside printable ASCII, for reports.
inline std::string shown(std::string_view text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        }
    }
    return out;
}

// Well-formed UTF-8 (no overlong forms, surrogates or values beyond
// U+10FFFF) without control characters.
inline bool printableUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7F) return false;
            ++i;
            continue;
        }
        size_t length = 0;
        uint32_t value = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            value = c & 0x1Fu;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            value = c & 0x0Fu;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            value = c & 0x07u;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0u) != 0x80u) return false;
            value = (value << 6) | (next & 0x3Fu);
        }
        if ((length == 3 && value < 0x800) || (length == 4 && (value < 0x10000 || value > 0x10FFFF)) ||
            (value >= 0xD800 && value <= 0xDFFF) || (value >= 0x80 && value < 0xA0))
            return false;
        i += length;
    }
    return true;
}

// Every field of the settings record, as one line of text.
inline std::string configText(const Config& c) {
    const nlohmann::json doc = {{"version", c.version},
                                {"startWithWindows", c.startWithWindows},
                                {"preferElevated", c.preferElevated},
                                {"autoRestoreOnHotplug", c.autoRestoreOnHotplug},
                                {"restoreWindowsOnReconnect", c.restoreWindowsOnReconnect},
                                {"hotplugSettleMs", c.hotplugSettleMs},
                                {"maxPreviews", c.maxPreviews},
                                {"recordingDir", c.recordingDir},
                                {"recordingFps", c.recordingFps},
                                {"recordingAudio", c.recordingAudio},
                                {"autoCheckUpdates", c.autoCheckUpdates},
                                {"autoInstallUpdates", c.autoInstallUpdates},
                                {"monochromeIcon", c.monochromeIcon},
                                {"uiPanels", c.uiPanels},
                                {"welcomeShown", c.welcomeShown},
                                {"updateChannel", c.updateChannel},
                                {"updateBaseUrl", c.updateBaseUrl},
                                {"lastAutoInstallVersion", c.lastAutoInstallVersion},
                                {"hotkeys", c.hotkeys},
                                {"displayNames", c.displayNames}};
    return doc.dump(-1, ' ', true, nlohmann::json::error_handler_t::replace);
}

// The user's disk and known folders, installed process-wide while it lives,
// with the roaming profile folder the settings and layouts live in.
struct Disk {
    Disk() { files.addFolder(folders.path(KnownFolder::RoamingAppData)); }
    ~Disk() {
        KnownFolders::install(previousFolders);
        FileSystem::install(previousFiles);
    }
    Disk(const Disk&) = delete;
    Disk& operator=(const Disk&) = delete;

    sim::SimFileSystem files;
    sim::SimKnownFolders folders;
    FileSystem* previousFiles = FileSystem::install(&files);
    KnownFolders* previousFolders = KnownFolders::install(&folders);
};

// The program's core on a simulated docked laptop (a panel and two
// monitors), wired as the program wires it.
struct World {
    World() {
        docked = displays.laptopWithTwoDocked();
        manager.enumerate();
    }

    Disk disk;
    sim::SimDisplays displays;
    sim::SimWindows windows{displays};
    sim::SimDisplays::Docked docked{};
    DisplayManager manager{displays};
    Config config;
    LayoutStore layouts;
    WindowPlacement placement{windows, manager};
    ActionBus bus{manager, placement, layouts, config};
};

} // namespace qv::fuzz
