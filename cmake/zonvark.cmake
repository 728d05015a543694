# Helpers shared by the project's CMake files.

# Libraries compile as unity builds: their sources are put together a few at a time (ZV_UNITY_BATCH per
# batch) and each batch compiles as one translation unit, so the common headers are parsed and their
# inline code instantiated once per batch instead of once per file. See docs/build.md.
option(ZV_UNITY_BUILD "Compile the libraries in batches of sources (unity build)" ON)
set(ZV_UNITY_BATCH 8 CACHE STRING "Sources per unity batch of a library")

# zv_library(<target> SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...] [UNITY_EXCLUDE <file.cpp> ...])
# A library of one Layout folder. Headers are included as "platform/x.h", "imaging/core/x.h" ...
# UNITY_EXCLUDE names sources (by file name) that compile on their own, outside the unity batches: a file
# whose file-local names or macros clash with another file of the library.
function(zv_library target)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS;UNITY_EXCLUDE" ${ARGN})
  add_library(${target} STATIC ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
  if(ZV_UNITY_BUILD)
    set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE ${ZV_UNITY_BATCH})
    foreach(src ${ARG_SOURCES})
      get_filename_component(file ${src} NAME)
      if(file IN_LIST ARG_UNITY_EXCLUDE)
        set_source_files_properties(${src} TARGET_DIRECTORY ${target} PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
      endif()
    endforeach()
  endif()
endfunction()

# The test programs' own sources compile without optimisation in the Asan build: they mostly call the
# libraries (which keep -O1), and an optimised, instrumented GoogleTest source costs twice the time.
set(ZV_TEST_OPT "-O0" CACHE STRING "Optimisation of the test programs' own sources in the Asan build")

# zv_test(<name> SOURCES ... LIBS ... [LOCK <lock>])
# One GoogleTest executable, registered with CTest as one test: its cases run in one process, so the
# sanitizer runtime starts once per program, not once per case. A failing case still names itself in the
# output ("[  FAILED  ] Suite.Case", shown by ctest --output-on-failure), and a single case runs with
# `<program> --gtest_filter=Suite.Case`. A program has ten minutes. The cases of one program share their
# fixture files under ZV_TEST_TMP; programs that share files with others name a common LOCK, and CTest
# never runs two programs holding the same lock at once.
function(zv_test name)
  cmake_parse_arguments(ARG "" "LOCK" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE ZV_TEST_TMP="${CMAKE_BINARY_DIR}/test-tmp")
  if(ZV_TEST_OPT)
    target_compile_options(${name} PRIVATE $<$<CONFIG:Asan>:${ZV_TEST_OPT}>)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "ZONVARK_HEADLESS=1" TIMEOUT 600)
  if(ARG_LOCK)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK ${ARG_LOCK})
  endif()
endfunction()
