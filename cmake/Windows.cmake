# Windows build: Win32 adapters, quorvane.exe and the adapter tests that run under Wine.
enable_language(RC)
# Media Foundation (mfplat, mfreadwrite) is loaded at run time so the program
# starts on editions of Windows without it; only its GUIDs are linked. The
# shader compiler (d3dcompiler_47) is loaded when the first preview starts.
set(QV_WIN_LIBS user32 gdi32 shell32 advapi32 ole32 oleaut32 uuid setupapi shlwapi comctl32 dwmapi uxtheme version dbghelp winhttp bcrypt
  d3d11 dxgi dxguid mfuuid)
set(QV_STATIC_LINK -static -static-libgcc -static-libstdc++)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)

file(GLOB_RECURSE QV_WIN32_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/*/win32/*.cpp)
list(FILTER QV_WIN32_SOURCES EXCLUDE REGEX "/WinMain\\.cpp$")
add_library(qv_win32 STATIC ${QV_WIN32_SOURCES})
target_compile_options(qv_win32 PRIVATE ${QV_WARNINGS})
target_link_libraries(qv_win32 PUBLIC qv_core ${QV_WIN_LIBS})

add_executable(quorvane WIN32 ${PROJECT_SOURCE_DIR}/src/app/win32/WinMain.cpp ${PROJECT_SOURCE_DIR}/res/quorvane.rc)
target_compile_options(quorvane PRIVATE ${QV_WARNINGS})
target_link_libraries(quorvane PRIVATE qv_win32 ${QV_STATIC_LINK} -municode)
# The version resource and the manifest's assembly version take their numbers
# from VERSION too; windres finds the written manifest through the include path.
configure_file(${PROJECT_SOURCE_DIR}/res/quorvane.manifest.in ${CMAKE_BINARY_DIR}/generated/res/quorvane.manifest @ONLY)
set_source_files_properties(${PROJECT_SOURCE_DIR}/res/quorvane.rc PROPERTIES
  COMPILE_DEFINITIONS "QV_VERSION_MAJOR=${PROJECT_VERSION_MAJOR};QV_VERSION_MINOR=${PROJECT_VERSION_MINOR};QV_VERSION_PATCH=${PROJECT_VERSION_PATCH}"
  INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/generated/res
  OBJECT_DEPENDS "${CMAKE_BINARY_DIR}/generated/res/quorvane.manifest;${PROJECT_SOURCE_DIR}/res/quorvane.ico;${PROJECT_SOURCE_DIR}/res/quorvane-mono.ico")

if(QV_TESTS)
  # GoogleTest built from the Debian sources with the cross compiler.
  set(QV_GTEST_SRC /usr/src/googletest/googletest)
  add_library(qv_gtest_win STATIC ${QV_GTEST_SRC}/src/gtest-all.cc)
  target_include_directories(qv_gtest_win SYSTEM PUBLIC ${QV_GTEST_SRC}/include PRIVATE ${QV_GTEST_SRC})

  file(GLOB_RECURSE QV_WINE_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/wine/*.cpp)
  add_executable(qv_wintests ${QV_WINE_TEST_SOURCES})
  target_include_directories(qv_wintests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_options(qv_wintests PRIVATE ${QV_WARNINGS})
  target_link_libraries(qv_wintests PRIVATE qv_win32 qv_gtest_win ${QV_STATIC_LINK})

  # For tests/e2e/picker.sh: the region picker over the primary display,
  # printing the rectangle it returns.
  add_executable(pickertool ${PROJECT_SOURCE_DIR}/tests/e2e/pickertool.cpp)
  target_compile_options(pickertool PRIVATE ${QV_WARNINGS})
  target_link_libraries(pickertool PRIVATE qv_win32 ${QV_STATIC_LINK})
endif()

if(QV_TESTS)
  # The imitation WebView2 runtime, laid out as the real runtime's folder:
  # <folder>\EBWebView\x64\EmbeddedBrowserWebView.dll.
  set(QV_IMITATION_WEBVIEW2_DIR ${CMAKE_BINARY_DIR}/imitation-webview2/EBWebView/x64)
  add_library(imitation_webview2 SHARED ${PROJECT_SOURCE_DIR}/tests/imitation/webview2/ImitationWebView2.cpp)
  target_include_directories(imitation_webview2 PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_compile_options(imitation_webview2 PRIVATE ${QV_WARNINGS})
  target_link_libraries(imitation_webview2 PRIVATE ole32 user32 gdi32 ${QV_STATIC_LINK})
  set_target_properties(imitation_webview2 PROPERTIES
    PREFIX "" OUTPUT_NAME EmbeddedBrowserWebView
    RUNTIME_OUTPUT_DIRECTORY ${QV_IMITATION_WEBVIEW2_DIR})
  add_dependencies(qv_wintests imitation_webview2)
endif()

if(QV_TESTS)
  # Two imitation NDI runtimes: a complete one and an old one that lacks
  # NDIlib_send_get_no_connections. Each sits in a folder of its own, never
  # next to qv_wintests.exe, whose folder the loader searches by itself.
  foreach(variant full old)
    set(target imitation_ndi_${variant})
    set(folder ${CMAKE_BINARY_DIR}/imitation-ndi/${variant})
    add_library(${target} SHARED ${PROJECT_SOURCE_DIR}/tests/imitation/ndi/ImitationNdi.cpp)
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_compile_options(${target} PRIVATE ${QV_WARNINGS})
    target_link_libraries(${target} PRIVATE ${QV_STATIC_LINK})
    set_target_properties(${target} PROPERTIES
      PREFIX "" OUTPUT_NAME Processing.NDI.Lib.x64
      RUNTIME_OUTPUT_DIRECTORY ${folder} ARCHIVE_OUTPUT_DIRECTORY ${folder}/lib)
    add_dependencies(qv_wintests ${target})
  endforeach()
  target_compile_definitions(imitation_ndi_old PRIVATE QV_IMITATION_NDI_WITHOUT_CONNECTIONS)
endif()
