// Pieces of the verifier shared by its source files and its tests; not part of the library's
// public interface.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

namespace kysig {
namespace detail {

// --- Files (verify_io.cpp) -------------------------------------------------------------------

// A file opened for reading with read and write sharing left to others. length is its size;
// files of 2 GiB and more are refused when they are opened.
struct SigFile {
    int fd;
    uint32_t length;
#ifdef KY_TEST_HOOKS
    // Set when the file is the memory of SetMemoryFileForTesting; position is the read offset.
    const uint8_t* memory;
    uint32_t position;
#endif
};

// 0 when the file is open (length may be 0), otherwise the status: kSigFileMissing,
// kSigCannotOpen, kSigReadFailed (size not representable), kSigBadArgument (path not convertible).
int32_t OpenSigFile(const wchar_t* path, SigFile* file);
void CloseSigFile(SigFile* file);
bool SeekSigFile(SigFile* file, uint32_t offset);
// Reads up to count bytes from the current position; returns the number read, or -1 on an error.
int64_t ReadSigFile(SigFile* file, void* buffer, uint32_t count);
// Seeks to offset and reads exactly count bytes.
bool ReadSigFileAt(SigFile* file, uint32_t offset, void* buffer, uint32_t count);

// --- Memory ----------------------------------------------------------------------------------

// Every buffer of a check goes through these two so that a test can make any one allocation fail
// and prove that each path still releases what it holds.
void* SigAllocate(size_t size);
// Wipes (the buffers hold file contents and opened signatures) and frees; null is accepted.
void SigFree(void* data, size_t size);

// Owns one buffer from SigAllocate, so that every return of a check wipes and frees it.
struct SigBuffer {
    uint8_t* data = nullptr;
    uint32_t size = 0;
    SigBuffer() = default;
    SigBuffer(const SigBuffer&) = delete;
    SigBuffer& operator=(const SigBuffer&) = delete;
    ~SigBuffer() { SigFree(data, size); }
    bool Allocate(uint32_t n) {
        data = static_cast<uint8_t*>(SigAllocate(n));
        size = data ? n : 0;
        return data != nullptr;
    }
};

#ifdef KY_TEST_HOOKS
// Only in the test variant of the library (kysig_testing), never in what ships.
// The countdown-th allocation from now fails (1 = the next one); 0 turns failures off.
void SetAllocationFailureForTesting(int countdown);
// While data is set, every file the entries open is these bytes instead, whatever the path:
// the fuzz target feeds its inputs through the same reads as files without a file system.
// Null turns it off. Not thread-safe; the bytes must outlive the calls.
void SetMemoryFileForTesting(const uint8_t* data, uint32_t size);
#endif

// --- Excluded ranges (verify_ranges.cpp) ------------------------------------------------------

// Half-open [first, first + length). A file has at most three PE ranges and one block range.
struct ExcludedRange {
    uint32_t first;
    uint32_t length;
};
struct ExcludedRanges {
    ExcludedRange items[4];
    uint32_t count;
    // Whether the PE ranges hold a certificate table (then the third of them).
    bool hasCertificateTable;
};

// Step 3 of the check: the PE ranges of an "MZ" file. Returns 0 or kSigBadHeaders.
int32_t CollectPeRanges(SigFile* file, ExcludedRanges* ranges);
// Where the block's extent may lie: at the end of the file, or directly before a certificate
// table that ends the file, or directly after one when the extent ends the file. Returns 0,
// kSigMalformedBlock for an extent that neither ends the file nor meets a certificate table, or
// kSigReadFailed for a certificate table anywhere else. Called before AddBlockRange.
int32_t CheckBlockPlacement(const ExcludedRanges* ranges, uint32_t first, uint32_t length,
                            uint32_t fileLength);
// Adds the block's range in ascending order. Returns 0, or kSigReadFailed when any two ranges
// overlap, a range reaches past the end of the file, or the PE ranges are out of order.
int32_t AddBlockRange(ExcludedRanges* ranges, uint32_t first, uint32_t length, uint32_t fileLength);
// The bytes below limit that no range covers, in file order, a chunk at a time. The ranges are
// ascending and disjoint (AddBlockRange saw to it).
class SignedBytesReader {
public:
    SignedBytesReader(SigFile* file, const ExcludedRanges* ranges, uint32_t limit);
    // Fills out with up to capacity of the next signed bytes; *count is 0 at the end.
    // Returns 0 or kSigReadFailed.
    int32_t Next(uint8_t* out, uint32_t capacity, uint32_t* count);

private:
    SigFile* m_pFile;
    const ExcludedRanges* m_pRanges;
    uint32_t m_limit;
    uint32_t m_position;
    uint32_t m_range;
};

// --- The digests of the signed bytes (verify_digest.cpp) ---------------------------------------

// MD5 of the signed bytes below limit, and their SHA-256 when sha256 is not null, read in chunks
// of bounded size (1 MiB), so the memory a check takes does not grow with the file. With two
// chunks' worth or more, a second thread reads and takes the SHA-256 of each chunk while this one
// takes its MD5; without a thread the same work runs here. produced: the bytes digested.
// Returns 0, kSigBadArgument (the seek back to the start failed), kSigOutOfMemory (no chunk
// buffer), kSigReadFailed.
int32_t DigestSignedBytes(SigFile* file, const ExcludedRanges* ranges, uint32_t limit,
                          uint8_t md5[16], uint8_t* sha256, uint32_t* produced);

#ifdef KY_TEST_HOOKS
// Only in the test variant: the chunk size (0: the default), so that tests and the fuzz target
// reach chunk edges and the two-thread path with small files.
void SetChunkSizeForTesting(uint32_t bytes);
#endif
uint32_t SignedLength(const ExcludedRanges* ranges, uint32_t fileLength);

#ifdef KY_TEST_HOOKS
// Called with the complete list of excluded ranges of a block check just before the digests are
// computed, so that a test can compare them with the ranges it expects.
using ExcludedRangesObserver = void (*)(const ExcludedRanges* ranges);
void SetExcludedRangesObserverForTesting(ExcludedRangesObserver observer);
void ObserveExcludedRanges(const ExcludedRanges* ranges);
#endif

// --- The block (verify_block.cpp) -------------------------------------------------------------

struct SignatureBlock {
    bool text;
    uint32_t beginOffset;  // file offset of the begin marker
    uint32_t leadIn;
    uint32_t excludedLength;
    uint32_t trailingPadding;
    // The first signature entry (type 3); dataLength is in bytes, halved for the text form.
    bool hasSignatureEntry;
    uint32_t dataOffset;
    uint32_t dataLength;
    uint8_t selector;
};

// Locates and parses the block nearest the end of the file, and checks that its fields describe
// exactly its own bytes (and, for the text form, that a script host reads it as one comment
// line; see verify_format.h). Returns 0 or the status (3, 7, 8, 13).
int32_t LocateBlock(SigFile* file, SignatureBlock* block);
// Reads and decodes the 256 signature bytes of the block's signature entry. Returns 0 or the
// status (3 for a failed seek, 13 for a short read).
int32_t ReadBlockSignature(SigFile* file, const SignatureBlock* block, uint8_t signature[256]);

// Value of one hexadecimal digit; any other character counts as 0.
uint32_t HexDigit(uint8_t c);
uint32_t HexNumber(const uint8_t* text, uint32_t digits);
uint32_t LoadLe32(const uint8_t* p);

}  // namespace detail
}  // namespace kysig
