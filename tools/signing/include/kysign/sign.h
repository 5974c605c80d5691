// The signing side: lays out signature blocks and legacy trailers and signs them with an RSA
// private key (OpenSSL, raw RSA over the message the block format defines).
#pragma once

#include <openssl/evp.h>

#include <stdint.h>
#include <string>
#include <vector>

namespace kysign {

using Bytes = std::vector<uint8_t>;

enum class Form {
    kBinary,
    kText
};

enum class RecordFault {
    kNone,
    kLengthLow,
    kLengthHigh,
    kQuickMd5,
    kFullMd5,
    kSha256,
    kTag,
    kInnerMd5  // the MD5 of the record that follows it in the message
};

// "length-low", "length-high", "quick-md5", "full-md5", "sha256", "tag", "inner-md5"; false for
// other names.
bool ParseRecordFault(const std::string& name, RecordFault* fault);

struct SignOptions {
    Form form = Form::kBinary;
    char selector = 'P';
    // Bytes written between the input and the begin marker, part of the block's excluded range.
    // Unset: none for the binary form, "\r\n'" for the text form (the block becomes a comment
    // line at the end of a script).
    bool leadInSet = false;
    std::string leadIn;
    // Bytes after the end marker inside the excluded range. Negative: for the binary form of an
    // "MZ" file, as many as bring the end of the block to a multiple of 8 (where Authenticode
    // places its certificate table), otherwise none.
    int padding = -1;
    // A legacy trailer ('B' for the binary form, 'T' for the text form) instead of a block.
    bool legacy = false;
    uint32_t legacySeed = 0;
    // Appending a second block to a file that already ends in one (tests only).
    bool allowSigned = false;
    // Tests only: one field of the signature record written wrong, the rest of the message
    // (its inner MD5 included) consistent with it, so that a verifier that skips the comparison
    // of that field accepts the file.
    RecordFault fault = RecordFault::kNone;
};

// Owns an OpenSSL key.
class Key {
public:
    Key() = default;
    ~Key() { EVP_PKEY_free(m_pKey); }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    // Private or public key in PEM form; it must be RSA-2048 with exponent 65537.
    bool Load(const std::string& path, bool requirePrivate, std::string* error);
    EVP_PKEY* get() const { return m_pKey; }
    // The 256-byte big-endian modulus.
    Bytes Modulus() const;

private:
    EVP_PKEY* m_pKey = nullptr;
};

// True when the last 656536 bytes hold a signature block: an end marker whose trailer points
// back at a begin marker (the marker text alone, as in a program that links the verifier, is none).
bool HasSignatureBlock(const Bytes& input);

// Appends the block or trailer to input; the result goes to output.
bool Sign(const Bytes& input, const SignOptions& options, const Key& key, Bytes* output,
          std::string* error);

// "Modulus=" and the modulus as 512 upper-case hexadecimal digits: the line the configure step
// reads from `openssl rsa -pubin -noout -modulus`.
std::string ModulusLine(const Key& key);

// Parses the legacy length seed file (one hexadecimal number, "0x" first).
bool ReadSeedFile(const std::string& path, uint32_t* seed, std::string* error);

// Files: whole reads, and writes that go to a temporary file in the target's folder that is then
// renamed into place, so that no reader ever sees half a file.
bool ReadWholeFile(const std::string& path, Bytes* bytes, std::string* error);
bool WriteFileReplacing(const std::string& path, const Bytes& bytes, const std::string& modeFrom,
                        std::string* error);

}  // namespace kysign
