// Opening an RSA signature with the public key and checking the message layout of the signing
// side: payload, zero padding to a multiple of 16, MD5 of the payload, and the payload length as a
// 32-bit little-endian value 16 bytes before the end.
#include <signature/rsa.h>

#include <string.h>

#include <signature/bignum.h>
#include <signature/md5.h>

namespace kysig {

uint32_t RsaOpenSignature(const uint8_t* signature, uint8_t* result, const uint8_t* modulus,
                          uint32_t modulusBits, uint8_t innerMd5[16]) {
    const uint32_t size = modulusBits / 8;
    // A message shorter than 32 bytes cannot hold the MD5 and the length field; without this the
    // length would be read in front of the buffer.
    if (modulusBits % 8 != 0 || size < 32 || signature == nullptr || result == nullptr ||
        modulus == nullptr || innerMd5 == nullptr) {
        return 0;
    }

    static const uint8_t kPublicExponent[4] = {0x00, 0x01, 0x00, 0x01};
    BigNum* n = BigNumCreate();
    BigNum* e = BigNumCreate();
    BigNum* s = BigNumCreate();
    BigNum* m = BigNumCreate();
    uint32_t payloadLength = 0;
    if (n != nullptr && e != nullptr && s != nullptr && m != nullptr &&
        BigNumFromBytes(n, modulus, size) != 0 && BigNumFromBytes(e, kPublicExponent, 4) != 0 &&
        BigNumFromBytes(s, signature, size) != 0) {
        BigNumModExp(m, s, e, n);

        // m is below the modulus, so it fits; it goes in left-aligned, without its leading zeros.
        uint32_t length = BigNumToBytes(m, nullptr, 0);
        if (length > size) {
            length = size;
        }
        BigNumToBytes(m, result, length);

        const uint8_t* field = result + size - 16;
        const uint32_t d = static_cast<uint32_t>(field[0]) | static_cast<uint32_t>(field[1]) << 8 |
                           static_cast<uint32_t>(field[2]) << 16 |
                           static_cast<uint32_t>(field[3]) << 24;
        // d + 32 <= size, written so that it cannot overflow.
        if (d <= size - 32) {
            Md5(result, d, innerMd5);
            const uint32_t md5Offset = (d + 15) & ~15u;
            if (memcmp(result + md5Offset, innerMd5, 16) == 0) {
                payloadLength = d;
            }
        }
    }
    BigNumRelease(&m);
    BigNumRelease(&s);
    BigNumRelease(&e);
    BigNumRelease(&n);
    return payloadLength;
}

}  // namespace kysig
