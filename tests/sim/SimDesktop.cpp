#include "sim/SimDesktop.h"

#include "base/CrashApi.h"
#include "base/DebugOutput.h"
#include "base/FileSystem.h"
#include "base/KnownFolders.h"

namespace qv::sim {

SimDesktop::SimDesktop()
    : previousFiles_(FileSystem::install(&files)),
      previousFolders_(KnownFolders::install(&folders)),
      previousDebug_(DebugOutput::install(&debug)),
      previousCrash_(CrashApi::install(&crash)) {}

SimDesktop::~SimDesktop() {
    CrashApi::install(previousCrash_);
    DebugOutput::install(previousDebug_);
    KnownFolders::install(previousFolders_);
    FileSystem::install(previousFiles_);
}

void SimDesktop::createUserProfile() { files.addFolder(folders.path(KnownFolder::RoamingAppData)); }

} // namespace qv::sim
