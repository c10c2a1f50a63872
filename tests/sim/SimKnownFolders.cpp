#include "sim/SimKnownFolders.h"

namespace qv::sim {

SimKnownFolders::SimKnownFolders()
    : paths_{
          {KnownFolder::RoamingAppData, "C:\\Users\\sim\\AppData\\Roaming"},
          {KnownFolder::LocalAppData, "C:\\Users\\sim\\AppData\\Local"},
          {KnownFolder::Programs, "C:\\Users\\sim\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"},
          {KnownFolder::Videos, "C:\\Users\\sim\\Videos"},
      } {}

void SimKnownFolders::set(KnownFolder folder, const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    paths_[folder] = path;
}

std::string SimKnownFolders::path(KnownFolder folder) {
    std::lock_guard<std::mutex> lock(mutex_);
    return paths_[folder];
}

} // namespace qv::sim
