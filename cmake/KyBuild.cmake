# Compiler and linker settings shared by every target of the three builds.

set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_C_STANDARD 11)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

# Every output in one folder per build, so that programs find their DLLs and fixtures beside them.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)

# Applied per target (ky_target_defaults) rather than per directory, so that third-party code
# built from source here (GoogleTest) keeps its own warning settings.
function(ky_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(KY_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(WIN32)
    target_compile_definitions(${target} PRIVATE UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE" OR type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "MODULE_LIBRARY")
      # Nothing but system libraries beside the files: the GCC runtime, the C++ library and
      # winpthreads go in statically. ASLR and DEP for every image.
      target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++
        -Wl,--dynamicbase -Wl,--nxcompat)
      if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        target_link_options(${target} PRIVATE -Wl,--high-entropy-va)
      endif()
    endif()
  endif()
endfunction()

# A shared library whose file name is exactly NAME.dll (no "lib" prefix), as Windows hosts expect.
function(ky_windows_dll_name target)
  set_target_properties(${target} PROPERTIES PREFIX "" IMPORT_PREFIX "")
endfunction()

# ky_add_resource_dll(target rcfile...): a resource-only DLL named target.dll, with no code and no
# entry point, so that nothing in it could run even when it is mapped as an ordinary library.
function(ky_add_resource_dll target)
  add_library(${target} MODULE ${ARGN})
  set_target_properties(${target} PROPERTIES LINKER_LANGUAGE C)
  target_link_options(${target} PRIVATE -nostdlib -Wl,--entry=0)
  ky_target_defaults(${target})
  ky_windows_dll_name(${target})
endfunction()

# Python 3 draws pictures at build time (the product's pictures, the pictures of the tests).
if(NOT KY_HOST_TOOLS_ONLY)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
endif()
