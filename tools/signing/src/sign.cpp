#include <kysign/sign.h>

#include <signature/md5.h>
#include <signature/sha256.h>
#include <signature/verify_format.h>

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <stdio.h>
#include <string.h>

namespace kysign {

namespace {

struct Range {
    uint64_t first;
    uint64_t length;
};

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void PutLe32(Bytes* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutHex(Bytes* out, uint32_t v, int digits) {
    static const char kDigits[] = "0123456789ABCDEF";
    for (int i = digits - 1; i >= 0; --i)
        out->push_back(static_cast<uint8_t>(kDigits[(v >> (4 * i)) & 15]));
}

void Put(Bytes* out, const char* text, size_t n) { out->insert(out->end(), text, text + n); }

// The parts of an executable that Authenticode rewrites, read the way the verifier reads them.
bool PeRanges(const Bytes& in, std::vector<Range>* ranges, std::string* error) {
    ranges->clear();
    // A short input is fine: the verifier reads the first 64 bytes of the signed file, block and all.
    if (in.size() < 2 || in[0] != 'M' || in[1] != 'Z') return true;
    const uint64_t pe = Le32(in.data() + 60);
    if (in.size() < 64 || pe + 26 > in.size()) {
        *error = "the input starts with \"MZ\" but its PE headers lie outside the file";
        return false;
    }
    const uint32_t magic = in[pe + 24] | (in[pe + 25] << 8);
    const uint64_t entry = pe + (magic == 0x10B ? 152 : 168);
    if (entry + 8 > in.size()) {
        *error = "the input starts with \"MZ\" but its PE headers lie outside the file";
        return false;
    }
    ranges->push_back({pe + 88, 4});
    ranges->push_back({entry, 8});
    const uint32_t table = Le32(in.data() + entry);
    if (table != 0) ranges->push_back({table, Le32(in.data() + entry + 4)});
    for (size_t i = 0; i < ranges->size(); ++i) {
        const Range& r = (*ranges)[i];
        if (r.first + r.length > in.size() ||
            (i > 0 && r.first < (*ranges)[i - 1].first + (*ranges)[i - 1].length)) {
            *error = "the input's certificate table overlaps its headers or lies outside the file";
            return false;
        }
    }
    return true;
}

bool IsLineBreak(uint8_t c) { return c == '\r' || c == '\n'; }

// A text block must read as a comment line to a script host (verify_format.h): the byte before
// the begin marker is the comment mark, first on its line, and the rest of the lead-in holds only
// line breaks and blanks.
bool StartsCommentLine(const Bytes& in, const std::string& leadIn) {
    Bytes before(in.end() - std::min<size_t>(in.size(), 2), in.end());
    before.insert(before.end(), leadIn.begin(), leadIn.end());
    if (before.empty() || before.back() != kysig::kTextCommentMark) return false;
    if (before.size() >= 2 && !IsLineBreak(before[before.size() - 2])) return false;
    for (size_t i = 0; i + 1 < leadIn.size(); ++i) {
        const uint8_t c = static_cast<uint8_t>(leadIn[i]);
        if (!IsLineBreak(c) && c != ' ' && c != '\t') return false;
    }
    return true;
}

// The input's bytes below limit that no range covers.
Bytes SignedBytes(const Bytes& in, const std::vector<Range>& ranges, uint64_t limit) {
    Bytes out;
    uint64_t position = 0;
    for (const Range& r : ranges) {
        const uint64_t stop = std::min(r.first, limit);
        if (stop > position) out.insert(out.end(), in.begin() + position, in.begin() + stop);
        position = std::max(position, std::min(r.first + r.length, limit));
    }
    if (limit > position) out.insert(out.end(), in.begin() + position, in.begin() + limit);
    return out;
}

bool RsaPrivate(const Key& key, const uint8_t message[256], uint8_t signature[256],
                std::string* error) {
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key.get(), nullptr);
    size_t length = 256;
    bool ok = ctx != nullptr && EVP_PKEY_sign_init(ctx) > 0 &&
              EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_NO_PADDING) > 0 &&
              EVP_PKEY_sign(ctx, signature, &length, message, 256) > 0 && length == 256;
    EVP_PKEY_CTX_free(ctx);
    if (!ok) *error = "the RSA private-key operation failed";
    return ok;
}

// The message that a block's signature carries: the record, zeros to offset 176, the MD5 of the
// record, and the record's length 16 bytes from the end.
void RecordMessage(const Bytes& in, const std::vector<Range>& ranges, RecordFault fault,
                   uint8_t message[256]) {
    memset(message, 0, 256);
    const Bytes all = SignedBytes(in, ranges, in.size());
    // Everything after the input belongs to the block's excluded range, so the quick digest only
    // sees the input's own bytes below 4096.
    const Bytes quick = SignedBytes(in, ranges, std::min<uint64_t>(in.size(), kysig::kQuickLimit));
    memcpy(message, kysig::kRecordTag, kysig::kRecordTagLength);
    const uint32_t length = static_cast<uint32_t>(all.size());
    for (int i = 0; i < 4; ++i)
        message[kysig::kRecordSignedLengthLow + i] = static_cast<uint8_t>(length >> (8 * i));
    kysig::Md5(quick.data(), static_cast<uint32_t>(quick.size()), message + kysig::kRecordQuickMd5);
    kysig::Md5(all.data(), length, message + kysig::kRecordFullMd5);
    kysig::Sha256(all.data(), length, message + kysig::kRecordSha256);
    switch (fault) {
        case RecordFault::kNone:
            break;
        case RecordFault::kLengthLow:
            message[kysig::kRecordSignedLengthLow] ^= 1;
            break;
        case RecordFault::kLengthHigh:
            message[kysig::kRecordSignedLengthHigh] = 1;
            break;
        case RecordFault::kQuickMd5:
            message[kysig::kRecordQuickMd5 + 15] ^= 1;
            break;
        case RecordFault::kFullMd5:
            message[kysig::kRecordFullMd5 + 15] ^= 1;
            break;
        case RecordFault::kSha256:
            message[kysig::kRecordSha256 + 31] ^= 1;
            break;
        case RecordFault::kTag:
            message[kysig::kRecordTagLength - 1] ^= 1;
            break;
        case RecordFault::kInnerMd5:
            break;
    }
    kysig::Md5(message, kysig::kRecordLength, message + 176);
    if (fault == RecordFault::kInnerMd5) message[176] ^= 1;
    message[240] = kysig::kRecordLength;
}

uint32_t ReadMemory(void* context, uint32_t offset, uint8_t* out, uint32_t count) {
    const Bytes* in = static_cast<const Bytes*>(context);
    if (offset >= in->size()) return 0;
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(count, in->size() - offset));
    memcpy(out, in->data() + offset, n);
    return n;
}

bool SignLegacy(const Bytes& in, const SignOptions& options, const Key& key, Bytes* out,
                std::string* error) {
    const bool text = options.form == Form::kText;
    uint8_t message[256] = {};
    // A leading zero byte would shift the whole message by one place when the verifier writes it
    // left-aligned; bytes 0 to 3 are not interpreted.
    memcpy(message, "\x01KYL", 4);
    uint8_t sample[kysig::kLegacySampleLength];
    kysig::LegacyQuickSample(ReadMemory, const_cast<Bytes*>(&in), static_cast<uint32_t>(in.size()),
                             sample);
    kysig::Md5(sample, sizeof sample, message + kysig::kLegacyQuickMd5);
    const uint32_t total = static_cast<uint32_t>(in.size() + (text ? 513 : 257));
    uint8_t* length = message + kysig::kLegacyMaskedLength;
    for (int i = 0; i < 4; ++i) length[i] = static_cast<uint8_t>(total >> (8 * i));
    kysig::LegacyLengthMask(length, options.legacySeed);
    kysig::Md5(in.data(), static_cast<uint32_t>(in.size()), message + kysig::kLegacyFullMd5);
    uint8_t signature[256];
    if (!RsaPrivate(key, message, signature, error)) return false;
    *out = in;
    if (text) {
        for (uint8_t b : signature) PutHex(out, b, 2);
        out->push_back('T');
    } else {
        out->insert(out->end(), signature, signature + 256);
        out->push_back('B');
    }
    return true;
}

}  // namespace

bool ParseRecordFault(const std::string& name, RecordFault* fault) {
    static const struct {
        const char* name;
        RecordFault fault;
    } kFaults[] = {
        {"length-low", RecordFault::kLengthLow}, {"length-high", RecordFault::kLengthHigh},
        {"quick-md5", RecordFault::kQuickMd5},   {"full-md5", RecordFault::kFullMd5},
        {"sha256", RecordFault::kSha256},        {"tag", RecordFault::kTag},
        {"inner-md5", RecordFault::kInnerMd5},
    };
    for (const auto& f : kFaults) {
        if (name == f.name) {
            *fault = f.fault;
            return true;
        }
    }
    return false;
}

bool Key::Load(const std::string& path, bool requirePrivate, std::string* error) {
    FILE* f = fopen(path.c_str(), "r");
    if (f == nullptr) {
        *error = "cannot open the key file " + path;
        return false;
    }
    m_pKey = PEM_read_PrivateKey(f, nullptr, nullptr, nullptr);
    if (m_pKey == nullptr && !requirePrivate) {
        rewind(f);
        m_pKey = PEM_read_PUBKEY(f, nullptr, nullptr, nullptr);
    }
    fclose(f);
    if (m_pKey == nullptr) {
        *error = path + (requirePrivate ? " holds no PEM private key" : " holds no PEM key");
        return false;
    }
    BIGNUM* e = nullptr;
    const bool rsa =
        EVP_PKEY_get_base_id(m_pKey) == EVP_PKEY_RSA && EVP_PKEY_get_bits(m_pKey) == 2048 &&
        EVP_PKEY_get_bn_param(m_pKey, OSSL_PKEY_PARAM_RSA_E, &e) > 0 && BN_is_word(e, 65537);
    BN_free(e);
    if (!rsa) {
        *error = path + " is not an RSA-2048 key with exponent 65537";
        return false;
    }
    return true;
}

Bytes Key::Modulus() const {
    Bytes out(256);
    BIGNUM* n = nullptr;
    if (EVP_PKEY_get_bn_param(m_pKey, OSSL_PKEY_PARAM_RSA_N, &n) > 0)
        BN_bn2binpad(n, out.data(), 256);
    BN_free(n);
    return out;
}

std::string ModulusLine(const Key& key) {
    std::string line = "Modulus=";
    static const char kDigits[] = "0123456789ABCDEF";
    for (uint8_t b : key.Modulus()) {
        line += kDigits[b >> 4];
        line += kDigits[b & 15];
    }
    return line;
}

bool HasSignatureBlock(const Bytes& input) {
    // A block, not just the marker text: a program that links the verifier holds the end marker
    // as a constant, and that alone is no block. The one nearest the end counts, as for the
    // verifier.
    const size_t window = std::min<size_t>(input.size(), kysig::kSearchWindow);
    const size_t windowStart = input.size() - window;
    const uint8_t* marker = reinterpret_cast<const uint8_t*>(kysig::kEndMarker);
    for (size_t at = input.size(); at >= windowStart + kysig::kMarkerLength;) {
        const auto found = std::find_end(input.begin() + static_cast<std::ptrdiff_t>(windowStart),
                                         input.begin() + static_cast<std::ptrdiff_t>(at), marker,
                                         marker + kysig::kMarkerLength);
        if (found == input.begin() + static_cast<std::ptrdiff_t>(at)) return false;
        const size_t end = static_cast<size_t>(found - input.begin());
        if (end >= kysig::kTextTrailerLength) {
            const uint8_t format = input[end - 1];
            uint64_t distance = UINT64_MAX;
            if (format == 'B') {
                distance = Le32(input.data() + end - kysig::kBinaryTrailerLength);
            } else if (format == 'T') {
                distance = 0;
                for (size_t i = end - kysig::kTextTrailerLength; i < end - 13; ++i) {
                    distance = (distance << 4) | kysig::HexDigitValue(input[i]);
                }
            }
            if (distance <= end &&
                std::equal(kysig::kBeginMarker, kysig::kBeginMarker + kysig::kMarkerLength,
                           input.begin() + static_cast<std::ptrdiff_t>(end - distance))) {
                return true;
            }
        }
        // Look further towards the start for an earlier marker.
        at = end + kysig::kMarkerLength - 1;
    }
    return false;
}

bool Sign(const Bytes& input, const SignOptions& options, const Key& key, Bytes* output,
          std::string* error) {
    if (input.size() > 0x7FFFFFFF - 2048) {
        *error = "the input is too large for a 32-bit signed length";
        return false;
    }
    if (!options.allowSigned && HasSignatureBlock(input)) {
        *error = "the input already carries a signature block";
        return false;
    }
    if (options.legacy) return SignLegacy(input, options, key, output, error);

    const bool text = options.form == Form::kText;
    std::vector<Range> ranges;
    if (!PeRanges(input, &ranges, error)) return false;
    const std::string leadIn = options.leadInSet ? options.leadIn : (text ? "\r\n'" : "");
    if (leadIn.size() > kysig::kMaxLeadIn) {
        *error = "the lead-in may have at most 32 bytes";
        return false;
    }
    if (text && !StartsCommentLine(input, leadIn)) {
        *error =
            "a text block must start a comment line: its lead-in may hold only line breaks and "
            "blanks and must end in \"'\" after a line break (or, with no lead-in, the input "
            "must end in a line that is just \"'\")";
        return false;
    }
    const uint32_t distance = text ? 658 : 338;
    int padding = options.padding;
    if (padding < 0) {
        padding = 0;
        if (!text && input.size() >= 2 && input[0] == 'M' && input[1] == 'Z') {
            padding =
                static_cast<int>((8 - (input.size() + leadIn.size() + distance + 16) % 8) % 8);
        }
    }
    if (padding > static_cast<int>(kysig::kMaxTrailingPadding)) {
        *error = "the trailing padding may have at most 32 bytes";
        return false;
    }
    const uint32_t excluded = static_cast<uint32_t>(leadIn.size() + distance + 16 + padding);

    uint8_t message[256];
    RecordMessage(input, ranges, options.fault, message);
    uint8_t signature[256];
    if (!RsaPrivate(key, message, signature, error)) return false;

    Bytes block;
    Put(&block, kysig::kBeginMarker, 16);
    if (text) {
        PutHex(&block, 3, 2);
        PutHex(&block, static_cast<uint32_t>(leadIn.size()), 8);
        PutHex(&block, 3, 2);
        PutHex(&block, excluded, 8);
        PutHex(&block, 1, 2);
        block.insert(block.end(), 24, '0');
        PutHex(&block, kysig::kSignatureEntryType, 2);
        PutHex(&block, 3, 2);
        PutHex(&block, 101, 8);
        PutHex(&block, 3, 2);
        PutHex(&block, 512, 8);
        block.push_back(static_cast<uint8_t>(options.selector));
        block.insert(block.end(), 16, '0');
        for (uint8_t b : signature) PutHex(&block, b, 2);
        block.insert(block.end(), 24, '0');
        PutHex(&block, distance, 8);
        PutHex(&block, 3, 2);
        PutHex(&block, static_cast<uint32_t>(padding), 8);
        PutHex(&block, 3, 2);
        block.push_back('T');
    } else {
        block.push_back(3);
        PutLe32(&block, static_cast<uint32_t>(leadIn.size()));
        block.push_back(3);
        PutLe32(&block, excluded);
        block.push_back(1);
        block.insert(block.end(), 12, 0);
        block.push_back(kysig::kSignatureEntryType);
        block.push_back(3);
        PutLe32(&block, 59);
        block.push_back(3);
        PutLe32(&block, 256);
        block.push_back(static_cast<uint8_t>(options.selector));
        block.insert(block.end(), 8, 0);
        block.insert(block.end(), signature, signature + 256);
        block.insert(block.end(), 12, 0);
        PutLe32(&block, distance);
        block.push_back(3);
        PutLe32(&block, static_cast<uint32_t>(padding));
        block.push_back(3);
        block.push_back('B');
    }
    if (block.size() != distance) {
        *error = "internal error: the block layout is inconsistent (" +
                 std::to_string(block.size()) + " bytes)";
        return false;
    }
    Put(&block, kysig::kEndMarker, 16);

    *output = input;
    output->insert(output->end(), leadIn.begin(), leadIn.end());
    output->insert(output->end(), block.begin(), block.end());
    output->insert(output->end(), static_cast<size_t>(padding), text ? ' ' : 0);
    return true;
}

}  // namespace kysign
