// Overwriting memory with zeros in a way that the compiler cannot drop as a dead store.
#pragma once

#include <stddef.h>

namespace kysig {

void SecureWipe(void* data, size_t length);

}  // namespace kysig
