// What the signature library needs from a runtime when it is linked into this program. The library
// and its check (ky_check_signature) are the shipped code, built by GCC; this program has neither
// GCC's runtime nor the platform compiler's. The library allocates only with the nothrow forms of
// new and delete and throws nothing, so the exception pieces below are never reached on any path
// of its own: they exist because GCC's unwind tables name them.
#include "gcc_support.h"

#include "runtime.h"

// GCC's names (the Itanium mangling, and on 32-bit Windows its leading underscore) given
// literally, since this compiler would decorate them its own way.
#if defined(_M_IX86)
#define GCC_NAME(x86, x64) __asm__(x86)
#else
#define GCC_NAME(x86, x64) __asm__(x64)
#endif

extern "C" {

// operator new(size_t, const std::nothrow_t&) and the sized operator delete(void*, size_t).
void* GccNewNothrow(size_t size, const void* tag)
    GCC_NAME("__ZnwjRKSt9nothrow_t", "_ZnwyRKSt9nothrow_t");
void* GccNewNothrow(size_t size, const void*) { return loader::HeapAllocate(size); }

void GccDeleteSized(void* p, size_t size) GCC_NAME("__ZdlPvj", "_ZdlPvy");
void GccDeleteSized(void* p, size_t) { loader::HeapRelease(p); }

// std::nothrow: only its address is used.
extern const char GccNothrow GCC_NAME("__ZSt7nothrow", "_ZSt7nothrow");
const char GccNothrow = 0;

#if defined(_M_IX86)
// The 32-bit library unwinds by its DWARF tables, which only a thrown exception reads.
int GccPersonality() __asm__("___gxx_personality_v0");
int GccPersonality() { return 0; }

// GCC's helpers for 64-bit division on 32-bit processors; this compiler's own code divides
// through ntdll's _aulldiv and _aullrem.
unsigned long long GccUDivMod(unsigned long long a, unsigned long long b,
                              unsigned long long* remainder) __asm__("___udivmoddi4");
unsigned long long GccUDivMod(unsigned long long a, unsigned long long b,
                              unsigned long long* remainder) {
    if (remainder != nullptr) *remainder = a % b;
    return a / b;
}
unsigned long long GccUMod(unsigned long long a, unsigned long long b) __asm__("___umoddi3");
unsigned long long GccUMod(unsigned long long a, unsigned long long b) { return a % b; }
unsigned long long GccUDiv(unsigned long long a, unsigned long long b) __asm__("___udivdi3");
unsigned long long GccUDiv(unsigned long long a, unsigned long long b) { return a / b; }
#else
// The 64-bit library's functions name this as their structured-exception handler: the system
// calls it for any exception (an access violation too) that passes through them. Without C++
// exceptions there is nothing to clean up, so the search goes on to the next frame.
EXCEPTION_DISPOSITION GccPersonality(PEXCEPTION_RECORD, void*, PCONTEXT,
                                     void*) __asm__("__gxx_personality_seh0");
EXCEPTION_DISPOSITION GccPersonality(PEXCEPTION_RECORD, void*, PCONTEXT, void*) {
    return ExceptionContinueSearch;
}
#endif

// Called only at the end of a cleanup during unwinding, which cannot start here.
void GccUnwindResume(void*) GCC_NAME("__Unwind_Resume", "_Unwind_Resume");
void GccUnwindResume(void*) {
    RaiseException(static_cast<DWORD>(STATUS_NONCONTINUABLE_EXCEPTION), EXCEPTION_NONCONTINUABLE, 0,
                   nullptr);
}

// int CheckFileSignature(const wchar_t* path, int* detail), install_helper/check_signature.h.
int GccCheckFileSignature(const wchar_t* path, int* detail)
    GCC_NAME("__Z18CheckFileSignaturePKwPi", "_Z18CheckFileSignaturePKwPi");

}  // extern "C"

namespace loader {

int CheckPluginSignature(const wchar_t* path) { return GccCheckFileSignature(path, nullptr); }

}  // namespace loader
