# Signing in the build. Every library and program that a deliverable loads or starts carries a
# signature block made with the development key, so that each test run goes through the gate.
# A release build (KY_RELEASE) signs the shipped files alone (those of its bundle, cmake/KyBundle.cmake),
# with the release's own keys.
#
# The signing tool is a native program (it uses OpenSSL for the private-key operation). The native
# build makes it as an ordinary target; each Windows build makes its own copy from the same source
# tree in ${CMAKE_BINARY_DIR}/host-tools, so that every preset configures and builds on its own.

set(KY_KEY_DIR ${CMAKE_SOURCE_DIR}/keys/development CACHE PATH
  "Folder of the development key pairs used to sign the build's outputs")
# A release names its own private keys: no default, and signature/cmake/builtin_keys.cmake refuses
# the development keys there.
set(ky_default_signing_key ${KY_KEY_DIR}/primary-private.pem)
set(ky_default_signing_legacy_key ${KY_KEY_DIR}/legacy-private.pem)
if(KY_RELEASE)
  set(ky_default_signing_key "")
  set(ky_default_signing_legacy_key "")
endif()
set(KY_SIGNING_KEY "${ky_default_signing_key}" CACHE FILEPATH
  "Private key for key selector 'P' when the build signs its outputs")
set(KY_SIGNING_LEGACY_KEY "${ky_default_signing_legacy_key}" CACHE FILEPATH
  "Private key for key selector 'D' and the legacy trailers")

set(KY_HAVE_SIGNTOOL OFF)
if(EXISTS ${CMAKE_SOURCE_DIR}/tools/signtool/CMakeLists.txt)
  set(KY_HAVE_SIGNTOOL ON)
endif()

if(KY_HAVE_SIGNTOOL AND WIN32)
  include(ExternalProject)
  set(KY_SIGN_TOOL ${CMAKE_BINARY_DIR}/host-tools/bin/kysign)
  # KY_PUBLIC_KEY_FILES is a list; "|" carries its separators through to the inner configure.
  string(REPLACE ";" "|" ky_public_key_files "${KY_PUBLIC_KEY_FILES}")
  ExternalProject_Add(ky_host_tools
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/host-tools
    LIST_SEPARATOR |
    CMAKE_ARGS
      -DKY_HOST_TOOLS_ONLY=ON
      -DCMAKE_BUILD_TYPE=Release
      -DKY_WARNINGS_AS_ERRORS=${KY_WARNINGS_AS_ERRORS}
      -DKY_PUBLIC_KEY_FILES=${ky_public_key_files}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${KY_SIGN_TOOL})
  set(KY_SIGN_TOOL_TARGET ky_host_tools)
elseif(KY_HAVE_SIGNTOOL)
  set(KY_SIGN_TOOL $<TARGET_FILE:kysign>)
  set(KY_SIGN_TOOL_TARGET kysign)
endif()

# ky_sign(target [TEXT] [SELECTOR P|D]): sign the target's file in place after each link.
function(ky_sign target)
  if(NOT KY_HAVE_SIGNTOOL)
    return()
  endif()
  cmake_parse_arguments(S "TEXT" "SELECTOR" "" ${ARGN})
  if(NOT S_SELECTOR)
    set(S_SELECTOR P)
  endif()
  set(key ${KY_SIGNING_KEY})
  if(S_SELECTOR STREQUAL "D")
    set(key ${KY_SIGNING_LEGACY_KEY})
  endif()
  set(form binary)
  if(S_TEXT)
    set(form text)
  endif()
  add_dependencies(${target} ${KY_SIGN_TOOL_TARGET})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${KY_SIGN_TOOL} sign --form ${form} --selector ${S_SELECTOR} --key ${key}
            $<TARGET_FILE:${target}>
    COMMENT "Signing $<TARGET_FILE_NAME:${target}>"
    VERBATIM)
endfunction()

# ky_sign_file(output input [TEXT]): a signed copy of a file that is not a target (a script).
function(ky_sign_file output input)
  cmake_parse_arguments(S "TEXT" "" "" ${ARGN})
  set(form binary)
  if(S_TEXT)
    set(form text)
  endif()
  if(NOT KY_HAVE_SIGNTOOL)
    configure_file(${input} ${output} COPYONLY)
    return()
  endif()
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${output}
    COMMAND ${KY_SIGN_TOOL} sign --form ${form} --selector P --key ${KY_SIGNING_KEY} ${input} ${output}
    DEPENDS ${input} ${KY_SIGN_TOOL_TARGET}
    COMMENT "Signing ${output}"
    VERBATIM)
endfunction()
