// The full check of a signed 16 MiB file beside what OpenSSL takes to read the same file and take
// its MD5 and SHA-256 one after the other; and the peak memory of the check of a signed 256 MiB
// file, as the peak resident size of a child process that runs only that check. Prints the
// figures and the ratio; asserts nothing about time or memory, only that the files verify.
//   kysig_verify_bench [WORK_FOLDER] [REPEATS]
//   kysig_verify_bench --check FILE       (the child: one full check, exit 0 when verified)
#include <kysign/sign.h>

#include <signature/verify.h>

#include <openssl/evp.h>

#include <algorithm>
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
constexpr size_t kLargeFileSize = 256u << 20;

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The machine's processor time so far from /proc/stat's first line: all of it, the part other
// virtual machines took (steal) and the part nobody used (idle and waiting for the disk).
struct ProcessorTimes {
    double total = 0, steal = 0, unused = 0;
};

ProcessorTimes ReadProcessorTimes() {
    ProcessorTimes t;
    FILE* f = fopen("/proc/stat", "r");
    if (f == nullptr) return t;
    double v[8] = {};
    if (fscanf(f, "cpu %lf %lf %lf %lf %lf %lf %lf %lf", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
               &v[6], &v[7]) == 8) {
        for (double x : v) t.total += x;
        t.unused = v[3] + v[4];
        t.steal = v[7];
    }
    fclose(f);
    return t;
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

kysign::Bytes Pseudorandom(size_t size) {
    kysign::Bytes bytes(size);
    uint32_t x = 0x12345678;
    for (auto& b : bytes) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(x >> 24);
    }
    return bytes;
}

bool SignTo(const kysign::Bytes& input, const std::string& path) {
    std::string error;
    kysign::Key key;
    kysign::Bytes signedFile;
    kysign::SignOptions options;
    if (!key.Load(KY_BENCH_KEY, true, &error) ||
        !kysign::Sign(input, options, key, &signedFile, &error) ||
        !kysign::WriteFileReplacing(path, signedFile, path, &error)) {
        fprintf(stderr, "verify_bench: %s\n", error.c_str());
        return false;
    }
    return true;
}

// The child: one full check of path (none with an empty path), then its own peak resident size
// as the kernel counts it since the exec (VmHWM), in KiB, on stdout.
int CheckOnly(const char* path) {
    const std::string narrow(path);
    const std::wstring wide(narrow.begin(), narrow.end());
    int32_t status = 0;
    const bool verified =
        narrow.empty() || VerifyEmbeddedSignature(wide.c_str(), &status, kSigModeWithLegacy);
    FILE* self = fopen("/proc/self/status", "r");
    long peak = -1;
    char line[256];
    while (self != nullptr && fgets(line, sizeof line, self) != nullptr) {
        if (sscanf(line, "VmHWM: %ld kB", &peak) == 1) break;
    }
    if (self != nullptr) fclose(self);
    printf("%ld\n", peak);
    return verified ? 0 : 1;
}

// Peak resident size in KiB of a child process that runs only the check of path (or, with an
// empty path, only starts); -1 when it fails or does not verify.
long ChildPeakKib(const char* self, const std::string& path) {
    const std::string command = std::string("'") + self + "' --check '" + path + "'";
    FILE* child = popen(command.c_str(), "r");
    if (child == nullptr) return -1;
    long peak = -1;
    if (fscanf(child, "%ld", &peak) != 1) peak = -1;
    return pclose(child) == 0 ? peak : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--check") return CheckOnly(argv[2]);
    const std::string folder = argc > 1 ? argv[1] : ".";
    const int repeats = argc > 2 ? std::max(1, atoi(argv[2])) : 9;
    mkdir(folder.c_str(), 0755);
    const std::string path = folder + "/verify-bench-16MiB.bin";

    if (!SignTo(Pseudorandom(kFileSize), path)) return 1;
    const std::wstring widePath(path.begin(), path.end());

    // Each repeat times both, one right after the other, so that a slow stretch of the machine
    // (another build, the host taking the second processor) falls on both; the ratio printed is
    // the median of the repeats' ratios, beside the ratio of the best times.
    double best = 1e9, bestOpenSsl = 1e9;
    std::vector<double> ratios;
    const ProcessorTimes before = ReadProcessorTimes();
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
        ratios.push_back(t / tOpenSsl);
    }
    const ProcessorTimes after = ReadProcessorTimes();
    std::sort(ratios.begin(), ratios.end());
    const size_t n = ratios.size();
    const double medianRatio = n % 2 ? ratios[n / 2] : (ratios[n / 2 - 1] + ratios[n / 2]) / 2;
    if (getenv("KY_KEEP_BENCH_FILE") == nullptr) unlink(path.c_str());
    printf("full check of a signed 16 MiB file (best of %d):   %8.2f ms  %7.1f MiB/s\n", repeats,
           best * 1e3, 16 / best);
    printf("OpenSSL read + MD5 + SHA-256 of the same file:      %8.2f ms  %7.1f MiB/s\n",
           bestOpenSsl * 1e3, 16 / bestOpenSsl);
    printf("ratio (full check / OpenSSL), median of %2d repeats:  %8.2f  [%.2f, %.2f]\n", repeats,
           medianRatio, ratios.front(), ratios.back());
    printf("ratio of the best times:                            %8.2f\n", best / bestOpenSsl);
    // The two-thread check needs the second processor: when other processes or the host take it,
    // the check runs at the speed of one thread and the ratio nears 1. Say how it was.
    const double total = after.total - before.total;
    if (total > 0) {
        printf(
            "while measuring, of the machine's processor time: %.0f %% taken by the host (steal), "
            "%.0f %% unused\n",
            100 * (after.steal - before.steal) / total,
            100 * (after.unused - before.unused) / total);
    }

    const std::string large = folder + "/verify-bench-256MiB.bin";
    if (!SignTo(Pseudorandom(kLargeFileSize), large)) return 1;
    const long peak = ChildPeakKib(argv[0], large);
    const long baseline = ChildPeakKib(argv[0], "");
    unlink(large.c_str());
    if (peak < 0) {
        fprintf(stderr, "verify_bench: the signed 256 MiB file does not verify\n");
        return 1;
    }
    printf(
        "peak resident size of a process checking a signed 256 MiB file: %6.2f MiB"
        " (%.2f MiB before the check)\n",
        peak / 1024.0, baseline / 1024.0);
    return 0;
}
