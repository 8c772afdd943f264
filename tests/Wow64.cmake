# The shipped 32-bit code run as 32-bit processes on 64-bit Windows (WoW64): scripts/test.sh runs
# these tests (label wow64) in a 64-bit prefix whose 32-bit programs run under the i386 emulator.
# - every tests/**/*_wow64test.cpp: a test program built here, from the shipping libraries;
# - stubrun_shipped: the end-to-end scenarios of the 64-bit test tree, run against this tree's stub
#   (one of them a web setup downloading its setup file).
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# The win32-thread compiler's library has no std::mutex, which GoogleTest's Notification uses.
target_compile_options(gtest PUBLIC -include ${CMAKE_SOURCE_DIR}/cmake/gtest-win32threads.h)

file(GLOB_RECURSE _wow64tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*_wow64test.cpp)
foreach(src ${_wow64tests})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_libraries(${name} PRIVATE velwin gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS wow64 TIMEOUT 600)
endforeach()

# The scenarios that matter most for the program users download; the test program, its tools and
# the engines come from the 64-bit test tree.
set(VEL_WIN64_TREE ${CMAKE_BINARY_DIR}/../win64 CACHE PATH "The 64-bit test tree whose end-to-end tests run this stub")
set(_scenarios
  StubRun.OneSetupFileRunsTheEngineWithItsCommandLineAndCleansUp
  StubRun.PackageOverThreePartFiles
  StubRun.DamagedPackageShowsDamageAndStartsNothing
  StubRun.SpanCopyExtractsThePartFilesFromItsCopy
  WebRun.DownloadsTheSetupFileAndRunsItsEngine)
string(REPLACE ";" ":" _scenarios "${_scenarios}")
string(REPLACE "/" "\\" _stub "Z:${CMAKE_BINARY_DIR}/src/stub/stub.exe")
# The web setup scenario downloads from the loopback test servers, which run for the whole test.
add_test(NAME stubrun_shipped
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/servers/with-servers.sh ${CMAKE_BINARY_DIR}/tests/stubrun_shipped.servers
          ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh ${VEL_WIN64_TREE}/tests/stubrun_wintest.exe --gtest_filter=${_scenarios}
  WORKING_DIRECTORY ${VEL_WIN64_TREE}/tests)
set_tests_properties(stubrun_shipped PROPERTIES LABELS wow64 TIMEOUT 1200 ENVIRONMENT "VEL_TEST_STUB=${_stub}")

# A timed update by the shipped agent: it fetches, shuts the product down, runs the update package
# (built on this stub too) and restarts the product.
add_test(NAME autoupdate_shipped
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/servers/with-servers.sh ${CMAKE_BINARY_DIR}/tests/autoupdate_shipped.servers
          ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh ${VEL_WIN64_TREE}/tests/autoupdate_wintest.exe
          --gtest_filter=Methods/ShutDown.UpdatesTheProductAndRecordsTheNewVersion/Close
  WORKING_DIRECTORY ${VEL_WIN64_TREE}/tests)
set_tests_properties(autoupdate_shipped PROPERTIES LABELS wow64 TIMEOUT 900 ENVIRONMENT "VEL_TEST_STUB=${_stub}")
