// SHA-256 (FIPS 180-2) with one deliberate deviation that the signing side shares: the length
// field in the final block carries the bit count modulo 2^32 and its upper four bytes are always
// zero. For inputs below 512 MiB the digest is the standard one.
#pragma once

#include <stdint.h>

namespace kysig {

// completedBytes counts the bytes of completed 64-byte blocks (modulo 2^32); pending is the number
// of bytes waiting in block. block has room for the two blocks that the final padding can need.
struct Sha256Context {
    uint32_t state[8];
    uint32_t completedBytes;
    uint32_t pending;
    uint8_t block[128];
};

void Sha256Init(Sha256Context* ctx);
void Sha256Update(Sha256Context* ctx, const void* data, uint32_t length);
// Writes the digest and clears the context.
void Sha256Final(Sha256Context* ctx, uint8_t digest[32]);
void Sha256(const void* data, uint32_t length, uint8_t digest[32]);

}  // namespace kysig
