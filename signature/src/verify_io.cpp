// File access and buffers of the verifier: the C runtime's low-level functions, by wide path on
// Windows and by the UTF-8 form of the path elsewhere.
#include "verify_internal.h"

#include <signature/verify.h>
#include <signature/wipe.h>

#include <atomic>
#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kysig {
namespace detail {

namespace {

#ifdef KY_TEST_HOOKS
std::atomic<int> g_failCountdown{0};
const uint8_t* g_memoryFile = nullptr;
uint32_t g_memoryFileSize = 0;
#endif

#ifndef _WIN32
// wchar_t holds UTF-32 here. Returns false for a value that is not a Unicode scalar value.
bool WideToUtf8(const wchar_t* path, char* out, size_t capacity) {
    size_t used = 0;
    for (const wchar_t* p = path; *p; ++p) {
        uint32_t c = static_cast<uint32_t>(*p);
        uint8_t bytes[4];
        size_t n;
        if (c < 0x80) {
            bytes[0] = static_cast<uint8_t>(c);
            n = 1;
        } else if (c < 0x800) {
            bytes[0] = static_cast<uint8_t>(0xC0 | (c >> 6));
            bytes[1] = static_cast<uint8_t>(0x80 | (c & 0x3F));
            n = 2;
        } else if (c < 0x10000) {
            if (c >= 0xD800 && c <= 0xDFFF) return false;
            bytes[0] = static_cast<uint8_t>(0xE0 | (c >> 12));
            bytes[1] = static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F));
            bytes[2] = static_cast<uint8_t>(0x80 | (c & 0x3F));
            n = 3;
        } else if (c < 0x110000) {
            bytes[0] = static_cast<uint8_t>(0xF0 | (c >> 18));
            bytes[1] = static_cast<uint8_t>(0x80 | ((c >> 12) & 0x3F));
            bytes[2] = static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F));
            bytes[3] = static_cast<uint8_t>(0x80 | (c & 0x3F));
            n = 4;
        } else {
            return false;
        }
        if (used + n >= capacity) return false;
        for (size_t i = 0; i < n; ++i) out[used++] = static_cast<char>(bytes[i]);
    }
    out[used] = '\0';
    return true;
}
#endif

}  // namespace

int32_t OpenSigFile(const wchar_t* path, SigFile* file) {
    file->fd = -1;
    file->length = 0;
#ifdef KY_TEST_HOOKS
    file->memory = g_memoryFile;
    file->position = 0;
    if (file->memory != nullptr) {
        file->length = g_memoryFileSize;
        return 0;
    }
#endif
#ifdef _WIN32
    if (_waccess(path, 0) != 0 && errno == ENOENT) return kSigFileMissing;
    // Read and write access stay shared with other openers (_SH_DENYNO), so a file that someone
    // else holds open can still be checked, and the check never blocks them.
    int fd = _wsopen(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT, _SH_DENYNO);
    if (fd < 0) return kSigCannotOpen;
    struct _stat64 info;
    if (_fstat64(fd, &info) != 0 || (info.st_mode & _S_IFREG) == 0) {
        _close(fd);
        return kSigCannotOpen;
    }
#else
    // PATH_MAX-sized: a longer path could not be opened anyway.
    char utf8[4096 * 4];
    if (!WideToUtf8(path, utf8, sizeof utf8)) return kSigBadArgument;
    struct stat info;
    if (stat(utf8, &info) != 0) {
        return (errno == ENOENT || errno == ENOTDIR) ? kSigFileMissing : kSigCannotOpen;
    }
    int fd = open(utf8, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return kSigCannotOpen;
    // A directory opens for reading here but not on Windows; refuse it the same way on both.
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return kSigCannotOpen;
    }
#endif
    if (info.st_size < 0 || info.st_size > 0x7FFFFFFF) {
        // Lengths and offsets are 32 bits wide: such a file is outside what the block can describe.
#ifdef _WIN32
        _close(fd);
#else
        close(fd);
#endif
        return kSigReadFailed;
    }
    file->fd = fd;
    file->length = static_cast<uint32_t>(info.st_size);
    return 0;
}

void CloseSigFile(SigFile* file) {
    if (file->fd >= 0) {
#ifdef _WIN32
        _close(file->fd);
#else
        close(file->fd);
#endif
        file->fd = -1;
    }
}

bool SeekSigFile(SigFile* file, uint32_t offset) {
#ifdef KY_TEST_HOOKS
    if (file->memory != nullptr) {
        // As lseek: a position past the end is allowed, reads there give nothing.
        file->position = offset;
        return true;
    }
#endif
#ifdef _WIN32
    return _lseeki64(file->fd, static_cast<__int64>(offset), SEEK_SET) ==
           static_cast<__int64>(offset);
#else
    return lseek(file->fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
#endif
}

int64_t ReadSigFile(SigFile* file, void* buffer, uint32_t count) {
    uint8_t* out = static_cast<uint8_t*>(buffer);
#ifdef KY_TEST_HOOKS
    if (file->memory != nullptr) {
        const uint32_t left = file->position < file->length ? file->length - file->position : 0;
        const uint32_t n = count < left ? count : left;
        memcpy(out, file->memory + file->position, n);
        file->position += n;
        return n;
    }
#endif
    uint32_t done = 0;
    while (done < count) {
        uint32_t chunk = count - done;
        if (chunk > 0x40000000u) chunk = 0x40000000u;
#ifdef _WIN32
        int n = _read(file->fd, out + done, chunk);
#else
        ssize_t n = read(file->fd, out + done, chunk);
        if (n < 0 && errno == EINTR) continue;
#endif
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<uint32_t>(n);
    }
    return done;
}

bool ReadSigFileAt(SigFile* file, uint32_t offset, void* buffer, uint32_t count) {
    return SeekSigFile(file, offset) &&
           ReadSigFile(file, buffer, count) == static_cast<int64_t>(count);
}

void* SigAllocate(size_t size) {
#ifdef KY_TEST_HOOKS
    int countdown = g_failCountdown.load(std::memory_order_relaxed);
    if (countdown > 0) {
        countdown = g_failCountdown.fetch_sub(1, std::memory_order_relaxed);
        if (countdown == 1) return nullptr;
    }
#endif
    return malloc(size == 0 ? 1 : size);
}

void SigFree(void* data, size_t size) {
    if (data == nullptr) return;
    SecureWipe(data, size);
    free(data);
}

#ifdef KY_TEST_HOOKS
void SetAllocationFailureForTesting(int countdown) {
    g_failCountdown.store(countdown < 0 ? 0 : countdown, std::memory_order_relaxed);
}

void SetMemoryFileForTesting(const uint8_t* data, uint32_t size) {
    g_memoryFile = data;
    g_memoryFileSize = data != nullptr ? size : 0;
}
#endif

}  // namespace detail
}  // namespace kysig
