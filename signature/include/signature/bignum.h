// Unsigned multi-precision integers: 32-bit words, least significant word first.
//
// Invariants: words[used - 1] is non-zero (used is 0 for the value 0); words from used up to
// allocated are zero; allocated is at least 1. Every array is wiped before it is freed.
#pragma once

#include <stdint.h>

namespace kysig {

struct BigNum {
    uint32_t* words;
    uint32_t used;
    uint32_t allocated;
};

// A number with the value 0 in a one-word array, or null when memory runs out.
BigNum* BigNumCreate();
// Wipes and frees *number and sets *number to null; null or a null *number is accepted.
void BigNumRelease(BigNum** number);
// Widens to wordCount words (new words zero) or narrows to it (dropped words are zeroed and used
// becomes at most wordCount). Returns non-zero when memory runs out; the number is then unchanged.
int BigNumResize(BigNum* number, uint32_t wordCount);
// Takes the value of a big-endian byte string. Returns the number of words written,
// ceil(count / 4), or 0 when memory runs out (the number is then unchanged).
uint32_t BigNumFromBytes(BigNum* number, const uint8_t* bytes, uint32_t count);
// Writes the value big-endian and right-aligned into buffer: leading bytes are zero when the buffer
// is larger than the value, only the least significant bytes are written when it is smaller.
// Nothing is written with a null buffer or size 0. Returns the value's length in bytes.
uint32_t BigNumToBytes(const BigNum* number, uint8_t* buffer, uint32_t size);
// result = base^exponent mod modulus. result may be one of the operands. When memory runs out, or
// the modulus is 0, result keeps its previous value.
void BigNumModExp(BigNum* result, const BigNum* base, const BigNum* exponent,
                  const BigNum* modulus);

}  // namespace kysig
