# Cross build for 32-bit Windows: the shipped deliverables.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KY_MINGW_TRIPLE i686-w64-mingw32)
set(KY_MINGW_THREADS win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
