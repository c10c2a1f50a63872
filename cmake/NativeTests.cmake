# Native unit tier: GoogleTest over the portable core and the simulated desktop.
find_package(GTest REQUIRED)
enable_testing()

file(GLOB_RECURSE QV_SIM_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/sim/*.cpp)
add_library(qv_sim STATIC ${QV_SIM_SOURCES})
target_include_directories(qv_sim PUBLIC ${PROJECT_SOURCE_DIR}/tests)
target_compile_options(qv_sim PRIVATE ${QV_WARNINGS})
target_link_libraries(qv_sim PUBLIC qv_core)
# Update manifests are signed and checked with OpenSSL natively, where CNG is not.
find_package(OpenSSL REQUIRED)
target_link_libraries(qv_sim PUBLIC OpenSSL::Crypto)
target_compile_definitions(qv_sim PRIVATE QV_SOURCE_DIR="${PROJECT_SOURCE_DIR}")

file(GLOB_RECURSE QV_UNIT_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(qv_tests ${QV_UNIT_SOURCES})
target_compile_options(qv_tests PRIVATE ${QV_WARNINGS})
target_link_libraries(qv_tests PRIVATE qv_sim GTest::gtest GTest::gtest_main)
include(GoogleTest)
gtest_discover_tests(qv_tests DISCOVERY_MODE PRE_TEST)
# The tests that compare what the build embedded with the files it came from.
target_compile_definitions(qv_tests PRIVATE QV_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
