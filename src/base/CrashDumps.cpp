#include "base/CrashDumps.h"

#include "base/FileSystem.h"
#include "base/Log.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

namespace qv {

namespace {

// Set once by install, before the filter is installed; read by the filter.
// Never destroyed, so a crash while the process ends still finds it.
std::string& dumpFolder() {
    static std::string* folder = new std::string;
    return *folder;
}

bool hasDumpExtension(std::string_view name) {
    // As for a path's extension, a leading dot does not start one: ".dmp" alone has none.
    constexpr std::string_view kExtension = ".dmp";
    return name.size() > kExtension.size() && name.substr(name.size() - kExtension.size()) == kExtension;
}

// The UTF-16 code units of a UTF-8 text; bytes that are not valid UTF-8 count
// as U+FFFD. Windows orders names by these units, and for characters above
// U+FFFF (surrogate pairs, 0xD800-0xDFFF) that differs from the byte order of
// UTF-8, which puts them after U+E000-U+FFFF.
std::u16string utf16Units(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        char32_t cp = length == 1 ? lead : length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
        bool valid = length != 0 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            cp = (cp << 6) | (next & 0x3F);
        }
        constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        valid = valid && cp >= kSmallest[length] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
        if (!valid) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        if (cp < 0x10000) {
            out.push_back(static_cast<char16_t>(cp));
        } else {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        }
        i += length;
    }
    return out;
}

} // namespace

void CrashDumps::install(const std::string& folder, int keep) {
    if (keep < 1) keep = 1;
    dumpFolder() = folder;
    FileSystem::current().createFolderChain(folder);
    prune(folder, keep);
    CrashApi& api = CrashApi::current();
    api.installFilter(&CrashDumps::onUnhandledException);
    api.setErrorMode(CrashApi::kErrorModeNoDialogs);
}

void CrashDumps::prune(const std::string& folder, int keep) {
    if (keep < 1) keep = 1;
    FileSystem& fs = FileSystem::current();
    std::vector<FileSystem::FolderEntry> entries;
    if (!fs.listFolder(folder, entries)) return;

    struct Dump {
        std::string path;
        std::u16string order;
    };
    std::vector<Dump> dumps;
    for (const auto& entry : entries) {
        if (!entry.regularFile || !hasDumpExtension(entry.name)) continue;
        std::string path = folder + "\\" + entry.name;
        std::u16string order = utf16Units(path);
        dumps.push_back({std::move(path), std::move(order)});
    }
    std::sort(dumps.begin(), dumps.end(), [](const Dump& a, const Dump& b) { return a.order < b.order; });

    // Oldest first; a dump that cannot be deleted still counts as dealt with.
    size_t excess = dumps.size() > static_cast<size_t>(keep) ? dumps.size() - static_cast<size_t>(keep) : 0;
    for (size_t i = 0; i < excess; ++i) fs.removeFile(dumps[i].path);
}

std::string CrashDumps::fileName(const CrashApi::LocalTime& time) {
    char name[64];
    int n = std::snprintf(name, sizeof name, "crash-%04u%02u%02u-%02u%02u%02u.dmp", unsigned{time.year},
                          unsigned{time.month}, unsigned{time.day}, unsigned{time.hour}, unsigned{time.minute},
                          unsigned{time.second});
    return n > 0 ? std::string(name) : std::string();
}

long CrashDumps::onUnhandledException(const CrashApi::Exception& exception) {
    CrashApi& api = CrashApi::current();
    const std::string path = dumpFolder() + "\\" + fileName(api.localTime());
    const unsigned long code = exception.code;
    if (api.writeMinidump(path, exception, CrashApi::kDumpType))
        log::logf(log::Error, "Unhandled exception 0x%08lX; minidump written", code);
    else
        log::logf(log::Error, "Unhandled exception 0x%08lX; minidump could not be written", code);
    return CrashApi::kExecuteHandler;
}

} // namespace qv
