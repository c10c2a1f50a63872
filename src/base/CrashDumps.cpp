#include "base/CrashDumps.h"

#include "base/FileSystem.h"
#include "base/Log.h"
#include "base/Utf16Text.h"

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
        // Windows orders names by their UTF-16 units; for characters above U+FFFF
        // (surrogate pairs) that differs from the byte order of UTF-8.
        std::u16string order = utf8ToUtf16(path);
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
