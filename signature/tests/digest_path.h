// Including this header makes a test program take the portable SHA-256 code when the variable
// KY_SHA256_PORTABLE is set; otherwise it takes what the library chooses (the SHA instructions
// where the processor has them). CTest runs the digest programs both ways. Linked to the library
// as it ships (no KY_TEST_HOOKS, the 32-bit run), a program takes what the library chooses, and
// the variable makes it fail rather than test another path than the one it asked for.
#pragma once

#include "sha256_internal.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

namespace kysig_test {

class Sha256Path : public ::testing::Environment {
public:
    void SetUp() override {
        const char* portable = getenv("KY_SHA256_PORTABLE");
        const bool forced = portable != nullptr && *portable != '\0';
#ifdef KY_TEST_HOOKS
        kysig::detail::SetSha256PortableForTesting(forced);
#else
        if (forced) {
            fprintf(stderr, "KY_SHA256_PORTABLE needs the test variant of the library\n");
            exit(2);
        }
#endif
        printf("SHA-256 on %s\n", forced ? "the portable code"
                                  : kysig::detail::Sha256HasShaInstructions()
                                      ? "the SHA instructions"
                                      : "the portable code (no SHA instructions here)");
    }
};

inline ::testing::Environment* const g_sha256Path =
    ::testing::AddGlobalTestEnvironment(new Sha256Path);

}  // namespace kysig_test
