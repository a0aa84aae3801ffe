# Shared build helpers.

# Adds compile and link flags for the requested sanitizer to every target.
function(parvex_apply_sanitizer kind)
  if(kind STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
  elseif(kind STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
  elseif(NOT kind STREQUAL "")
    message(FATAL_ERROR "PARVEX_SANITIZE must be empty, address or thread")
  endif()
  # Make the choice visible to scripts and tests.
  set(PARVEX_SANITIZE "${kind}" PARENT_SCOPE)
endfunction()

# parvex_library(NAME [SOURCES file...] [EXCLUDE regex...] [DEPS lib...] [PUBLIC_DEPS lib...])
# One static library per folder, built from every .cc file of that folder (not *_test.cc, nor
# a file matching one of the EXCLUDE expressions), or from the SOURCES named when a folder
# holds more than one library.
function(parvex_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;EXCLUDE;DEPS;PUBLIC_DEPS" ${ARGN})
  if(ARG_SOURCES)
    set(srcs ${ARG_SOURCES})
  else()
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cc)
    foreach(pattern "_test\\.cc$" ${ARG_EXCLUDE})
      list(FILTER srcs EXCLUDE REGEX "${pattern}")
    endforeach()
  endif()
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_DEPS} PRIVATE ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_PUBLIC_DEPS} ${ARG_DEPS})
  endif()
endfunction()

# parvex_tests(NAME LIBS lib... [SOURCES extra...] [WINDOWS_TESTS file...])
# One GoogleTest executable per test folder, from every *_test.cc file in it; each test case
# becomes a CTest test, so `ctest -j` runs them in parallel. Each test carries the executable's
# name as its label, so `ctest -L scanner_tests` runs one executable's tests.
# A *_win32_test.cc file tests a Windows-only part and is built for Windows alone; a Windows
# build takes only the files named in WINDOWS_TESTS (the ones whose parts are ported so far),
# or every file when there is no such list.
function(parvex_tests name)
  cmake_parse_arguments(ARG "" "" "LIBS;SOURCES;WINDOWS_TESTS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cc)
  if(NOT WIN32)
    list(FILTER srcs EXCLUDE REGEX "_win32_test\\.cc$")
  elseif(ARG_WINDOWS_TESTS)
    list(TRANSFORM ARG_WINDOWS_TESTS PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/ OUTPUT_VARIABLE srcs)
  endif()
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main Threads::Threads)
  if(CMAKE_CROSSCOMPILING)
    # Each start of a program under the emulator (wine) costs seconds: the program is one test
    # that runs all its cases in one start.
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES TIMEOUT 900 LABELS ${name})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120 LABELS ${name})
  endif()
endfunction()
