// Pieces of SHA-256 shared by the portable compression function and the one on the processor's
// SHA instructions; not part of the library's public interface.
#pragma once

#include <stdint.h>

namespace kysig {
namespace detail {

extern const uint32_t kSha256RoundConstants[64];

// True when the processor has the SHA instructions (and SSSE3 and SSE4.1, which the code around
// them uses); always false where the library is not built for x86.
bool Sha256HasShaInstructions();

// Compresses blocks of 64 bytes into state with the SHA instructions. Only to be called when
// Sha256HasShaInstructions() says so.
void Sha256CompressShaInstructions(uint32_t state[8], const uint8_t* data, uint32_t blocks);

#ifdef KY_TEST_HOOKS
// Only in the test variant: true makes every digest take the portable code, whatever the
// processor has, so that it stays tested on every machine.
void SetSha256PortableForTesting(bool portable);
#endif

}  // namespace detail
}  // namespace kysig
