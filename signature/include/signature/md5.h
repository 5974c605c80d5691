// MD5 (RFC 1321): the quick digest, the full digest of the signed bytes and the digest that the
// signing side places inside the RSA message.
#pragma once

#include <stdint.h>

namespace kysig {

// count holds the number of processed bits as two 32-bit halves, low half first.
struct Md5Context {
    uint32_t state[4];
    uint32_t count[2];
    uint8_t buffer[64];
};

void Md5Init(Md5Context* ctx);
void Md5Update(Md5Context* ctx, const void* data, uint32_t length);
// Writes the digest and clears the context, so that nothing of the message stays behind in it.
void Md5Final(Md5Context* ctx, uint8_t digest[16]);
void Md5(const void* data, uint32_t length, uint8_t digest[16]);

}  // namespace kysig
