# CheckFileSignature, with its table of refusals tested under Wine on real signed and unsigned
# programs and scripts. Included by this folder's CMakeLists.txt (Windows builds only).
# ky_check_signature_testing links the signature library's test variant (allocation failures); a
# release builds neither it nor the programs, scripts and tests below.
set(ky_check_variants ky_check_signature)
if(KY_BUILD_TESTS)
  list(APPEND ky_check_variants ky_check_signature_testing)
endif()
foreach(variant ${ky_check_variants})
  add_library(${variant} STATIC ${CMAKE_CURRENT_LIST_DIR}/check_signature.cpp)
  target_include_directories(${variant} PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  ky_target_defaults(${variant})
endforeach()
target_link_libraries(ky_check_signature PUBLIC kysig)
if(KY_BUILD_TESTS)
  target_link_libraries(ky_check_signature_testing PUBLIC kysig_testing)
  set_target_properties(ky_check_signature_testing PROPERTIES EXCLUDE_FROM_ALL ON)
endif()

if(NOT KY_BUILD_TESTS OR NOT WIN32)
  return()
endif()

# A real program: signed by the build with each key selector, and as it came from the linker.
set(ky_check_dir ${CMAKE_BINARY_DIR}/bin/check-signature)
foreach(kind signed legacy-key unsigned)
  add_executable(ky_check_program_${kind} ${CMAKE_CURRENT_LIST_DIR}/tests/check_signature/program.cpp)
  ky_target_defaults(ky_check_program_${kind})
  set_target_properties(ky_check_program_${kind} PROPERTIES
    OUTPUT_NAME program-${kind} RUNTIME_OUTPUT_DIRECTORY ${ky_check_dir})
endforeach()
ky_sign(ky_check_program_signed)
ky_sign(ky_check_program_legacy-key SELECTOR D)
# A script signed in text form, and the same script unsigned.
ky_sign_file(${ky_check_dir}/script-signed.vbs ${CMAKE_CURRENT_LIST_DIR}/tests/check_signature/script.vbs TEXT)
configure_file(${CMAKE_CURRENT_LIST_DIR}/tests/check_signature/script.vbs ${ky_check_dir}/script-unsigned.vbs COPYONLY)
add_custom_target(ky_check_signed_script DEPENDS ${ky_check_dir}/script-signed.vbs)

ky_add_test(NAME ky_check_signature_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/check_signature/check_signature_test.cpp
  LIBS ky_check_signature_testing
  DEPENDS ky_check_program_signed ky_check_program_legacy-key ky_check_program_unsigned
          ky_check_signed_script kysig_verify_samples)
target_include_directories(ky_check_signature_test PRIVATE ${CMAKE_SOURCE_DIR}/signature/src
                           ${CMAKE_SOURCE_DIR}/signature/tests)
