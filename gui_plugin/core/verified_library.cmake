# LoadVerifiedLibrary, with its refusal table and the swap test under Wine on real signed and
# unsigned DLLs. Included by this folder's CMakeLists.txt (Windows builds).
# ky_verified_library_testing carries the test hooks and links the library's test variant; a
# release builds neither it nor the samples and tests below.
set(ky_vl_variants ky_verified_library)
if(KY_BUILD_TESTS)
  list(APPEND ky_vl_variants ky_verified_library_testing)
endif()
foreach(variant ${ky_vl_variants})
  add_library(${variant} STATIC ${CMAKE_CURRENT_LIST_DIR}/verified_library.cpp)
  target_include_directories(${variant} PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  ky_target_defaults(${variant})
endforeach()
target_link_libraries(ky_verified_library PUBLIC kysig kycplib)
if(KY_BUILD_TESTS)
  target_link_libraries(ky_verified_library_testing PUBLIC kysig_testing kycplib)
  set_target_properties(ky_verified_library_testing PROPERTIES EXCLUDE_FROM_ALL ON)
endif()

if(NOT KY_BUILD_TESTS OR NOT WIN32)
  return()
endif()

# The same small DLL: signed with each key selector, unsigned, and an impostor that tries to take
# a signed one's place.
set(ky_vl_dir ${CMAKE_BINARY_DIR}/bin/verified-library)
set(ky_vl_samples signed:1 legacy-key:1 unsigned:2 impostor:2)
foreach(entry ${ky_vl_samples})
  string(REPLACE ":" ";" parts ${entry})
  list(GET parts 0 kind)
  list(GET parts 1 identity)
  add_library(ky_vl_${kind} SHARED ${CMAKE_CURRENT_LIST_DIR}/tests/verified_library/sample_library.cpp)
  ky_target_defaults(ky_vl_${kind})
  ky_windows_dll_name(ky_vl_${kind})
  target_compile_definitions(ky_vl_${kind} PRIVATE KY_SAMPLE_IDENTITY=${identity})
  set_target_properties(ky_vl_${kind} PROPERTIES
    OUTPUT_NAME ${kind} RUNTIME_OUTPUT_DIRECTORY ${ky_vl_dir})
endforeach()
ky_sign(ky_vl_signed)
ky_sign(ky_vl_legacy-key SELECTOR D)

ky_add_test(NAME ky_verified_library_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/verified_library/verified_library_test.cpp
  LIBS ky_verified_library_testing
  DEPENDS ky_vl_signed ky_vl_legacy-key ky_vl_unsigned ky_vl_impostor kysig_verify_samples)
target_include_directories(ky_verified_library_test PRIVATE ${CMAKE_SOURCE_DIR}/signature/tests)

# The shipped files are checked for the absence of test hooks by their symbols; this program,
# built with them, shows that the check sees them when they are there (where test programs are
# built at all: the 32-bit build leaves them out).
if(KY_RUN_WINDOWS_TESTS)
  ky_add_pe_check(NAME ky_test_hooks_are_seen.pe TARGET ky_verified_library_test ARGS
    --lacks-symbol ForTesting)
  set_tests_properties(ky_test_hooks_are_seen.pe PROPERTIES
    PASS_REGULAR_EXPRESSION "FAIL: symbols matching ForTesting: [^\n]*SetVerifiedLibraryCheckedHookForTesting")
endif()
