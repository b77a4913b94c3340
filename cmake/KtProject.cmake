# Two helpers every folder uses: one declares the folder's library, one a test that ctest runs.
set(KT_ROOT ${CMAKE_CURRENT_LIST_DIR}/..)

# kt_library(<name> [SHARED] SOURCES <files...> [DEPS <targets...>] [INCLUDES <dirs...>])
# The folder itself is on the include path of the library and of everything that links it.
function(kt_library name)
  cmake_parse_arguments(KT "SHARED" "" "SOURCES;DEPS;INCLUDES" ${ARGN})
  if(KT_SHARED)
    add_library(${name} SHARED ${KT_SOURCES})
  else()
    add_library(${name} STATIC ${KT_SOURCES})
  endif()
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${KT_INCLUDES})
  if(KT_DEPS)
    target_link_libraries(${name} PUBLIC ${KT_DEPS})
  endif()
endfunction()

# kt_test(<name> SOURCES <files...> [DEPS <targets...>] [LABELS <labels...>] [TIMEOUT <s>])
# Builds one GoogleTest program and registers it with ctest under <name>.
function(kt_test name)
  if(NOT KT_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(KT "" "TIMEOUT" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${KT_SOURCES})
  target_link_libraries(${name} PRIVATE ${KT_DEPS} GTest::gtest GTest::gtest_main Threads::Threads)
  # KT_TEST_EMULATOR runs the project's own programs that a test starts (qemu-arm in a cross build).
  target_compile_definitions(${name} PRIVATE KT_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/tests/data"
                                             KT_BINARY_DIR="${CMAKE_BINARY_DIR}"
                                             KT_TEST_EMULATOR="${CMAKE_CROSSCOMPILING_EMULATOR}")
  add_test(NAME ${name} COMMAND ${name})
  if(NOT KT_TIMEOUT)
    set(KT_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${KT_TIMEOUT})
  if(KT_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${KT_LABELS}")
  endif()
endfunction()

# kt_folder_tests(<prefix> DEPS <targets...>)
# Every tests/<name>_test.cpp of the folder becomes its own ctest program <prefix>_<name>, so a
# broken test file fails only its own target.
function(kt_folder_tests prefix)
  cmake_parse_arguments(KT "" "" "DEPS;LABELS" ${ARGN})
  file(GLOB test_files CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*_test.cpp)
  foreach(f IN LISTS test_files)
    get_filename_component(base ${f} NAME_WE)
    string(REGEX REPLACE "_test$" "" base ${base})
    kt_test(${prefix}_${base} SOURCES ${f} DEPS ${KT_DEPS} LABELS ${KT_LABELS})
  endforeach()
endfunction()

# kt_folder_sources(<var>): the folder's own .c/.cpp files (tests excluded).
function(kt_folder_sources var)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  set(${var} ${srcs} PARENT_SCOPE)
endfunction()
