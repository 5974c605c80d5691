// Including this header makes a test program take the plain portable SHA-256 code when the
// variable KY_SHA256_PORTABLE is set, the code of processors without the SHA instructions (the
// vector schedule where SSSE3 is there) when KY_SHA256_NO_SHA_INSTRUCTIONS is set, and otherwise
// what the library chooses (the SHA instructions where the processor has them). CTest runs the
// digest programs each way. Linked to the library as it ships (no KY_TEST_HOOKS, the 32-bit run),
// a program takes what the library chooses, and either variable makes it fail rather than test
// another path than the one it asked for.
#pragma once

#include "sha256_internal.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

namespace kysig_test {

class Sha256Path : public ::testing::Environment {
public:
    void SetUp() override {
        const bool portable = IsSet("KY_SHA256_PORTABLE");
        const bool noShaInstructions = IsSet("KY_SHA256_NO_SHA_INSTRUCTIONS");
#ifdef KY_TEST_HOOKS
        using kysig::detail::Sha256Path;
        kysig::detail::SetSha256PathForTesting(portable            ? Sha256Path::kPortable
                                               : noShaInstructions ? Sha256Path::kNoShaInstructions
                                                                   : Sha256Path::kChosen);
        printf("SHA-256 on %s\n", kysig::detail::Sha256PathNameForTesting());
#else
        if (portable || noShaInstructions) {
            fprintf(stderr, "choosing the SHA-256 code needs the test variant of the library\n");
            exit(2);
        }
        printf("SHA-256 on the code the library chooses (%s)\n",
               kysig::detail::Sha256HasShaInstructions() ? "the SHA instructions"
                                                         : "no SHA instructions here");
#endif
    }

private:
    static bool IsSet(const char* name) {
        const char* value = getenv(name);
        return value != nullptr && *value != '\0';
    }
};

inline ::testing::Environment* const g_sha256Path =
    ::testing::AddGlobalTestEnvironment(new Sha256Path);

}  // namespace kysig_test
