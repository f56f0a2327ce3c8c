# Helpers shared by every folder's CMakeLists.txt.

# tessel_library(NAME SOURCES... [LINKS libs...])
# One static library per source folder; the repository root is on the
# include path so headers are included as "folder/header.h".
function(tessel_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  if(ARG_LINKS)
    target_link_libraries(${name} PUBLIC ${ARG_LINKS})
  endif()
endfunction()

# tessel_test(NAME SOURCES... LINKS libs... [LABELS labels...])
# A GoogleTest executable whose cases are registered with CTest one by one.
function(tessel_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LINKS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    TESSEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    TESSEL_BINARY_DIR="${CMAKE_BINARY_DIR}")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
endfunction()

# tessel_fuzz(NAME SOURCES... LINKS libs...)
# A libFuzzer target; built only when TESSEL_FUZZ is on. Its seed corpus
# lives in fuzz/corpus/NAME and its dictionary, if any, in fuzz/NAME.dict.
function(tessel_fuzz name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY TESSEL_FUZZ_TARGETS ${name})
endfunction()

# tessel_bench(NAME SOURCES... LINKS libs...)
function(tessel_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} benchmark::benchmark)
endfunction()
