#include <signature/wipe.h>

namespace kysig {

void SecureWipe(void* data, size_t length) {
    // Stores through a volatile pointer are observable behaviour, so they survive dead-store
    // elimination even when the memory is freed right afterwards.
    volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
    while (length--) {
        *p++ = 0;
    }
}

}  // namespace kysig
