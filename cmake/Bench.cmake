find_package(benchmark REQUIRED)
file(GLOB QV_BENCH_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/bench/*.cpp)
if(QV_BENCH_SOURCES)
  add_executable(qv_bench ${QV_BENCH_SOURCES})
  target_include_directories(qv_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  # The benchmarks' own sources get the project's warnings; the simulated
  # desktop is checked in the unit build (in Release, GCC 12 reports a false
  # -Wrestrict inside std::string there).
  set_source_files_properties(${QV_BENCH_SOURCES} PROPERTIES COMPILE_OPTIONS "${QV_WARNINGS}")
  target_link_libraries(qv_bench PRIVATE qv_core benchmark::benchmark benchmark::benchmark_main)
  file(GLOB_RECURSE QV_BENCH_SIM CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/sim/*.cpp)
  target_sources(qv_bench PRIVATE ${QV_BENCH_SIM})
  find_package(OpenSSL REQUIRED)
  target_link_libraries(qv_bench PRIVATE OpenSSL::Crypto)
  target_compile_definitions(qv_bench PRIVATE QV_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
endif()
