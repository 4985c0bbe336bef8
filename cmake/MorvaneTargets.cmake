# Settings shared by every target of the project, applied per target.

add_library(morvane_options INTERFACE)
target_compile_options(morvane_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
  -Wnon-virtual-dtor -Woverloaded-virtual -Wimplicit-fallthrough)
if(MORVANE_SANITIZE)
  target_compile_options(morvane_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(morvane_options INTERFACE -fsanitize=address,undefined)
endif()

# morvane_library(NAME SOURCES... DEPENDS targets...)
function(morvane_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(${name} PUBLIC morvane_options ${ARG_DEPENDS})
endfunction()

# morvane_test(NAME SOURCES... DEPENDS targets... [LABELS labels...]
#              [ONE_ENTRY] [PROPERTIES name value...])
# Each test of the executable becomes its own CTest entry; with ONE_ENTRY the whole
# executable is a single entry, for a suite that sums up all its cases at its end.
function(morvane_test name)
  cmake_parse_arguments(ARG "ONE_ENTRY" "" "SOURCES;DEPENDS;LABELS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests")
  target_link_libraries(${name} PRIVATE morvane_options GTest::gtest GTest::gmock GTest::gtest_main ${ARG_DEPENDS})
  set(props "")
  if(ARG_LABELS)
    list(APPEND props LABELS "${ARG_LABELS}")
  endif()
  list(APPEND props ${ARG_PROPERTIES})
  if(MORVANE_SANITIZE)
    target_sources(${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests/support/SanitizerOptions.cpp")
    target_compile_definitions(${name} PRIVATE
      MORVANE_LSAN_SUPPRESSIONS="${PROJECT_SOURCE_DIR}/tests/support/lsan-client.supp")
  endif()
  if(ARG_ONE_ENTRY)
    add_test(NAME ${name} COMMAND ${name})
    if(props)
      set_tests_properties(${name} PROPERTIES ${props})
    endif()
  elseif(props)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
