# Shared part of the two MinGW-w64 toolchain files; KY_MINGW_TRIPLE is set by the caller.
# KY_MINGW_THREADS, set by the caller, picks GCC's thread model. The 32-bit build ships and must
# load on Windows XP: the win32 model keeps winpthreads out (it imports GetTickCount64, which XP
# lacks). The 64-bit build runs the tests, and GoogleTest needs std::mutex, which only the posix
# model of GCC 12 has; winpthreads is then linked statically (see KyBuild.cmake).
set(CMAKE_C_COMPILER ${KY_MINGW_TRIPLE}-gcc-${KY_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${KY_MINGW_TRIPLE}-g++-${KY_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${KY_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KY_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every Windows test program runs under Wine through this script.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../testing/wine/wine-run.sh)
