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

// For processors without the SHA instructions: the portable rounds with the message schedule in
// vector registers, where the processor has SSSE3 (with BMI2's rotates where it has them too).
enum class Sha256VectorLevel {
    kNone,
    kSsse3,
    kSsse3Bmi2
};
Sha256VectorLevel Sha256VectorScheduleLevel();

// Compress blocks like the portable code; only to be called when Sha256VectorScheduleLevel()
// reports at least their level.
void Sha256CompressVectorScheduleSsse3(uint32_t state[8], const uint8_t* data, uint32_t blocks);
void Sha256CompressVectorScheduleBmi2(uint32_t state[8], const uint8_t* data, uint32_t blocks);

#ifdef KY_TEST_HOOKS
// Only in the test variant: which code every digest takes, whatever the processor has, so that
// each path stays tested on every machine that can run it.
enum class Sha256Path {
    kChosen,             // what the library picks (the default)
    kNoShaInstructions,  // as on a processor without the SHA instructions
    kPortable,           // the plain portable code
};
void SetSha256PathForTesting(Sha256Path path);
// The same as SetSha256PathForTesting(portable ? kPortable : kChosen).
void SetSha256PortableForTesting(bool portable);
// The name of the code a digest takes now ("SHA instructions", "vector schedule, SSSE3 + BMI2",
// "vector schedule, SSSE3", "portable").
const char* Sha256PathNameForTesting();
#endif

}  // namespace detail
}  // namespace kysig
