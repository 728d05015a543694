# Helpers shared by the project's CMake files.

# zv_library(<target> SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# A library of one Layout folder. Headers are included as "platform/x.h", "imaging/core/x.h" ...
function(zv_library target)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${target} STATIC ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
endfunction()

# zv_test(<name> SOURCES ... LIBS ... [LOCK <lock>])
# One GoogleTest executable, its cases registered with CTest one by one. The cases of one program share
# their fixture files under ZV_TEST_TMP, so they never run at the same time: CTest serialises them on a
# lock named after the program, or on LOCK where several programs share files.
function(zv_test name)
  cmake_parse_arguments(ARG "" "LOCK" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_LOCK)
    set(ARG_LOCK ${name})
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE ZV_TEST_TMP="${CMAKE_BINARY_DIR}/test-tmp")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 TEST_PREFIX "${name}."
                       PROPERTIES ENVIRONMENT "ZONVARK_HEADLESS=1" RESOURCE_LOCK ${ARG_LOCK})
endfunction()
