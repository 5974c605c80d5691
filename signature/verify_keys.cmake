# Writes the header with the built-in public keys from the public key files (PEM, RSA-2048,
# exponent 65537) and the legacy length seed file. Run at configure time by verify.cmake.
# ky_write_builtin_keys(output primary.pem legacy.pem seed.txt)

find_program(KY_OPENSSL openssl REQUIRED)

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
