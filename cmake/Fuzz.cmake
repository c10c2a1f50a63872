# libFuzzer targets over the portable core and the simulated desktop, one per
# source in tests/fuzz/targets (fuzz_<name>), built with clang under
# AddressSanitizer and UBSan (see QV_FUZZ in the top CMakeLists.txt).
#
# The targets link only the parts of the core that read outside input, and
# the simulated ports they run on, so a cold build stays short; the build
# target fuzz_targets builds them all.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "QV_FUZZ needs clang (libFuzzer); configure with the fuzz preset")
endif()

set(QV_FUZZ_CORE_SOURCES
  base/DebugOutput.cpp base/Elevation.cpp base/ErrorText.cpp base/FileSystem.cpp base/JsonFile.cpp
  base/KnownFolders.cpp base/Log.cpp base/StrPrintf.cpp
  settings/Config.cpp
  display/DisplayKey.cpp display/DisplayManager.cpp display/DisplaySettings.cpp display/DisplayTopology.cpp
  display/Edid.cpp display/ModeChoices.cpp display/Projection.cpp display/ResolutionPush.cpp
  windows/Grid.cpp windows/WindowHomecoming.cpp windows/WindowPlacement.cpp
  layout/LayoutStore.cpp
  actions/Action.cpp actions/ActionBus.cpp actions/ActionRequest.cpp
  hotkeys/Chord.cpp hotkeys/HotkeyBindings.cpp
  audio/AppAudioReset.cpp
  update/ManifestSignature.cpp update/UpdateCheck.cpp update/UpdateFetcher.cpp update/UpdateKey.cpp
  update/UpdateUrl.cpp update/UpdateVersion.cpp
  vdisplay/VdClock.cpp vdisplay/VdCommandLine.cpp vdisplay/VdReport.cpp
  web/FlyoutCommands.cpp web/GlassSettingsWindow.cpp)
list(TRANSFORM QV_FUZZ_CORE_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/src/)
add_library(qv_fuzz_core STATIC ${QV_FUZZ_CORE_SOURCES})
target_include_directories(qv_fuzz_core PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_compile_options(qv_fuzz_core PRIVATE ${QV_WARNINGS})
target_link_libraries(qv_fuzz_core PUBLIC nlohmann_json::nlohmann_json Threads::Threads)
target_compile_definitions(qv_fuzz_core PUBLIC QV_VERSION="${PROJECT_VERSION}")

set(QV_FUZZ_SIM_SOURCES
  SimDebugOutput.cpp SimDisplays.cpp SimEdid.cpp SimFileSystem.cpp SimHotkeys.cpp SimKnownFolders.cpp
  SimSettingsPageWindow.cpp SimUpdateServer.cpp SimWindows.cpp TestSigning.cpp)
list(TRANSFORM QV_FUZZ_SIM_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/tests/sim/)
add_library(qv_fuzz_sim STATIC ${QV_FUZZ_SIM_SOURCES})
target_include_directories(qv_fuzz_sim PUBLIC ${PROJECT_SOURCE_DIR}/tests)
target_compile_options(qv_fuzz_sim PRIVATE ${QV_WARNINGS})
target_compile_definitions(qv_fuzz_sim PRIVATE QV_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
find_package(OpenSSL REQUIRED)
target_link_libraries(qv_fuzz_sim PUBLIC qv_fuzz_core OpenSSL::Crypto)

add_custom_target(fuzz_targets)
file(GLOB QV_FUZZ_TARGET_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/fuzz/targets/*.cpp)
foreach(source ${QV_FUZZ_TARGET_SOURCES})
  get_filename_component(name ${source} NAME_WE)
  add_executable(fuzz_${name} EXCLUDE_FROM_ALL ${source})
  target_include_directories(fuzz_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/fuzz)
  target_compile_options(fuzz_${name} PRIVATE ${QV_WARNINGS})
  target_link_libraries(fuzz_${name} PRIVATE qv_fuzz_sim)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  add_dependencies(fuzz_targets fuzz_${name})
endforeach()
