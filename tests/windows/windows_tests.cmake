# The Windows test programs (cross-built with MinGW-w64, run under Wine or on
# Windows by scripts/test-windows.sh):
#   windows_unit_tests.exe  the toolkit-free unit tests and the Windows
#                           platform tests (registry, launcher, process query,
#                           files, the windows on the real platform in a
#                           folder with a non-ASCII name)
#   cmd_roundtrip.exe       composed runner scripts run by the real cmd.exe
#   SendEmail.exe           the stand-in mail client they start
# GoogleTest is built from source: Debian's googletest package puts it in
# /usr/src/googletest.
set(FHSW_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest source tree")
if(NOT TARGET gtest)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${FHSW_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

set(FHSW_TESTS_DIR ${CMAKE_CURRENT_LIST_DIR}/..)

add_executable(sendemail_stub ${FHSW_TESTS_DIR}/windows/sendemail_stub.cpp)
set_target_properties(sendemail_stub PROPERTIES OUTPUT_NAME SendEmail)

# Platform-neutral unit tests: window logic, composer, parsing, store, window
# model. Those of the Linux platform and of the Linux runner stay out.
set(FHSW_WINDOWS_UNIT_TESTS
  ${FHSW_TESTS_DIR}/unit/composer_test.cpp
  ${FHSW_TESTS_DIR}/unit/dialogs_test.cpp
  ${FHSW_TESTS_DIR}/unit/main_window_test.cpp
  ${FHSW_TESTS_DIR}/unit/send_log_test.cpp
  ${FHSW_TESTS_DIR}/unit/settings_main_window_test.cpp
  ${FHSW_TESTS_DIR}/unit/window_model_test.cpp
  ${FHSW_TESTS_DIR}/unit/windows_launch_rules_test.cpp)
file(GLOB FHSW_WINDOWS_PLATFORM_TESTS CONFIGURE_DEPENDS ${FHSW_TESTS_DIR}/windows/*_test.cpp)
# (the renderer's tests are built with the program: tests/windows/CMakeLists.txt)
list(FILTER FHSW_WINDOWS_PLATFORM_TESTS EXCLUDE REGEX "(cmd_roundtrip|win32_view)_test")

foreach(test windows_unit_tests cmd_roundtrip)
  if(test STREQUAL windows_unit_tests)
    add_executable(${test} ${FHSW_WINDOWS_UNIT_TESTS} ${FHSW_WINDOWS_PLATFORM_TESTS})
  else()
    add_executable(${test} ${FHSW_TESTS_DIR}/windows/cmd_roundtrip_test.cpp)
  endif()
  target_include_directories(${test} PRIVATE ${FHSW_TESTS_DIR})
  target_compile_definitions(${test} PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX
    FHSW_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  target_link_libraries(${test} PRIVATE fhsw_forms fhsw_platform gtest gtest_main advapi32)
  add_dependencies(${test} sendemail_stub)
endforeach()
