# The built-in public keys. Writes ${KYSIG_KEYS_DIR}/kysig_builtin_keys.h at configure time from
# the public key files (PEM, RSA-2048, exponent 65537) and the legacy length seed file, with a flag
# that tells whether they are the development keys of keys/development.
# A release build (KY_RELEASE) refuses the development keys here, both the public keys built in
# and the private keys the build signs with (KY_SIGNING_KEY, KY_SIGNING_LEGACY_KEY): their private
# halves are public, so a file signed or checked with them proves nothing about its origin.
# Included by the folder's CMakeLists.txt.

find_program(KY_OPENSSL openssl REQUIRED)

set(KY_PUBLIC_KEY_FILES "" CACHE STRING
  "Public keys built into the library for a release build: PRIMARY.pem;LEGACY.pem[;LEGACY-SEED]. \
Empty: the development keys in keys/development")

# ky_modulus_hex(pem out_var [PRIVATE]): the key's modulus as 512 upper-case hexadecimal digits,
# the digits of the line `kysign pubkey` prints ("Modulus=..."). PRIVATE reads a private key;
# a public key must have the exponent 65537.
function(ky_modulus_hex pem out_var)
  cmake_parse_arguments(K "PRIVATE" "" "" ${ARGN})
  set(kind public)
  set(pubin -pubin)
  if(K_PRIVATE)
    set(kind private)
    set(pubin)
  endif()
  execute_process(COMMAND ${KY_OPENSSL} rsa ${pubin} -in ${pem} -noout -modulus
    OUTPUT_VARIABLE modulus RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "Cannot read the ${kind} key ${pem}: ${err}")
  endif()
  if(NOT K_PRIVATE)
    execute_process(COMMAND ${KY_OPENSSL} rsa -pubin -in ${pem} -noout -text
      OUTPUT_VARIABLE text RESULT_VARIABLE rc)
    if(NOT text MATCHES "Exponent: 65537 ")
      message(FATAL_ERROR "The public key ${pem} does not have the exponent 65537")
    endif()
  endif()
  string(REGEX REPLACE "^Modulus=" "" hex "${modulus}")
  string(LENGTH "${hex}" digits)
  if(NOT digits EQUAL 512 OR NOT hex MATCHES "^[0-9A-F]+$")
    message(FATAL_ERROR "The ${kind} key ${pem} is not a 2048-bit RSA key")
  endif()
  set(${out_var} "${hex}" PARENT_SCOPE)
endfunction()

# ky_development_key_of(hex out_var): the development public key file whose modulus is hex, or
# empty when hex is none of theirs (ky_dev_primary_hex and ky_dev_legacy_hex, read below).
function(ky_development_key_of hex out_var)
  set(found "")
  foreach(name primary legacy)
    if(hex STREQUAL ky_dev_${name}_hex)
      set(found ${ky_dev_keys}/${name}-public.pem)
    endif()
  endforeach()
  set(${out_var} "${found}" PARENT_SCOPE)
endfunction()

# ky_write_builtin_keys(output primary.pem legacy.pem seed.txt development)
function(ky_write_builtin_keys output primary legacy seed_file development)
  ky_modulus_hex(${primary} primary_hex)
  ky_modulus_hex(${legacy} legacy_hex)
  string(REGEX REPLACE "([0-9A-F][0-9A-F])" "0x\\1," primary_bytes "${primary_hex}")
  string(REGEX REPLACE "([0-9A-F][0-9A-F])" "0x\\1," legacy_bytes "${legacy_hex}")
  file(STRINGS ${seed_file} seed LIMIT_COUNT 1 REGEX "^0[xX][0-9A-Fa-f]+")
  if(NOT seed MATCHES "^0[xX][0-9A-Fa-f]+$")
    message(FATAL_ERROR "The legacy length seed file ${seed_file} holds no hexadecimal number")
  endif()
  string(STRIP "${seed}" seed)
  set(content "// Generated at configure time from ${primary}, ${legacy} and ${seed_file}.
#pragma once

#include <stdint.h>

namespace kysig {
namespace detail {

// Moduli of the built-in keys, big-endian; the public exponent is 65537 for both.
constexpr uint8_t kBuiltinPrimaryModulus[256] = {
    ${primary_bytes}};
constexpr uint8_t kBuiltinLegacyModulus[256] = {
    ${legacy_bytes}};
constexpr uint32_t kLegacyLengthSeed = ${seed}u;

// True when a built-in modulus is one of the development keys' (keys/development): a build for
// development and tests, never for a release.
constexpr bool kBuiltinKeysAreDevelopmentKeys = ${development};

}  // namespace detail
}  // namespace kysig
")
  # Rewritten only when the keys change, so that a reconfigure does not rebuild the library.
  file(CONFIGURE OUTPUT ${output} CONTENT "${content}" @ONLY)
endfunction()

set(ky_dev_keys ${CMAKE_SOURCE_DIR}/keys/development)
ky_modulus_hex(${ky_dev_keys}/primary-public.pem ky_dev_primary_hex)
ky_modulus_hex(${ky_dev_keys}/legacy-public.pem ky_dev_legacy_hex)

set(ky_primary_public ${ky_dev_keys}/primary-public.pem)
set(ky_legacy_public ${ky_dev_keys}/legacy-public.pem)
set(ky_legacy_seed ${ky_dev_keys}/legacy-length-seed.txt)
if(KY_RELEASE AND NOT KY_PUBLIC_KEY_FILES)
  message(FATAL_ERROR "A release build (KY_RELEASE) builds in its own public keys, and \
KY_PUBLIC_KEY_FILES names none: give -DKY_PUBLIC_KEY_FILES=PRIMARY.pem;LEGACY.pem[;LEGACY-SEED]. \
The development keys in keys/development are never for a release.")
endif()
if(KY_PUBLIC_KEY_FILES)
  list(LENGTH KY_PUBLIC_KEY_FILES ky_key_count)
  if(ky_key_count LESS 2 OR ky_key_count GREATER 3)
    message(FATAL_ERROR "KY_PUBLIC_KEY_FILES names the primary and the legacy public key, and optionally the legacy length seed")
  endif()
  list(GET KY_PUBLIC_KEY_FILES 0 ky_primary_public)
  list(GET KY_PUBLIC_KEY_FILES 1 ky_legacy_public)
  if(ky_key_count EQUAL 3)
    list(GET KY_PUBLIC_KEY_FILES 2 ky_legacy_seed)
  else()
    message(WARNING "KY_PUBLIC_KEY_FILES names no legacy length seed: the development seed is built in")
  endif()
endif()

# Whether the keys built in are (or include) the development keys.
set(ky_builtin_development false)
foreach(pem ${ky_primary_public} ${ky_legacy_public})
  ky_modulus_hex(${pem} ky_hex)
  ky_development_key_of(${ky_hex} ky_dev_match)
  if(ky_dev_match)
    set(ky_builtin_development true)
    if(KY_RELEASE)
      message(FATAL_ERROR "A release build (KY_RELEASE) refuses the development keys: the public \
key ${pem} in KY_PUBLIC_KEY_FILES has the modulus of ${ky_dev_match}, whose private half is \
public. Give the release's own public keys.")
    endif()
  endif()
endforeach()
if(ky_builtin_development AND KY_HOST_TOOLS_ONLY)
  # The build that starts this one has said it already.
  message(STATUS "Built-in keys: the development keys (never for a release)")
elseif(ky_builtin_development)
  message(WARNING "Built-in keys: the development keys in keys/development. This build is for \
development and tests only, never for a release (see the win32-release preset).")
endif()

# ky_check_release_signing_key(var public.pem): a release signs with its own private keys, which
# must belong to the public keys built in, since the shipped files are checked against those.
function(ky_check_release_signing_key var public_pem)
  set(key "${${var}}")
  if(NOT key)
    message(FATAL_ERROR "A release build (KY_RELEASE) signs with its own private keys, and ${var} \
names none: give -D${var}=PRIVATE.pem. The development keys in keys/development are never for a \
release.")
  endif()
  ky_modulus_hex(${key} hex PRIVATE)
  ky_development_key_of(${hex} dev_match)
  if(dev_match)
    message(FATAL_ERROR "A release build (KY_RELEASE) refuses the development keys: the signing \
key ${key} (${var}) belongs to ${dev_match}, whose private half is public. Give the release's own \
private key.")
  endif()
  ky_modulus_hex(${public_pem} public_hex)
  if(NOT hex STREQUAL public_hex)
    message(FATAL_ERROR "The signing key ${key} (${var}) does not belong to the built-in public key \
${public_pem}: the files it signs would not verify.")
  endif()
endfunction()

if(KY_RELEASE)
  ky_check_release_signing_key(KY_SIGNING_KEY ${ky_primary_public})
  ky_check_release_signing_key(KY_SIGNING_LEGACY_KEY ${ky_legacy_public})
endif()

set(KY_LEGACY_SEED_FILE ${ky_legacy_seed} CACHE INTERNAL "legacy length seed the built-in keys go with")
set(KYSIG_KEYS_DIR ${CMAKE_BINARY_DIR}/generated/kysig)
ky_write_builtin_keys(${KYSIG_KEYS_DIR}/kysig_builtin_keys.h
                      ${ky_primary_public} ${ky_legacy_public} ${ky_legacy_seed}
                      ${ky_builtin_development})
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${ky_primary_public} ${ky_legacy_public} ${ky_legacy_seed})

# The generated header for the signing tool, whose verify command says when the development keys
# are built in.
add_library(kysig_builtin_keys INTERFACE)
target_include_directories(kysig_builtin_keys INTERFACE ${KYSIG_KEYS_DIR})
