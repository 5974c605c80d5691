// The digests of a file's signed bytes, streamed in chunks. MD5 goes one block after another and
// sets the floor of a full check; the SHA-256 and the reading of the next chunk run beside it on a
// second thread, so that a large file takes about as long as its MD5 alone.
#include "side_thread.h"
#include "verify_internal.h"

#include <signature/md5.h>
#include <signature/sha256.h>
#include <signature/verify.h>
#include <signature/wipe.h>

namespace kysig {
namespace detail {

namespace {

constexpr uint32_t kChunkSize = 1u << 20;

#ifdef KY_TEST_HOOKS
uint32_t g_chunkSizeForTesting = 0;
#endif

uint32_t ChunkSize() {
#ifdef KY_TEST_HOOKS
    if (g_chunkSizeForTesting != 0) return g_chunkSizeForTesting;
#endif
    return kChunkSize;
}

struct Contexts {
    Md5Context md5;
    Sha256Context sha256;
    ~Contexts() { SecureWipe(this, sizeof *this); }
};

// The second thread's share of one chunk: its SHA-256, then the reading of the next chunk.
struct SideWork {
    Sha256Context* sha256;
    const uint8_t* data;
    uint32_t length;
    SignedBytesReader* reader;
    uint8_t* next;
    uint32_t capacity;
    uint32_t nextLength;
    int32_t status;
};

void DoSideWork(void* context) {
    SideWork* work = static_cast<SideWork*>(context);
    Sha256Update(work->sha256, work->data, work->length);
    work->status = work->reader->Next(work->next, work->capacity, &work->nextLength);
}

}  // namespace

#ifdef KY_TEST_HOOKS
void SetChunkSizeForTesting(uint32_t bytes) { g_chunkSizeForTesting = bytes; }
#endif

int32_t DigestSignedBytes(SigFile* file, const ExcludedRanges* ranges, uint32_t limit,
                          uint8_t md5[16], uint8_t* sha256, uint32_t* produced) {
    *produced = 0;
    if (!SeekSigFile(file, 0)) return kSigBadArgument;
    const uint32_t chunkSize = limit < ChunkSize() ? (limit > 0 ? limit : 1) : ChunkSize();
    // A thread costs more than it saves for a file of one chunk.
    const bool twoThreads = sha256 != nullptr && limit / 2 >= chunkSize;
    SigBuffer current, next;
    if (!current.Allocate(chunkSize) || (twoThreads && !next.Allocate(chunkSize))) {
        return kSigOutOfMemory;
    }
    Contexts contexts;
    Md5Init(&contexts.md5);
    Sha256Init(&contexts.sha256);
    SignedBytesReader reader(file, ranges, limit);
    SideThread side;
    const bool threaded = twoThreads && side.Start();

    uint32_t length = 0;
    if (int32_t s = reader.Next(current.data, chunkSize, &length)) return s;
    while (length > 0) {
        *produced += length;
        if (threaded) {
            SideWork work{&contexts.sha256, current.data, length, &reader,
                          next.data,        chunkSize,    0,      0};
            side.Post(DoSideWork, &work);
            Md5Update(&contexts.md5, current.data, length);
            side.Wait();
            if (work.status) return work.status;
            uint8_t* swap = current.data;
            current.data = next.data;
            next.data = swap;
            length = work.nextLength;
        } else {
            Md5Update(&contexts.md5, current.data, length);
            if (sha256 != nullptr) Sha256Update(&contexts.sha256, current.data, length);
            if (int32_t s = reader.Next(current.data, chunkSize, &length)) return s;
        }
    }
    Md5Final(&contexts.md5, md5);
    if (sha256 != nullptr) Sha256Final(&contexts.sha256, sha256);
    return 0;
}

}  // namespace detail
}  // namespace kysig
