# Shared part of the two MinGW-w64 toolchain files; KY_MINGW_TRIPLE is set by the caller.
# The POSIX thread model: GoogleTest needs std::mutex, which the win32 model of GCC 12 lacks.
# winpthreads is linked statically (see KyBuild.cmake), so nothing extra ships.
set(CMAKE_C_COMPILER ${KY_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KY_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KY_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KY_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every Windows test program runs under Wine through this script.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../testing/wine/wine-run.sh)
