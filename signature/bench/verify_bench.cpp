// The full check of a signed 16 MiB file beside what OpenSSL takes for MD5 and SHA-256 of the
// same bytes read from the same file. Prints the figures and their ratio; asserts nothing about
// time, only that the file verifies.
//   kysig_verify_bench [WORK_FOLDER] [REPEATS]
#include <kysign/sign.h>

#include <signature/verify.h>

#include <openssl/evp.h>

#include <chrono>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kFileSize = 16u << 20;

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Reads the file as the verifier does (one buffer of its size) and digests it with OpenSSL.
bool OpenSslDigests(const std::string& path, unsigned char md5[16], unsigned char sha[32]) {
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    struct stat info;
    fstat(fd, &info);
    std::vector<unsigned char> bytes(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    close(fd);
    unsigned int length = 0;
    return done == bytes.size() &&
           EVP_Digest(bytes.data(), bytes.size(), md5, &length, EVP_md5(), nullptr) &&
           EVP_Digest(bytes.data(), bytes.size(), sha, &length, EVP_sha256(), nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : ".";
    const int repeats = argc > 2 ? atoi(argv[2]) : 5;
    mkdir(folder.c_str(), 0755);
    const std::string path = folder + "/verify-bench-16MiB.bin";

    kysign::Bytes input(kFileSize);
    uint32_t x = 0x12345678;
    for (auto& b : input) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(x >> 24);
    }
    std::string error;
    kysign::Key key;
    kysign::Bytes signedFile;
    kysign::SignOptions options;
    if (!key.Load(KY_BENCH_KEY, true, &error) ||
        !kysign::Sign(input, options, key, &signedFile, &error) ||
        !kysign::WriteFileReplacing(path, signedFile, path, &error)) {
        fprintf(stderr, "verify_bench: %s\n", error.c_str());
        return 1;
    }
    const std::wstring widePath(path.begin(), path.end());

    double best = 1e9, bestOpenSsl = 1e9;
    for (int i = 0; i < repeats; ++i) {
        int32_t status = 0;
        auto start = std::chrono::steady_clock::now();
        uint16_t result = VerifyEmbeddedSignature(widePath.c_str(), &status, kSigModeWithLegacy);
        double t = Seconds(start);
        if (!result || status != kSigVerifiedPrimary) {
            fprintf(stderr, "verify_bench: the signed file does not verify (status %d)\n", status);
            return 1;
        }
        unsigned char md5[16], sha[32];
        start = std::chrono::steady_clock::now();
        if (!OpenSslDigests(path, md5, sha)) return 1;
        double tOpenSsl = Seconds(start);
        if (t < best) best = t;
        if (tOpenSsl < bestOpenSsl) bestOpenSsl = tOpenSsl;
    }
    unlink(path.c_str());
    printf("full check of a signed 16 MiB file (best of %d):   %8.2f ms  %7.1f MiB/s\n", repeats,
           best * 1e3, 16 / best);
    printf("OpenSSL read + MD5 + SHA-256 of the same file:      %8.2f ms  %7.1f MiB/s\n",
           bestOpenSsl * 1e3, 16 / bestOpenSsl);
    printf("ratio (full check / OpenSSL):                       %8.2f\n", best / bestOpenSsl);
    return 0;
}
