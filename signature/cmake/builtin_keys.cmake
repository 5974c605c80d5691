# The built-in public keys. Writes ${KYSIG_KEYS_DIR}/kysig_builtin_keys.h at configure time from
# the public key files (PEM, RSA-2048, exponent 65537) and the legacy length seed file.
# Included by the folder's CMakeLists.txt.

find_program(KY_OPENSSL openssl REQUIRED)

set(KY_PUBLIC_KEY_FILES "" CACHE STRING
  "Public keys built into the library for a release build: PRIMARY.pem;LEGACY.pem[;LEGACY-SEED]. \
Empty: the development keys in keys/development")

function(ky_modulus_bytes pem out_var)
  execute_process(COMMAND ${KY_OPENSSL} rsa -pubin -in ${pem} -noout -modulus
    OUTPUT_VARIABLE modulus RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "Cannot read the public key ${pem}: ${err}")
  endif()
  execute_process(COMMAND ${KY_OPENSSL} rsa -pubin -in ${pem} -noout -text
    OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT text MATCHES "Exponent: 65537 ")
    message(FATAL_ERROR "The public key ${pem} does not have the exponent 65537")
  endif()
  # The same line as `kysign pubkey` prints: "Modulus=" and 512 hexadecimal digits.
  string(REGEX REPLACE "^Modulus=" "" hex "${modulus}")
  string(LENGTH "${hex}" digits)
  if(NOT digits EQUAL 512 OR NOT hex MATCHES "^[0-9A-F]+$")
    message(FATAL_ERROR "The public key ${pem} is not a 2048-bit RSA key")
  endif()
  string(REGEX REPLACE "([0-9A-F][0-9A-F])" "0x\\1," bytes "${hex}")
  set(${out_var} "${bytes}" PARENT_SCOPE)
endfunction()

# ky_write_builtin_keys(output primary.pem legacy.pem seed.txt)
function(ky_write_builtin_keys output primary legacy seed_file)
  ky_modulus_bytes(${primary} primary_bytes)
  ky_modulus_bytes(${legacy} legacy_bytes)
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

}  // namespace detail
}  // namespace kysig
")
  # Rewritten only when the keys change, so that a reconfigure does not rebuild the library.
  file(CONFIGURE OUTPUT ${output} CONTENT "${content}" @ONLY)
endfunction()

set(ky_dev_keys ${CMAKE_SOURCE_DIR}/keys/development)
set(ky_primary_public ${ky_dev_keys}/primary-public.pem)
set(ky_legacy_public ${ky_dev_keys}/legacy-public.pem)
set(ky_legacy_seed ${ky_dev_keys}/legacy-length-seed.txt)
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
set(KY_LEGACY_SEED_FILE ${ky_legacy_seed} CACHE INTERNAL "legacy length seed the built-in keys go with")
set(KYSIG_KEYS_DIR ${CMAKE_BINARY_DIR}/generated/kysig)
ky_write_builtin_keys(${KYSIG_KEYS_DIR}/kysig_builtin_keys.h
                      ${ky_primary_public} ${ky_legacy_public} ${ky_legacy_seed})
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${ky_primary_public} ${ky_legacy_public} ${ky_legacy_seed})
