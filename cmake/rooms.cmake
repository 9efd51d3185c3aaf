# Each room (platform/plist, monitor/core, tests/monitor/usb, ...) keeps its own CMakeLists.txt;
# a parent folder adds every child folder that has one, so new rooms need no edit up here.
function(velmora_add_child_rooms)
  file(GLOB _children LIST_DIRECTORIES true RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}"
       "${CMAKE_CURRENT_SOURCE_DIR}/*")
  list(SORT _children)
  foreach(child IN LISTS _children)
    if(IS_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}/${child}"
       AND EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt")
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# velmora_library(name SOURCES ... DEPS ...): a static library of one room, warnings on, with the
# project's top folder as its include root (#include "platform/plist/value.hpp").
function(velmora_library name)
  cmake_parse_arguments(ARG "SHARED" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  if(ARG_SHARED)
    add_library(${name} SHARED ${ARG_SOURCES})
  else()
    add_library(${name} STATIC ${ARG_SOURCES})
  endif()
  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/velmora>)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE velmora_warnings ${ARG_PRIVATE_DEPS})
endfunction()

# velmora_test(name SOURCES ... DEPS ... [LABELS ...] [TEST_PREFIX prefix]): one GoogleTest
# program per room, each test case registered with CTest separately (named prefix + case, so that
# `ctest -R prefix` picks a room's cases) so that `ctest -j` runs them in parallel. Programs
# labelled "threads" are where threads meet; the ThreadSanitizer pass builds and runs only those
# (target velmora_thread_tests, `ctest -L threads`).
add_custom_target(velmora_thread_tests)
function(velmora_test name)
  cmake_parse_arguments(ARG "" "TEST_PREFIX" "SOURCES;DEPS;LABELS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} velmora_test_support GTest::gtest_main
                        velmora_warnings)
  set(properties TIMEOUT 120 ${ARG_PROPERTIES})
  if(ARG_LABELS)
    list(APPEND properties LABELS "${ARG_LABELS}")
  endif()
  if("threads" IN_LIST ARG_LABELS)
    add_dependencies(velmora_thread_tests ${name})
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_PREFIX "${ARG_TEST_PREFIX}"
                       PROPERTIES ${properties})
endfunction()

# velmora_fuzz_target(name SOURCES ... DEPS ... CORPUS folder): a libFuzzer program (Clang only,
# with BUILD_TESTING and VELMORA_FUZZ). CTest replays its seed corpus and a short run of fresh inputs, so CI keeps
# the target working; long runs are done by hand: build-fuzz/fuzz/<name> -max_total_time=600.
function(velmora_fuzz_target name)
  cmake_parse_arguments(ARG "" "CORPUS" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} velmora_warnings)
  # New inputs go to the first folder, in the build tree; the seed corpus stays as committed.
  set(scratch "${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus")
  file(MAKE_DIRECTORY "${scratch}")
  add_test(NAME fuzz.${name}
           COMMAND ${name} -runs=3000 -max_len=4096 -rss_limit_mb=1024 "${scratch}" ${ARG_CORPUS})
  set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 300)
endfunction()
