// kysign: the command line of the signing side.
//
//   kysign sign --form binary|text [--selector P|D] --key PRIVATE.pem
//               [--lead-in N | --lead-in-text TEXT] [--padding N]
//               [--legacy --seed-file SEED] [--allow-signed] INPUT [OUTPUT]
//               [--wrong-field FIELD]
//   kysign verify [--quick] [--mode N] [--key PUBLIC.pem] FILE
//   kysign pubkey --key KEY.pem
//
// Without OUTPUT, sign replaces INPUT (through a temporary file renamed into place).
#include <kysign/sign.h>

#include <signature/verify.h>
#include <kysig_builtin_keys.h>  // generated at configure time from the public key files

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>

namespace {

const char kUsage[] =
    "usage:\n"
    "  kysign sign --form binary|text [--selector P|D] --key PRIVATE.pem\n"
    "              [--lead-in N | --lead-in-text TEXT] [--padding N]\n"
    "              [--legacy --seed-file SEED] [--allow-signed] INPUT [OUTPUT]\n"
    "              [--wrong-field FIELD]   (tests only: that record field written wrong)\n"
    "  kysign verify [--quick] [--mode N] [--key PUBLIC.pem] FILE\n"
    "  kysign pubkey --key KEY.pem\n";

int Fail(const std::string& message) {
    fprintf(stderr, "kysign: %s\n", message.c_str());
    return 1;
}

int Usage(const std::string& message) {
    fprintf(stderr, "kysign: %s\n%s", message.c_str(), kUsage);
    return 2;
}

bool ParseCount(const char* text, int limit, int* value) {
    char* end = nullptr;
    long v = strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < 0 || v > limit) return false;
    *value = static_cast<int>(v);
    return true;
}

// "\r", "\n", "\t" and "\\" in a lead-in given on the command line.
std::string Unescape(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p == '\\' && p[1]) {
            ++p;
            out += *p == 'r' ? '\r' : *p == 'n' ? '\n' : *p == 't' ? '\t' : *p;
        } else {
            out += *p;
        }
    }
    return out;
}

// UTF-8 to the wide (UTF-32) path the library takes here.
std::wstring WidePath(const std::string& path) {
    std::wstring out;
    for (size_t i = 0; i < path.size();) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + extra >= path.size() + (extra == 0 ? 1 : 0)) return std::wstring();
        uint32_t v = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k)
            v = (v << 6) | (static_cast<unsigned char>(path[i + k]) & 0x3F);
        out += static_cast<wchar_t>(v);
        i += extra + 1;
    }
    return out;
}

const char* StatusText(uint16_t result, int32_t status) {
    if (result) {
        return status == kSigVerifiedLegacyTrailer
                   ? "verified through a legacy trailer"
                   : "verified with a signature entry, key selector 'P'";
    }
    switch (status) {
        case kSigFileMissing:
            return "the file does not exist";
        case kSigCannotOpen:
            return "the file cannot be opened";
        case kSigOutOfMemory:
            return "out of memory, or the signature data cannot be reached";
        case kSigBadArgument:
            return "bad argument";
        case kSigBadHeaders:
            return "the first 64 bytes or the PE headers cannot be read";
        case kSigNoBlock:
            return "no signature block";
        case kSigMalformedBlock:
            return "malformed signature block";
        case kSigMismatch:
            return "the signed length or a digest differs";
        case kSigNoSignatureEntry:
            return "the block holds no signature entry";
        case kSigVerifiedWithLegacyKey:
            return "verified with a signature entry, key selector 'D'";
        case kSigReadFailed:
            return "the file is empty, or a read or seek failed";
        default:
            return "unknown status";
    }
}

int Sign(int argc, char** argv) {
    kysign::SignOptions options;
    std::string keyPath, seedPath;
    bool formSet = false;
    std::string files[2];
    int fileCount = 0;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--form" && hasValue) {
            std::string v = argv[++i];
            if (v != "binary" && v != "text") return Usage("--form takes binary or text");
            options.form = v == "text" ? kysign::Form::kText : kysign::Form::kBinary;
            formSet = true;
        } else if (arg == "--selector" && hasValue) {
            std::string v = argv[++i];
            if (v != "P" && v != "D") return Usage("--selector takes P or D");
            options.selector = v[0];
        } else if (arg == "--key" && hasValue) {
            keyPath = argv[++i];
        } else if (arg == "--lead-in" && hasValue) {
            int n;
            if (!ParseCount(argv[++i], 32, &n)) return Usage("--lead-in takes 0 to 32");
            options.leadInSet = true;
            options.leadIn.assign(static_cast<size_t>(n),
                                  options.form == kysign::Form::kText ? ' ' : '\0');
        } else if (arg == "--lead-in-text" && hasValue) {
            options.leadInSet = true;
            options.leadIn = Unescape(argv[++i]);
            if (options.leadIn.size() > 32) return Usage("--lead-in-text takes at most 32 bytes");
        } else if (arg == "--padding" && hasValue) {
            if (!ParseCount(argv[++i], 32, &options.padding))
                return Usage("--padding takes 0 to 32");
        } else if (arg == "--legacy") {
            options.legacy = true;
        } else if (arg == "--seed-file" && hasValue) {
            seedPath = argv[++i];
        } else if (arg == "--allow-signed") {
            options.allowSigned = true;
        } else if (arg == "--wrong-field" && hasValue) {
            if (!kysign::ParseRecordFault(argv[++i], &options.fault)) {
                return Usage(
                    "--wrong-field takes length-low, length-high, quick-md5, full-md5, "
                    "sha256, tag or inner-md5");
            }
        } else if (!arg.empty() && arg[0] == '-') {
            return Usage("unknown option " + arg);
        } else if (fileCount < 2) {
            files[fileCount++] = arg;
        } else {
            return Usage("too many files");
        }
    }
    if (!formSet) return Usage("sign needs --form");
    if (keyPath.empty()) return Usage("sign needs --key");
    if (fileCount == 0) return Usage("sign needs an input file");
    if (options.legacy && seedPath.empty()) return Usage("--legacy needs --seed-file");
    std::string error;
    if (options.legacy && !kysign::ReadSeedFile(seedPath, &options.legacySeed, &error))
        return Fail(error);
    kysign::Key key;
    if (!key.Load(keyPath, true, &error)) return Fail(error);
    kysign::Bytes input, output;
    if (!kysign::ReadWholeFile(files[0], &input, &error)) return Fail(error);
    if (!kysign::Sign(input, options, key, &output, &error)) return Fail(files[0] + ": " + error);
    const std::string& target = fileCount == 2 ? files[1] : files[0];
    if (!kysign::WriteFileReplacing(target, output, files[0], &error)) return Fail(error);
    return 0;
}

int Verify(int argc, char** argv) {
    bool quick = false;
    int mode = 2;
    std::string keyPath, file;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--quick") {
            quick = true;
        } else if (arg == "--mode" && i + 1 < argc) {
            if (!ParseCount(argv[++i], 1000, &mode)) return Usage("--mode takes a number");
        } else if (arg == "--key" && i + 1 < argc) {
            keyPath = argv[++i];
        } else if (!arg.empty() && arg[0] == '-') {
            return Usage("unknown option " + arg);
        } else if (file.empty()) {
            file = arg;
        } else {
            return Usage("verify takes one file");
        }
    }
    if (file.empty()) return Usage("verify needs a file");
    const std::wstring path = WidePath(file);
    if (path.empty()) return Fail(file + " is not a UTF-8 path");
    int32_t status = 0;
    uint16_t result;
    if (!keyPath.empty()) {
        std::string error;
        kysign::Key key;
        if (!key.Load(keyPath, false, &error)) return Fail(error);
        const kysign::Bytes modulus = key.Modulus();
        result = quick ? VerifyEmbeddedSignatureQuickWithKey(path.c_str(), &status, mode,
                                                             modulus.data(), 256)
                       : VerifyEmbeddedSignatureWithKey(path.c_str(), &status, mode, modulus.data(),
                                                        256);
    } else {
        result = quick ? VerifyEmbeddedSignatureQuick(path.c_str(), &status, mode)
                       : VerifyEmbeddedSignature(path.c_str(), &status, mode);
    }
    // Legacy trailers and key selector 'D' are checked with the built-in keys even with --key.
    if (kysig::detail::kBuiltinKeysAreDevelopmentKeys)
        printf("built-in keys: the development keys (not for a release)\n");
    printf("%s: %s (result %s, status %d)\n", file.c_str(), StatusText(result, status),
           result ? "true" : "false", status);
    return SigAccepted(result, status) ? 0 : 1;
}

int PublicKey(int argc, char** argv) {
    if (argc != 4 || strcmp(argv[2], "--key") != 0) return Usage("pubkey takes --key KEY.pem");
    std::string error;
    kysign::Key key;
    if (!key.Load(argv[3], false, &error)) return Fail(error);
    printf("%s\n", kysign::ModulusLine(key).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage("no command");
    const std::string command = argv[1];
    if (command == "sign") return Sign(argc, argv);
    if (command == "verify") return Verify(argc, argv);
    if (command == "pubkey") return PublicKey(argc, argv);
    if (command == "--help" || command == "help") {
        fputs(kUsage, stdout);
        return 0;
    }
    return Usage("unknown command " + command);
}
