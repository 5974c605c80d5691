// Unsigned multi-precision integers and modular exponentiation, without precomputation: one key
// check needs 16 squarings and one multiplication on 64-word numbers, each reduced by long
// division.
#include <signature/bignum.h>

#include <stdlib.h>
#include <string.h>

#include <signature/wipe.h>

namespace kysig {
namespace {

uint32_t* AllocWords(uint32_t count) {
    if (count == 0 || static_cast<uint64_t>(count) > SIZE_MAX / sizeof(uint32_t)) {
        return nullptr;
    }
    return static_cast<uint32_t*>(calloc(count, sizeof(uint32_t)));
}

void FreeWords(uint32_t* words, uint32_t count) {
    if (words != nullptr) {
        SecureWipe(words, static_cast<size_t>(count) * sizeof(uint32_t));
        free(words);
    }
}

uint32_t SignificantWords(const uint32_t* words, uint32_t count) {
    while (count > 0 && words[count - 1] == 0) {
        --count;
    }
    return count;
}

int LeadingZeros(uint32_t x) {
    int n = 0;
    while ((x & 0x80000000u) == 0) {
        x <<= 1;
        ++n;
    }
    return n;
}

// r (2n words) = a * b (n words each).
void Multiply(uint32_t* r, const uint32_t* a, const uint32_t* b, uint32_t n) {
    memset(r, 0, 2 * static_cast<size_t>(n) * sizeof(uint32_t));
    for (uint32_t i = 0; i < n; ++i) {
        uint64_t carry = 0;
        const uint64_t ai = a[i];
        for (uint32_t j = 0; j < n; ++j) {
            uint64_t t = ai * b[j] + r[i + j] + carry;
            r[i + j] = static_cast<uint32_t>(t);
            carry = t >> 32;
        }
        r[i + n] = static_cast<uint32_t>(carry);
    }
}

// r (2n words) = a * a: every cross product once, doubled, plus the squares on the diagonal.
void Square(uint32_t* r, const uint32_t* a, uint32_t n) {
    memset(r, 0, 2 * static_cast<size_t>(n) * sizeof(uint32_t));
    for (uint32_t i = 0; i + 1 < n; ++i) {
        uint64_t carry = 0;
        const uint64_t ai = a[i];
        for (uint32_t j = i + 1; j < n; ++j) {
            uint64_t t = ai * a[j] + r[i + j] + carry;
            r[i + j] = static_cast<uint32_t>(t);
            carry = t >> 32;
        }
        r[i + n] = static_cast<uint32_t>(carry);
    }
    uint32_t top = 0;
    for (uint32_t i = 0; i < 2 * n; ++i) {
        uint32_t w = r[i];
        r[i] = (w << 1) | top;
        top = w >> 31;
    }
    uint64_t carry = 0;
    for (uint32_t i = 0; i < n; ++i) {
        uint64_t sq = static_cast<uint64_t>(a[i]) * a[i];
        uint64_t lo = static_cast<uint64_t>(r[2 * i]) + static_cast<uint32_t>(sq) + carry;
        r[2 * i] = static_cast<uint32_t>(lo);
        uint64_t hi = static_cast<uint64_t>(r[2 * i + 1]) + (sq >> 32) + (lo >> 32);
        r[2 * i + 1] = static_cast<uint32_t>(hi);
        carry = hi >> 32;
    }
}

// rem (vlen words) = u mod v, where v[vlen - 1] != 0. un needs ulen + 1 words and vn vlen words
// of scratch. The quotient digits are formed and discarded: only the remainder is wanted.
void Remainder(uint32_t* rem, const uint32_t* u, uint32_t ulen, const uint32_t* v, uint32_t vlen,
               uint32_t* un, uint32_t* vn) {
    ulen = SignificantWords(u, ulen);
    if (ulen < vlen) {
        memcpy(rem, u, ulen * sizeof(uint32_t));
        memset(rem + ulen, 0, (vlen - ulen) * sizeof(uint32_t));
        return;
    }
    if (vlen == 1) {
        // Short division by a single word.
        uint64_t r = 0;
        for (uint32_t i = ulen; i-- > 0;) {
            r = ((r << 32) | u[i]) % v[0];
        }
        rem[0] = static_cast<uint32_t>(r);
        return;
    }

    // Knuth's Algorithm D. Normalise so that the divisor's top word has its highest bit set; the
    // quotient digit estimate is then off by at most two.
    const int s = LeadingZeros(v[vlen - 1]);
    if (s == 0) {
        memcpy(vn, v, vlen * sizeof(uint32_t));
        memcpy(un, u, ulen * sizeof(uint32_t));
        un[ulen] = 0;
    } else {
        for (uint32_t i = vlen - 1; i > 0; --i) {
            vn[i] = (v[i] << s) | (v[i - 1] >> (32 - s));
        }
        vn[0] = v[0] << s;
        un[ulen] = u[ulen - 1] >> (32 - s);
        for (uint32_t i = ulen - 1; i > 0; --i) {
            un[i] = (u[i] << s) | (u[i - 1] >> (32 - s));
        }
        un[0] = u[0] << s;
    }

    const uint64_t base = 1ull << 32;
    const uint64_t vTop = vn[vlen - 1];
    const uint64_t vNext = vn[vlen - 2];
    for (uint32_t j = ulen - vlen + 1; j-- > 0;) {
        const uint64_t numerator = (static_cast<uint64_t>(un[j + vlen]) << 32) | un[j + vlen - 1];
        uint64_t qhat = numerator / vTop;
        uint64_t rhat = numerator % vTop;
        while (qhat >= base || qhat * vNext > ((rhat << 32) | un[j + vlen - 2])) {
            --qhat;
            rhat += vTop;
            if (rhat >= base) {
                break;
            }
        }

        // un[j .. j + vlen] -= qhat * vn
        uint64_t carry = 0;
        uint64_t borrow = 0;
        for (uint32_t i = 0; i < vlen; ++i) {
            uint64_t p = qhat * vn[i] + carry;
            carry = p >> 32;
            uint64_t t = static_cast<uint64_t>(un[i + j]) - static_cast<uint32_t>(p) - borrow;
            un[i + j] = static_cast<uint32_t>(t);
            borrow = t >> 63;
        }
        uint64_t t = static_cast<uint64_t>(un[j + vlen]) - carry - borrow;
        un[j + vlen] = static_cast<uint32_t>(t);

        if (t >> 63) {
            // The estimate was one too large: add the divisor back (the quotient digit would drop by one).
            uint64_t c = 0;
            for (uint32_t i = 0; i < vlen; ++i) {
                uint64_t sum = static_cast<uint64_t>(un[i + j]) + vn[i] + c;
                un[i + j] = static_cast<uint32_t>(sum);
                c = sum >> 32;
            }
            un[j + vlen] += static_cast<uint32_t>(c);
        }
    }

    // Undo the normalisation on the remainder.
    if (s == 0) {
        memcpy(rem, un, vlen * sizeof(uint32_t));
    } else {
        for (uint32_t i = 0; i + 1 < vlen; ++i) {
            rem[i] = (un[i] >> s) | (un[i + 1] << (32 - s));
        }
        rem[vlen - 1] = (un[vlen - 1] >> s) | (un[vlen] << (32 - s));
    }
}

}  // namespace

BigNum* BigNumCreate() {
    BigNum* number = static_cast<BigNum*>(malloc(sizeof(BigNum)));
    if (number == nullptr) {
        return nullptr;
    }
    number->words = AllocWords(1);
    if (number->words == nullptr) {
        free(number);
        return nullptr;
    }
    number->used = 0;
    number->allocated = 1;
    return number;
}

void BigNumRelease(BigNum** number) {
    if (number == nullptr || *number == nullptr) {
        return;
    }
    FreeWords((*number)->words, (*number)->allocated);
    SecureWipe(*number, sizeof(BigNum));
    free(*number);
    *number = nullptr;
}

int BigNumResize(BigNum* number, uint32_t wordCount) {
    if (wordCount > number->allocated) {
        uint32_t* grown = AllocWords(wordCount);
        if (grown == nullptr) {
            return 1;
        }
        memcpy(grown, number->words, number->allocated * sizeof(uint32_t));
        FreeWords(number->words, number->allocated);
        number->words = grown;
        number->allocated = wordCount;
    } else if (wordCount < number->used) {
        // Narrowing drops the high words; the array itself stays, so that narrowing cannot fail.
        SecureWipe(number->words + wordCount, (number->used - wordCount) * sizeof(uint32_t));
        number->used = SignificantWords(number->words, wordCount);
    }
    return 0;
}

uint32_t BigNumFromBytes(BigNum* number, const uint8_t* bytes, uint32_t count) {
    if (count != 0 && bytes == nullptr) {
        return 0;
    }
    const uint32_t wordCount = count / 4 + (count % 4 != 0 ? 1 : 0);
    if (BigNumResize(number, wordCount) != 0) {
        return 0;
    }
    memset(number->words, 0, number->allocated * sizeof(uint32_t));
    // The last byte is the least significant.
    for (uint32_t i = 0; i < count; ++i) {
        number->words[i / 4] |= static_cast<uint32_t>(bytes[count - 1 - i]) << (8 * (i % 4));
    }
    number->used = SignificantWords(number->words, wordCount);
    return wordCount;
}

uint32_t BigNumToBytes(const BigNum* number, uint8_t* buffer, uint32_t size) {
    uint32_t length = 0;
    if (number->used != 0) {
        const uint32_t top = number->words[number->used - 1];
        uint32_t topBytes = 4;
        while ((top >> (8 * (topBytes - 1))) == 0) {
            --topBytes;
        }
        length = (number->used - 1) * 4 + topBytes;
    }
    if (buffer == nullptr || size == 0) {
        return length;
    }
    for (uint32_t i = 0; i < size; ++i) {
        const uint32_t word = i / 4;
        const uint8_t byte =
            word < number->used ? static_cast<uint8_t>(number->words[word] >> (8 * (i % 4))) : 0;
        buffer[size - 1 - i] = byte;
    }
    return length;
}

void BigNumModExp(BigNum* result, const BigNum* base, const BigNum* exponent,
                  const BigNum* modulus) {
    const uint32_t t = modulus->used;
    if (t == 0) {
        // Nothing is congruent modulo 0: leave the result as it was rather than divide by zero.
        return;
    }
    uint32_t n = t;
    if (base->used > n) {
        n = base->used;
    }
    if (exponent->used > n) {
        n = exponent->used;
    }

    // One allocation for every temporary: the 2n-word product, the 2n + 1 words that the
    // normalised dividend needs, and y, the reduced base and the normalised divisor of n words.
    const uint64_t total = 7ull * n + 1;
    if (total > 0xffffffffu) {
        return;
    }
    uint32_t* scratch = AllocWords(static_cast<uint32_t>(total));
    if (scratch == nullptr) {
        return;
    }
    uint32_t* product = scratch;
    uint32_t* dividend = product + 2 * n;
    uint32_t* y = dividend + 2 * n + 1;
    uint32_t* reducedBase = y + n;
    uint32_t* divisor = reducedBase + n;

    // Reduce the base first: with an exponent of 1 no squaring would reduce it otherwise.
    Remainder(reducedBase, base->words, base->used, modulus->words, t, dividend, divisor);

    const uint32_t eTop = exponent->used;
    if (eTop == 0) {
        // x^0 = 1, which is 0 modulo 1.
        y[0] = t == 1 && modulus->words[0] == 1 ? 0 : 1;
    } else {
        memcpy(y, reducedBase, t * sizeof(uint32_t));
        // Left to right from the bit below the exponent's most significant 1-bit. y and the reduced
        // base stay below the modulus, so t words carry them and the products have 2t words.
        int bit = 31 - LeadingZeros(exponent->words[eTop - 1]) - 1;
        for (uint32_t w = eTop; w-- > 0;) {
            const uint32_t word = exponent->words[w];
            for (; bit >= 0; --bit) {
                Square(product, y, t);
                Remainder(y, product, 2 * t, modulus->words, t, dividend, divisor);
                if ((word >> bit) & 1) {
                    Multiply(product, y, reducedBase, t);
                    Remainder(y, product, 2 * t, modulus->words, t, dividend, divisor);
                }
            }
            bit = 31;
        }
    }

    if (BigNumResize(result, n) == 0) {
        memset(result->words, 0, result->allocated * sizeof(uint32_t));
        memcpy(result->words, y, t * sizeof(uint32_t));
        result->used = SignificantWords(result->words, t);
    }
    FreeWords(scratch, static_cast<uint32_t>(total));
}

}  // namespace kysig
