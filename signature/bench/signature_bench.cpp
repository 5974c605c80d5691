// Digest throughput and one RSA-2048 opening, ours beside OpenSSL's on the same buffers and key.
//
// OpenSSL picks its SHA-256 code path once, when the library starts, from OPENSSL_ia32cap. To show
// the speed of its code without the SHA instructions in the same run, the program starts itself
// a second time with those instructions masked out and takes that run's figures into its summary.
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/core_names.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <signature/md5.h>

#include "sha256_internal.h"
#include <signature/rsa.h>
#include <signature/sha256.h>

namespace {

// Masks CPUID leaf 7 EBX bit 29 (the SHA extensions) and keeps every other capability.
const char kMaskSha[] = ":~0x20000000";
const char kChildVariable[] = "KY_BENCH_SHA_MASKED_CHILD";
const char kChildPrefix[] = "kyfigure ";

const size_t kSizes[] = {64 * 1024, 8 * 1024 * 1024};

std::string SizeLabel(size_t size) {
    return size >= 1024 * 1024 ? std::to_string(size >> 20) + "MiB"
                               : std::to_string(size >> 10) + "KiB";
}

const std::vector<uint8_t>& Buffer(size_t size) {
    static std::map<size_t, std::vector<uint8_t>> buffers;
    std::vector<uint8_t>& buffer = buffers[size];
    if (buffer.empty()) {
        std::mt19937 rng(static_cast<uint32_t>(size));
        buffer.resize(size);
        for (auto& b : buffer) {
            b = static_cast<uint8_t>(rng());
        }
    }
    return buffer;
}

void OurMd5(benchmark::State& state, size_t size) {
    const std::vector<uint8_t>& buffer = Buffer(size);
    uint8_t digest[16];
    for (auto _ : state) {
        kysig::Md5(buffer.data(), static_cast<uint32_t>(size), digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void OurSha256(benchmark::State& state, size_t size) {
    const std::vector<uint8_t>& buffer = Buffer(size);
    uint8_t digest[32];
    for (auto _ : state) {
        kysig::Sha256(buffer.data(), static_cast<uint32_t>(size), digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

// The portable code, which processors without the SHA instructions run.
void OurSha256Portable(benchmark::State& state, size_t size) {
    kysig::detail::SetSha256PortableForTesting(true);
    OurSha256(state, size);
    kysig::detail::SetSha256PortableForTesting(false);
}

void OpenSslDigest(benchmark::State& state, const EVP_MD* md, size_t size) {
    const std::vector<uint8_t>& buffer = Buffer(size);
    uint8_t digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    for (auto _ : state) {
        EVP_Digest(buffer.data(), size, digest, &length, md, nullptr);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

// One key and one signature over a message laid out as the signing side does it.
struct RsaFixture {
    EVP_PKEY* key = nullptr;
    std::vector<uint8_t> modulus;
    std::vector<uint8_t> message;
    std::vector<uint8_t> signature;
};

RsaFixture* MakeRsaFixture() {
    RsaFixture* f = new RsaFixture;
    f->key = EVP_RSA_gen(2048);
    BIGNUM* n = nullptr;
    if (f->key == nullptr || EVP_PKEY_get_bn_param(f->key, OSSL_PKEY_PARAM_RSA_N, &n) != 1) {
        fprintf(stderr, "cannot make an RSA key\n");
        exit(1);
    }
    f->modulus.resize(256);
    BN_bn2binpad(n, f->modulus.data(), 256);
    BN_free(n);

    const char payload[] = "benchmark payload: a signature record would stand here";
    const uint32_t d = sizeof(payload) - 1;
    f->message.assign(256, 0);
    memcpy(f->message.data(), payload, d);
    kysig::Md5(payload, d, f->message.data() + ((d + 15) & ~15u));
    for (int i = 0; i < 4; ++i) {
        f->message[240 + i] = static_cast<uint8_t>(d >> (8 * i));
    }

    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(f->key, nullptr);
    size_t length = 256;
    f->signature.resize(256);
    if (ctx == nullptr || EVP_PKEY_sign_init(ctx) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_NO_PADDING) != 1 ||
        EVP_PKEY_sign(ctx, f->signature.data(), &length, f->message.data(), 256) != 1 ||
        length != 256) {
        fprintf(stderr, "cannot sign\n");
        exit(1);
    }
    EVP_PKEY_CTX_free(ctx);

    // Both sides must open it to the message before their times mean anything.
    std::vector<uint8_t> opened(256, 0);
    uint8_t innerMd5[16];
    if (kysig::RsaOpenSignature(f->signature.data(), opened.data(), f->modulus.data(), 2048,
                                innerMd5) != d ||
        opened != f->message) {
        fprintf(stderr, "our opening does not give the message\n");
        exit(1);
    }
    return f;
}

RsaFixture& Rsa() {
    static RsaFixture* fixture = MakeRsaFixture();
    return *fixture;
}

void OurRsaOpen(benchmark::State& state) {
    RsaFixture& f = Rsa();
    std::vector<uint8_t> result(256);
    uint8_t innerMd5[16];
    for (auto _ : state) {
        memset(result.data(), 0, 256);
        benchmark::DoNotOptimize(kysig::RsaOpenSignature(f.signature.data(), result.data(),
                                                         f.modulus.data(), 2048, innerMd5));
    }
}

void OpenSslRsaPublic(benchmark::State& state) {
    RsaFixture& f = Rsa();
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(f.key, nullptr);
    if (ctx == nullptr || EVP_PKEY_verify_recover_init(ctx) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_NO_PADDING) != 1) {
        state.SkipWithError("cannot set up the public operation");
        return;
    }
    std::vector<uint8_t> result(256);
    for (auto _ : state) {
        size_t length = result.size();
        EVP_PKEY_verify_recover(ctx, result.data(), &length, f.signature.data(),
                                f.signature.size());
        benchmark::DoNotOptimize(result.data());
    }
    if (result != f.message) {
        state.SkipWithError("OpenSSL's public operation does not give the message");
    }
    EVP_PKEY_CTX_free(ctx);
}

// Keeps each run's rate (digests) or time per iteration (RSA) for the summary.
struct Figure {
    double bytesPerSecond = 0;
    double microseconds = 0;
};
std::map<std::string, Figure> g_figures;

class RecordingReporter : public benchmark::ConsoleReporter {
public:
    explicit RecordingReporter(bool quiet) : quiet_(quiet) {}
    bool ReportContext(const Context& context) override {
        return quiet_ || ConsoleReporter::ReportContext(context);
    }
    void ReportRuns(const std::vector<Run>& runs) override {
        if (!quiet_) {
            ConsoleReporter::ReportRuns(runs);
        }
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) {
                continue;
            }
            Figure& figure = g_figures[run.benchmark_name()];
            auto rate = run.counters.find("bytes_per_second");
            if (rate != run.counters.end()) {
                figure.bytesPerSecond = rate->second.value;
            }
            figure.microseconds = run.GetAdjustedRealTime() *
                                  benchmark::GetTimeUnitMultiplier(benchmark::kMicrosecond) /
                                  benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
    }

private:
    bool quiet_;
};

void RegisterDigests(bool opensslShaOnly) {
    for (size_t size : kSizes) {
        const std::string label = SizeLabel(size);
        if (!opensslShaOnly) {
            benchmark::RegisterBenchmark(("md5/ours/" + label).c_str(), OurMd5, size);
            benchmark::RegisterBenchmark(("md5/openssl/" + label).c_str(), OpenSslDigest, EVP_md5(),
                                         size);
            benchmark::RegisterBenchmark(("sha256/ours/" + label).c_str(), OurSha256, size);
            benchmark::RegisterBenchmark(("sha256/ours-portable/" + label).c_str(),
                                         OurSha256Portable, size);
        }
        benchmark::RegisterBenchmark(("sha256/openssl/" + label).c_str(), OpenSslDigest,
                                     EVP_sha256(), size);
    }
}

// Runs this program again with the SHA extensions masked, reads its figures back.
void RunMaskedChild(const char* self, const std::string& minTime) {
    std::string command =
        std::string("OPENSSL_ia32cap='") + kMaskSha + "' " + kChildVariable + "=1 '" + self + "'";
    if (!minTime.empty()) {
        command += " '" + minTime + "'";
    }
    FILE* child = popen(command.c_str(), "r");
    if (child == nullptr) {
        return;
    }
    char line[512];
    while (fgets(line, sizeof(line), child) != nullptr) {
        char name[256];
        double rate = 0;
        if (strncmp(line, kChildPrefix, strlen(kChildPrefix)) == 0 &&
            sscanf(line + strlen(kChildPrefix), "%255s %lf", name, &rate) == 2) {
            g_figures[std::string("masked/") + name].bytesPerSecond = rate;
        }
    }
    pclose(child);
}

double Mb(double bytesPerSecond) { return bytesPerSecond / 1e6; }

void PrintSummary() {
    printf(
        "\nSummary (MB = 10^6 bytes; ratio = ours / OpenSSL, above 1 is faster for throughput)\n");
    printf("%-22s %12s %12s %8s %18s %8s\n", "", "ours MB/s", "OpenSSL", "ratio",
           "OpenSSL no SHA-NI", "ratio");
    for (const char* digest : {"md5", "sha256"}) {
        for (size_t size : kSizes) {
            const std::string label = SizeLabel(size);
            const Figure& ours = g_figures[std::string(digest) + "/ours/" + label];
            const Figure& theirs = g_figures[std::string(digest) + "/openssl/" + label];
            printf("%-22s %12.1f %12.1f %8.2f", (std::string(digest) + " " + label).c_str(),
                   Mb(ours.bytesPerSecond), Mb(theirs.bytesPerSecond),
                   ours.bytesPerSecond / theirs.bytesPerSecond);
            if (strcmp(digest, "sha256") == 0) {
                const Figure& masked = g_figures["masked/sha256/openssl/" + label];
                if (masked.bytesPerSecond > 0) {
                    printf(" %18.1f %8.2f", Mb(masked.bytesPerSecond),
                           ours.bytesPerSecond / masked.bytesPerSecond);
                } else {
                    printf(" %18s", "(not measured)");
                }
            }
            printf("\n");
        }
    }
    // Where the processor has no SHA instructions: our portable code against OpenSSL's.
    for (size_t size : kSizes) {
        const std::string label = SizeLabel(size);
        const Figure& ours = g_figures["sha256/ours-portable/" + label];
        const Figure& masked = g_figures["masked/sha256/openssl/" + label];
        printf("%-22s %12.1f %12s %8s", ("sha256 portable " + label).c_str(),
               Mb(ours.bytesPerSecond), "", "");
        if (masked.bytesPerSecond > 0) {
            printf(" %18.1f %8.2f", Mb(masked.bytesPerSecond),
                   ours.bytesPerSecond / masked.bytesPerSecond);
        }
        printf("\n");
    }
    const Figure& ours = g_figures["rsa2048/open/ours"];
    const Figure& theirs = g_figures["rsa2048/public/openssl"];
    printf("\n%-22s %12s %12s %8s\n", "", "ours us", "OpenSSL us", "ratio");
    printf("%-22s %12.1f %12.1f %8.2f   (ratio of times: above 1 is slower)\n", "rsa2048 opening",
           ours.microseconds, theirs.microseconds, ours.microseconds / theirs.microseconds);
}

}  // namespace

int main(int argc, char** argv) {
    std::string minTime;
    for (int i = 1; i < argc; ++i) {
        if (strncmp(argv[i], "--benchmark_min_time=", 21) == 0) {
            minTime = argv[i];
        }
    }

    if (getenv(kChildVariable) != nullptr) {
        // The child: only OpenSSL's SHA-256, figures on stdout for the parent.
        RegisterDigests(true);
        benchmark::Initialize(&argc, argv);
        RecordingReporter quiet(true);
        benchmark::RunSpecifiedBenchmarks(&quiet);
        for (const auto& [name, figure] : g_figures) {
            printf("%s%s %.1f\n", kChildPrefix, name.c_str(), figure.bytesPerSecond);
        }
        return 0;
    }

    RegisterDigests(false);
    benchmark::RegisterBenchmark("rsa2048/open/ours", OurRsaOpen)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("rsa2048/public/openssl", OpenSslRsaPublic)
        ->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RecordingReporter reporter(false);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    RunMaskedChild(argv[0], minTime);
    PrintSummary();
    benchmark::Shutdown();
    return 0;
}
