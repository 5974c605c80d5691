// The RSA public operation on a signature, and the check of the layout that the signing side
// writes into the message.
#pragma once

#include <stdint.h>

namespace kysig {

// Opens a signature of modulusBits / 8 bytes with the exponent 65537: m = signature^65537 mod
// modulus. m is written left-aligned (without leading zero bytes) into result, which the caller
// supplies zero-filled with modulusBits / 8 bytes. The message layout is: payload of d bytes, zero
// padding to a multiple of 16, the MD5 of the payload, and d as a 32-bit little-endian value at
// 16 bytes from the end. innerMd5 receives the MD5 computed over the payload.
// Returns d when the layout holds and the MD5 matches, otherwise 0.
uint32_t RsaOpenSignature(const uint8_t* signature, uint8_t* result, const uint8_t* modulus,
                          uint32_t modulusBits, uint8_t innerMd5[16]);

}  // namespace kysig
