# Cross build for 64-bit Windows: the same sources, run under wine64 by the tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KY_MINGW_TRIPLE x86_64-w64-mingw32)
set(KY_MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
