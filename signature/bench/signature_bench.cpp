// Digest throughput and one RSA-2048 opening, ours beside OpenSSL's on the same buffers and key.
//
// OpenSSL picks its SHA-256 code path once, when the library starts, from OPENSSL_ia32cap. To show
// the speed of its code without the SHA instructions in the same run, the program starts itself
// a second time with those instructions masked out and takes that run's figures into its summary.
//
// The machine's speed moves from moment to moment (other builds, the host taking a processor), so
// the summary's ratios come from interleaved rounds: each round measures every contender once, in
// an order that changes from round to round, and the summary gives the median of the rounds'
// ratios beside the median rates. The child measures our code without the SHA instructions in
// the same rounds as OpenSSL's masked code.
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/core_names.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <functional>
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

// The code of processors without the SHA instructions (the vector schedule where SSSE3 is there).
void OurSha256NoShaInstructions(benchmark::State& state, size_t size) {
    kysig::detail::SetSha256PathForTesting(kysig::detail::Sha256Path::kNoShaInstructions);
    OurSha256(state, size);
    kysig::detail::SetSha256PathForTesting(kysig::detail::Sha256Path::kChosen);
}

// The plain portable code, the fallback of processors without SSSE3.
void OurSha256Portable(benchmark::State& state, size_t size) {
    kysig::detail::SetSha256PathForTesting(kysig::detail::Sha256Path::kPortable);
    OurSha256(state, size);
    kysig::detail::SetSha256PathForTesting(kysig::detail::Sha256Path::kChosen);
}

// --- Interleaved rounds ---------------------------------------------------------------------

using Digest = std::function<void(const uint8_t* data, size_t size)>;

struct Contender {
    std::string name;
    Digest digest;
};

void Ours(kysig::detail::Sha256Path path, const uint8_t* data, size_t size) {
    uint8_t digest[32];
    kysig::detail::SetSha256PathForTesting(path);
    kysig::Sha256(data, static_cast<uint32_t>(size), digest);
    kysig::detail::SetSha256PathForTesting(kysig::detail::Sha256Path::kChosen);
    benchmark::DoNotOptimize(digest);
}

Digest OpenSsl(const EVP_MD* md) {
    return [md](const uint8_t* data, size_t size) {
        uint8_t digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_Digest(data, size, digest, &length, md, nullptr);
        benchmark::DoNotOptimize(digest);
    };
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int g_rounds = 15;

// The processor time of this thread: the digests are single-threaded, and time in which another
// process had the processor is not theirs. (Time the host takes from the virtual machine still
// counts; the interleaving spreads it over the contenders.)
double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Bytes per second of each contender in each of g_rounds rounds; a measurement covers at least
// 16 MiB and 20 ms of processor time, and a round takes every contender's rate close together.
std::map<std::string, std::vector<double>> Interleaved(const std::vector<Contender>& contenders,
                                                       size_t size) {
    const std::vector<uint8_t>& buffer = Buffer(size);
    std::map<std::string, std::vector<double>> rates;
    const size_t repeats = std::max<size_t>(1, (16u << 20) / size);
    for (const Contender& c : contenders) c.digest(buffer.data(), size);  // warm-up
    for (int round = 0; round < g_rounds; ++round) {
        for (size_t i = 0; i < contenders.size(); ++i) {
            const Contender& c = contenders[(i + round) % contenders.size()];
            const double start = ThreadSeconds();
            size_t done = 0;
            double seconds = 0;
            do {
                for (size_t r = 0; r < repeats; ++r) c.digest(buffer.data(), size);
                done += repeats;
                seconds = ThreadSeconds() - start;
            } while (seconds < 0.02);
            rates[c.name].push_back(static_cast<double>(done * size) / seconds);
        }
    }
    return rates;
}

// The median of the rounds' ratios a / b.
double MedianRatio(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> ratios;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) ratios.push_back(a[i] / b[i]);
    return Median(ratios);
}

struct Compared {
    double ours = 0, theirs = 0, ratio = 0;  // median rates, median of the rounds' ratios
    double low = 0, high = 0;                // the lowest and highest ratio of a round
};
std::map<std::string, Compared> g_compared;

void Compare(const std::string& key, const std::vector<double>& ours,
             const std::vector<double>& theirs) {
    Compared& c = g_compared[key];
    c.ours = Median(ours);
    c.theirs = Median(theirs);
    c.ratio = MedianRatio(ours, theirs);
    std::vector<double> ratios;
    for (size_t i = 0; i < ours.size() && i < theirs.size(); ++i)
        ratios.push_back(ours[i] / theirs[i]);
    c.low = *std::min_element(ratios.begin(), ratios.end());
    c.high = *std::max_element(ratios.begin(), ratios.end());
}

using kysig::detail::Sha256Path;

// The parent's rounds: MD5 and SHA-256 as the library chooses, beside OpenSSL's.
void InterleavedParent() {
    for (size_t size : kSizes) {
        const std::string label = SizeLabel(size);
        auto md5 = Interleaved({{"ours",
                                 [](const uint8_t* d, size_t n) {
                                     uint8_t digest[16];
                                     kysig::Md5(d, static_cast<uint32_t>(n), digest);
                                     benchmark::DoNotOptimize(digest);
                                 }},
                                {"openssl", OpenSsl(EVP_md5())}},
                               size);
        Compare("md5 " + label, md5["ours"], md5["openssl"]);
        auto sha = Interleaved(
            {{"ours", [](const uint8_t* d, size_t n) { Ours(Sha256Path::kChosen, d, n); }},
             {"openssl", OpenSsl(EVP_sha256())}},
            size);
        Compare("sha256 " + label, sha["ours"], sha["openssl"]);
    }
}

// The child's rounds, with OpenSSL's SHA instructions masked: our code without them beside it.
void InterleavedChild() {
    for (size_t size : kSizes) {
        const std::string label = SizeLabel(size);
        auto sha = Interleaved(
            {{"no-sha-instructions",
              [](const uint8_t* d, size_t n) { Ours(Sha256Path::kNoShaInstructions, d, n); }},
             {"portable", [](const uint8_t* d, size_t n) { Ours(Sha256Path::kPortable, d, n); }},
             {"openssl", OpenSsl(EVP_sha256())}},
            size);
        for (const char* ours : {"no-sha-instructions", "portable"}) {
            Compare(std::string("masked ") + ours + " " + label, sha[ours], sha["openssl"]);
        }
    }
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
            benchmark::RegisterBenchmark(("sha256/ours-no-sha-instructions/" + label).c_str(),
                                         OurSha256NoShaInstructions, size);
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
        Compared c;
        if (strncmp(line, kChildPrefix, strlen(kChildPrefix)) != 0) continue;
        const char* figure = line + strlen(kChildPrefix);
        if (sscanf(figure, "compared %255[^|]|%lf %lf %lf %lf %lf", name, &c.ours, &c.theirs,
                   &c.ratio, &c.low, &c.high) == 6) {
            g_compared[name] = c;
        } else if (sscanf(figure, "%255s %lf", name, &rate) == 2) {
            g_figures[std::string("masked/") + name].bytesPerSecond = rate;
        }
    }
    pclose(child);
}

double Mb(double bytesPerSecond) { return bytesPerSecond / 1e6; }

std::string NoShaInstructionsName() {
    kysig::detail::SetSha256PathForTesting(Sha256Path::kNoShaInstructions);
    const std::string name = kysig::detail::Sha256PathNameForTesting();
    kysig::detail::SetSha256PathForTesting(Sha256Path::kChosen);
    return name;
}

void PrintSummary() {
    printf(
        "\nSummary (MB = 10^6 bytes; ratio = ours / OpenSSL, above 1 is faster): %d interleaved "
        "rounds,\nmedian rates and the median of the rounds' ratios, [lowest, highest] ratio of a "
        "round\n",
        g_rounds);
    printf("%-34s %10s %10s %8s  %s\n", "", "ours MB/s", "OpenSSL", "ratio", "rounds");
    auto row = [](const std::string& title, const std::string& key) {
        auto it = g_compared.find(key);
        if (it == g_compared.end()) {
            printf("%-34s (not measured)\n", title.c_str());
            return;
        }
        const Compared& c = it->second;
        printf("%-34s %10.1f %10.1f %8.2f  [%.2f, %.2f]\n", title.c_str(), Mb(c.ours), Mb(c.theirs),
               c.ratio, c.low, c.high);
    };
    for (size_t size : kSizes) row("MD5 " + SizeLabel(size), "md5 " + SizeLabel(size));
    for (size_t size : kSizes) row("SHA-256 " + SizeLabel(size), "sha256 " + SizeLabel(size));
    printf("OpenSSL with the SHA instructions masked (OPENSSL_ia32cap), ours without them:\n");
    for (size_t size : kSizes) {
        row("SHA-256 no SHA-NI " + SizeLabel(size),
            "masked no-sha-instructions " + SizeLabel(size));
    }
    for (size_t size : kSizes) {
        row("SHA-256 plain portable " + SizeLabel(size), "masked portable " + SizeLabel(size));
    }
    printf("(our code without the SHA instructions: %s)\n", NoShaInstructionsName().c_str());
    const Figure& ours = g_figures["rsa2048/open/ours"];
    const Figure& theirs = g_figures["rsa2048/public/openssl"];
    printf("\n%-22s %12s %12s %8s\n", "", "ours us", "OpenSSL us", "ratio");
    printf("%-22s %12.1f %12.1f %8.2f   (ratio of times: above 1 is slower)\n", "rsa2048 opening",
           ours.microseconds, theirs.microseconds, ours.microseconds / theirs.microseconds);
}

}  // namespace

int main(int argc, char** argv) {
    // KY_BENCH_ROUNDS: the number of interleaved rounds (15 unless given).
    if (const char* rounds = getenv("KY_BENCH_ROUNDS")) g_rounds = std::max(1, atoi(rounds));
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
        InterleavedChild();
        for (const auto& [name, c] : g_compared) {
            printf("%scompared %s|%.1f %.1f %.4f %.4f %.4f\n", kChildPrefix, name.c_str(), c.ours,
                   c.theirs, c.ratio, c.low, c.high);
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
    InterleavedParent();
    RunMaskedChild(argv[0], minTime);
    PrintSummary();
    benchmark::Shutdown();
    return 0;
}
