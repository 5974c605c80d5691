# GoogleTest for all three builds, and ky_add_test to register a test program with CTest.
# Windows test programs run under wine64 through CMAKE_CROSSCOMPILING_EMULATOR (the toolchain
# files set it), inside the "wine" fixture that prepares the prefix and the display.

enable_testing()
# KY_TEST_BUILD_DIR: the build folder whose bin/ the tests run in and whose prefix they use. It is
# the build's own folder, except for the 32-bit GoogleTest programs (KY_GTEST32, testing/gtest32),
# a build of their own that writes them into the win32 build's bin/ beside the shipped files.
if(NOT KY_TEST_BUILD_DIR)
  set(KY_TEST_BUILD_DIR ${CMAKE_BINARY_DIR})
endif()
set(KY_TEST_RESULTS ${KY_TEST_BUILD_DIR}/test-results)

# The 32-bit build is built with GCC's win32 thread model, which GoogleTest does not support: its
# own GoogleTest programs are not built, and its files are checked with objdump. Its programs
# without GoogleTest (the C test host) run under 32-bit Wine where this machine can run 32-bit
# programs (KY_WINE_RUNS); whether it can is found out here, once, and written down for the test
# command. Where they run, the 32-bit GoogleTest programs come from a build of their own with the
# posix-model compiler (testing/gtest32), linked to the libraries as this build made them.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4 AND NOT KY_GTEST32)
  set(KY_RUN_WINDOWS_TESTS OFF)
  file(WRITE ${CMAKE_BINARY_DIR}/wine-arch "win32\n")
  set(KY_WINE_RUNS OFF)
  if("$ENV{KY_NO_WINE32}" STREQUAL "1")
    set(ky_wine32 "skipped: turned off (KY_NO_WINE32=1)")
  elseif(NOT EXISTS /usr/lib/wine/wine)
    set(ky_wine32 "skipped: no 32-bit Wine (Debian's wine32:i386 is not installed)")
  else()
    execute_process(COMMAND /usr/lib/wine/wine --version RESULT_VARIABLE rc
      OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
    string(STRIP "${out}${err}" out)
    if(NOT rc EQUAL 0)
      set(ky_wine32 "skipped: 32-bit programs do not run on this machine (${out})")
    elseif(EXISTS /proc/sys/fs/binfmt_misc/qemu-i386)
      set(ky_wine32 "emulated through qemu-user (${out})")
      set(KY_WINE_RUNS ON)
    else()
      set(ky_wine32 "natively (${out})")
      set(KY_WINE_RUNS ON)
    endif()
  endif()
  message(STATUS "32-bit Windows programs: ${ky_wine32}")
  file(WRITE ${CMAKE_BINARY_DIR}/wine32-status "${ky_wine32}\n")
  # The test targets still exist (left out of "all"), so that the folders' CMake code that
  # refers to them stays the same in every build.
  foreach(t gtest gtest_main gmock)
    add_library(GTest::${t} INTERFACE IMPORTED)
  endforeach()
elseif(WIN32)
  set(KY_RUN_WINDOWS_TESTS ON)
  set(KY_WINE_RUNS ON)
  if(NOT KY_GTEST32)
    file(WRITE ${CMAKE_BINARY_DIR}/wine-arch "win64\n")
  endif()
  # Debian ships GoogleTest as source; build it with the cross compiler.
  set(KY_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${KY_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(t gtest gtest_main gmock gmock_main)
    if(TARGET ${t})
      target_link_options(${t} INTERFACE -static)
    endif()
  endforeach()
endif()

# The fixture belongs to the build folder the tests run in; the 32-bit GoogleTest programs use the
# win32 build's.
if(WIN32 AND KY_WINE_RUNS AND NOT KY_GTEST32)
  set(KY_WINE_SCRIPTS ${CMAKE_SOURCE_DIR}/testing/wine)
  add_test(NAME wine.start COMMAND ${KY_WINE_SCRIPTS}/wine-fixture.sh start ${CMAKE_BINARY_DIR})
  add_test(NAME wine.stop COMMAND ${KY_WINE_SCRIPTS}/wine-fixture.sh stop ${CMAKE_BINARY_DIR})
  set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
  set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)
elseif(NOT WIN32)
  find_package(GTest REQUIRED)
endif()

# ky_add_test(NAME name SOURCES ... [LIBS ...] [NAMED_OBJECTS] [GUI] [TIMEOUT s] [LABELS ...]
#             [DEPENDS targets...] [NO_GTEST_MAIN] [PREFIX name])
# Builds one test program and registers it. NAMED_OBJECTS: the test creates system-wide named
# kernel objects (the install helper's mutexes, the cancel event) and must not run alongside
# another such test. GUI: the test shows windows; such tests share one display and a window of one
# would cover another's in a capture, so they take turns. DEPENDS: targets that must be built before the test runs (DLLs it loads,
# programs it starts). PREFIX: the test runs in a Wine prefix of its own.
function(ky_add_test)
  cmake_parse_arguments(T "NAMED_OBJECTS;GUI;NO_GTEST_MAIN" "NAME;TIMEOUT;PREFIX" "SOURCES;LIBS;LABELS;DEPENDS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  if(WIN32 AND NOT KY_RUN_WINDOWS_TESTS)
    set_target_properties(${T_NAME} PROPERTIES EXCLUDE_FROM_ALL ON)
    return()
  endif()
  ky_target_defaults(${T_NAME})
  if(T_NO_GTEST_MAIN)
    target_link_libraries(${T_NAME} PRIVATE GTest::gtest ${T_LIBS})
  else()
    target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main ${T_LIBS})
  endif()
  if(T_DEPENDS)
    add_dependencies(${T_NAME} ${T_DEPENDS})
  endif()
  if(T_PREFIX)
    # A Wine prefix of the test's own (build/<preset>/wineprefix-<PREFIX>), stopped afterwards.
    add_test(NAME ${T_NAME} COMMAND ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../testing/wine/own-prefix.sh
             ${KY_TEST_BUILD_DIR}/wineprefix-${T_PREFIX} $<TARGET_FILE:${T_NAME}>)
  else()
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    WORKING_DIRECTORY ${KY_TEST_BUILD_DIR}/bin
    ENVIRONMENT "KY_BUILD_DIR=${KY_TEST_BUILD_DIR};KY_TEST_RESULTS=${KY_TEST_RESULTS};GTEST_OUTPUT=xml:${KY_TEST_RESULTS}/${T_NAME}.xml")
  if(WIN32)
    set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED wine LABELS "wine;${T_LABELS}")
  elseif(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
  set(locks)
  if(T_NAMED_OBJECTS)
    list(APPEND locks named_objects)
  endif()
  if(T_GUI)
    list(APPEND locks display)
  endif()
  if(locks)
    set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK "${locks}")
  endif()
endfunction()

# ky_add_test_rerun(NAME name OF test [ENVIRONMENT VAR=value...] [ARGS ...]): the test program of
# an earlier ky_add_test run once more, with the same settings, these variables added and these
# arguments given.
function(ky_add_test_rerun)
  cmake_parse_arguments(T "" "NAME;OF" "ENVIRONMENT;ARGS" ${ARGN})
  if(NOT TEST ${T_OF})
    return()
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_OF} ${T_ARGS})
  foreach(property TIMEOUT WORKING_DIRECTORY FIXTURES_REQUIRED LABELS RESOURCE_LOCK)
    get_test_property(${T_OF} ${property} value)
    if(value)
      set_tests_properties(${T_NAME} PROPERTIES ${property} "${value}")
    endif()
  endforeach()
  get_test_property(${T_OF} ENVIRONMENT environment)
  string(REPLACE "${T_OF}.xml" "${T_NAME}.xml" environment "${environment}")
  set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${environment};${T_ENVIRONMENT}")
endfunction()

# ky_add_pe_check(NAME name TARGET target|FILE path ARGS ...): checks of a built Windows file with
# testing/pe/pe-check.sh (machine, exports, imports, ASLR/DEP, subsystem, manifest), in both
# Windows builds; "--machine" is filled in from the build. The checks of a target are kept in the
# global property KY_PE_CHECK_ARGS_<target>, so that the shipped bundle's copy of its file gets
# the same ones (cmake/KyBundle.cmake).
function(ky_add_pe_check)
  cmake_parse_arguments(T "" "NAME;TARGET;FILE" "ARGS" ${ARGN})
  if(NOT T_FILE)
    set(T_FILE $<TARGET_FILE:${T_TARGET}>)
    set_property(GLOBAL PROPERTY KY_PE_CHECK_ARGS_${T_TARGET} "${T_ARGS}")
  endif()
  if(NOT WIN32)
    return()
  endif()
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(machine i386)
    # The shipped 32-bit files must load on Windows XP: no GetTickCount64 (winpthreads would bring
    # it) and none of the C runtime's "_s" functions, which XP's msvcrt.dll lacks.
    list(APPEND T_ARGS --forbid-import "GetTickCount64|[A-Za-z0-9_]+_s")
  else()
    set(machine x86-64)
  endif()
  add_test(NAME ${T_NAME}
    COMMAND ${CMAKE_SOURCE_DIR}/testing/pe/pe-check.sh ${T_FILE} --machine ${machine} ${T_ARGS})
  set_tests_properties(${T_NAME} PROPERTIES
    TIMEOUT 60
    ENVIRONMENT "OBJDUMP=${CMAKE_OBJDUMP};OBJCOPY=${CMAKE_OBJCOPY}")
endfunction()

# ky_add_vtable_check(NAME name TARGET target|FILE path [MSVC] VTABLE "vtable for Class"
#                     SLOTS 'Class::Fn(:N' ...):
# the virtual table a foreign host calls through, slot by slot, in both Windows builds; on 32-bit
# also the bytes of arguments each slot's function pops (testing/pe/vtable-check.sh). MSVC: a file
# of the platform's compiler (its table layout, decorated names).
function(ky_add_vtable_check)
  cmake_parse_arguments(T "MSVC" "NAME;TARGET;FILE;VTABLE" "SLOTS" ${ARGN})
  if(NOT WIN32)
    return()
  endif()
  if(NOT T_FILE)
    set(T_FILE $<TARGET_FILE:${T_TARGET}>)
  endif()
  set(layout)
  if(T_MSVC)
    set(layout --msvc)
  endif()
  add_test(NAME ${T_NAME}
    COMMAND ${CMAKE_SOURCE_DIR}/testing/pe/vtable-check.sh ${layout} ${T_FILE} ${T_VTABLE} ${T_SLOTS})
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT 60 ENVIRONMENT "OBJDUMP=${CMAKE_OBJDUMP}")
endfunction()

# The system libraries a shipped file may import; anything else must be named by the check.
set(KY_SYSTEM_DLLS
  KERNEL32.dll USER32.dll GDI32.dll ADVAPI32.dll SHELL32.dll OLE32.dll OLEAUT32.dll
  COMCTL32.dll COMDLG32.dll SHLWAPI.dll VERSION.dll WININET.dll gdiplus.dll UxTheme.dll
  msvcrt.dll)
list(JOIN KY_SYSTEM_DLLS "," KY_SYSTEM_DLLS_CSV)

# ky_add_stats_server_fixture(NAME name PORT port MODE answer|delay|silent [DELAY s]): the CTest
# fixture "stats_server_<name>", a recording statistics server (testing/stats_server) on
# 127.0.0.1:<port>; its record is build/<preset>/stats-server-<name>.jsonl. Starting and stopping
# take the port's lock, so that two servers never listen on one port at once.
function(ky_add_stats_server_fixture)
  cmake_parse_arguments(S "" "NAME;PORT;MODE;DELAY" "" ${ARGN})
  if(NOT S_DELAY)
    set(S_DELAY 2)
  endif()
  set(script ${CMAKE_SOURCE_DIR}/testing/stats_server/stats-fixture.sh)
  add_test(NAME stats_server.${S_NAME}.start
    COMMAND ${script} start ${KY_TEST_BUILD_DIR} ${S_NAME} ${S_PORT} ${S_MODE} ${S_DELAY})
  add_test(NAME stats_server.${S_NAME}.stop COMMAND ${script} stop ${KY_TEST_BUILD_DIR} ${S_NAME})
  set_tests_properties(stats_server.${S_NAME}.start PROPERTIES
    FIXTURES_SETUP stats_server_${S_NAME} RESOURCE_LOCK stats_port_${S_PORT} TIMEOUT 60)
  set_tests_properties(stats_server.${S_NAME}.stop PROPERTIES
    FIXTURES_CLEANUP stats_server_${S_NAME} RESOURCE_LOCK stats_port_${S_PORT} TIMEOUT 60)
endfunction()

# ky_add_download_server_fixture(NAME name PORT port SIZE mib RATE kib_per_s): the CTest fixture
# "download_server_<name>", the throttled download server (testing/download_server) on
# 127.0.0.1:<port> with a payload of <mib> MiB sent at <kib_per_s> KiB/s; the payload it serves
# at /ok/ is also written to build/<preset>/download-server-<name>.payload. Starting and stopping
# take the port's lock.
function(ky_add_download_server_fixture)
  cmake_parse_arguments(S "" "NAME;PORT;SIZE;RATE" "" ${ARGN})
  # Beside this file, so that the 32-bit GoogleTest build (a project of its own) finds it too.
  set(script ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../testing/download_server/download-fixture.sh)
  add_test(NAME download_server.${S_NAME}.start
    COMMAND ${script} start ${KY_TEST_BUILD_DIR} ${S_NAME} ${S_PORT} ${S_SIZE} ${S_RATE})
  add_test(NAME download_server.${S_NAME}.stop
    COMMAND ${script} stop ${KY_TEST_BUILD_DIR} ${S_NAME})
  set_tests_properties(download_server.${S_NAME}.start PROPERTIES
    FIXTURES_SETUP download_server_${S_NAME} RESOURCE_LOCK download_port_${S_PORT} TIMEOUT 60)
  set_tests_properties(download_server.${S_NAME}.stop PROPERTIES
    FIXTURES_CLEANUP download_server_${S_NAME} RESOURCE_LOCK download_port_${S_PORT} TIMEOUT 60)
endfunction()
