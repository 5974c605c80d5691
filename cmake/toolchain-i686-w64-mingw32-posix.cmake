# Cross build for 32-bit Windows with GCC's posix thread model: only for the 32-bit GoogleTest
# programs (testing/gtest32), which never ship. The shipped files keep the win32 model
# (toolchain-i686-w64-mingw32.cmake); GoogleTest needs std::mutex, which only the posix model has.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KY_MINGW_TRIPLE i686-w64-mingw32)
set(KY_MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
