#include "sim/SimDesktop.h"

#include "app/CrashApi.h"
#include "app/DebugOutput.h"
#include "app/FileSystem.h"
#include "app/KnownFolders.h"

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
