# Cross build for 32-bit Windows: the shipped deliverables.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KY_MINGW_TRIPLE i686-w64-mingw32)
set(KY_MINGW_THREADS win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Code of the 32-bit files is called by code of other compilers (the loader host, the system's
# window and thread callbacks), which keep the stack 4-byte aligned only. GCC assumes 16 bytes
# unless told, and its vector code would then fault on a misaligned stack slot: every function
# that needs more alignment realigns its own frame.
set(CMAKE_C_FLAGS_INIT "-mincoming-stack-boundary=2")
set(CMAKE_CXX_FLAGS_INIT "-mincoming-stack-boundary=2")
