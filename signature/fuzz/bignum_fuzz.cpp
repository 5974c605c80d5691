// Feeds random byte strings to from-bytes, to-bytes and the modular exponentiation and compares
// every result with OpenSSL's big numbers; any difference aborts, which libFuzzer reports.
#include <openssl/bn.h>

#include <stdio.h>
#include <stdlib.h>

#include <vector>

#include <fuzzer/FuzzedDataProvider.h>
#include <signature/bignum.h>

namespace {

void Fail(const char* what) {
    fprintf(stderr, "kysig_bignum_fuzz: %s differs from OpenSSL\n", what);
    abort();
}

std::vector<uint8_t> OurBytes(const kysig::BigNum* n, uint32_t size) {
    std::vector<uint8_t> out(size, 0xee);
    kysig::BigNumToBytes(n, out.data(), size);
    return out;
}

// The value right-aligned in `size` bytes, only the least significant ones when it is longer.
std::vector<uint8_t> TheirBytes(const BIGNUM* b, uint32_t size) {
    const uint32_t length = static_cast<uint32_t>(BN_num_bytes(b));
    const uint32_t full = length > size ? length : size;
    std::vector<uint8_t> out(full);
    BN_bn2binpad(b, out.data(), static_cast<int>(full));
    return std::vector<uint8_t>(out.end() - size, out.end());
}

void CheckWellFormed(const kysig::BigNum* n) {
    if (n->allocated == 0 || n->used > n->allocated ||
        (n->used > 0 && n->words[n->used - 1] == 0)) {
        Fail("used/allocated invariant");
    }
    for (uint32_t i = n->used; i < n->allocated; ++i) {
        if (n->words[i] != 0) {
            Fail("zero words above used");
        }
    }
}

kysig::BigNum* Make(const std::vector<uint8_t>& bytes) {
    kysig::BigNum* n = kysig::BigNumCreate();
    if (n == nullptr) {
        abort();
    }
    if (kysig::BigNumFromBytes(n, bytes.data(), static_cast<uint32_t>(bytes.size())) !=
        (bytes.size() + 3) / 4) {
        Fail("from-bytes word count");
    }
    CheckWellFormed(n);
    return n;
}

BIGNUM* MakeBn(const std::vector<uint8_t>& bytes) {
    BIGNUM* b = BN_bin2bn(bytes.data(), static_cast<int>(bytes.size()), nullptr);
    if (b == nullptr) {
        abort();
    }
    return b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    // Moduli up to 65 words (one more than a 2048-bit key), exponents short enough that one input
    // stays in the milliseconds, bases up to twice the modulus length and beyond.
    const std::vector<uint8_t> modulus =
        input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 260));
    const std::vector<uint8_t> exponent =
        input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 12));
    const uint32_t outSize = input.ConsumeIntegralInRange<uint32_t>(0, 600);
    const std::vector<uint8_t> base = input.ConsumeBytes<uint8_t>(600);

    kysig::BigNum* b = Make(base);
    kysig::BigNum* e = Make(exponent);
    kysig::BigNum* m = Make(modulus);
    BIGNUM* tb = MakeBn(base);
    BIGNUM* te = MakeBn(exponent);
    BIGNUM* tm = MakeBn(modulus);

    if (kysig::BigNumToBytes(b, nullptr, 0) != static_cast<uint32_t>(BN_num_bytes(tb))) {
        Fail("to-bytes length");
    }
    if (OurBytes(b, outSize) != TheirBytes(tb, outSize)) {
        Fail("to-bytes");
    }

    kysig::BigNum* r = Make(base);  // a previous value, which a zero modulus must leave in place
    kysig::BigNumModExp(r, b, e, m);
    CheckWellFormed(r);
    const uint32_t resultSize = kysig::BigNumToBytes(r, nullptr, 0);
    if (BN_is_zero(tm)) {
        if (OurBytes(r, resultSize) != TheirBytes(tb, resultSize) ||
            resultSize != static_cast<uint32_t>(BN_num_bytes(tb))) {
            Fail("result for modulus 0 (must stay unchanged)");
        }
    } else {
        BN_CTX* ctx = BN_CTX_new();
        BIGNUM* tr = BN_new();
        if (ctx == nullptr || tr == nullptr || BN_mod_exp(tr, tb, te, tm, ctx) != 1) {
            abort();
        }
        if (resultSize != static_cast<uint32_t>(BN_num_bytes(tr)) ||
            OurBytes(r, resultSize) != TheirBytes(tr, resultSize)) {
            Fail("modular exponentiation");
        }
        BN_free(tr);
        BN_CTX_free(ctx);
    }

    kysig::BigNumRelease(&r);
    kysig::BigNumRelease(&m);
    kysig::BigNumRelease(&e);
    kysig::BigNumRelease(&b);
    BN_free(tm);
    BN_free(te);
    BN_free(tb);
    return 0;
}
