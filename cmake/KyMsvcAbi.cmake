# Programs and libraries of the host side (the loader host's library and test hosts) built as the
# platform's own compiler builds them: clang in its MSVC-compatible mode, linked with lld-link.
# There is no vendor runtime or SDK here, so they are freestanding: no C or C++ runtime, Windows
# declarations from mingw-w64's headers, system functions through import libraries made from the
# .def files in host/msvc_abi/, and whatever runtime pieces a program needs in its own sources.
#
#   ky_msvc_abi_binary(NAME name KIND DLL|EXE ENTRY symbol SOURCES ... [OUTPUT_NAME file]
#                      [SUBSYSTEM console|windows] [INCLUDES ...] [DEFINES ...]
#                      [RESOURCES file.rc ...] [SYSTEM_LIBS kernel32 ...] [LINK_FILES ...]
#                      [LINK_FLAGS ...] [DEPENDS ...])
# makes ${CMAKE_BINARY_DIR}/bin/file.dll or file.exe (file defaults to name) and a target "name"
# that builds it. An EXE is a console program unless SUBSYSTEM says windows. LINK_FILES: further
# archives or objects for the linker (generator expressions allowed), rebuilt into it when they
# change. LINK_FLAGS: further options for lld-link. RESOURCES: resource scripts, compiled by the
# build's resource compiler into .res files that lld-link links in.
#
#   ky_import_library(NAME name DEF file)
# makes an import library from a .def file (names exactly as written there) and an INTERFACE
# target "name" that links it.
if(NOT WIN32)
  return()
endif()

find_program(KY_MSVC_CLANG NAMES clang clang-14 REQUIRED)
find_program(KY_LLD_LINK NAMES lld-link lld-link-14 REQUIRED)
find_program(KY_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(KY_MSVC_TARGET i686-pc-windows-msvc)
  set(KY_MSVC_MACHINE x86)
  set(KY_DLLTOOL_MACHINE i386)
  # mingw-w64's headers pick the 32-bit declarations by this macro, which only their own
  # compiler defines.
  set(KY_MSVC_ARCH_FLAGS -D_X86_)
else()
  set(KY_MSVC_TARGET x86_64-pc-windows-msvc)
  set(KY_MSVC_MACHINE x64)
  set(KY_DLLTOOL_MACHINE i386:x86-64)
  set(KY_MSVC_ARCH_FLAGS)
endif()

set(KY_MSVC_FLAGS
  --target=${KY_MSVC_TARGET} ${KY_MSVC_ARCH_FLAGS}
  # mingw-w64's headers read __GNUC__ to enable the attributes their declarations need.
  -fgnuc-version=4.2.1 -fms-extensions
  -fno-exceptions -fno-rtti -fno-threadsafe-statics -mno-stack-arg-probe
  -nostdinc++ -isystem /usr/${KY_MINGW_TRIPLE}/include
  -O2 -std=c++17 -Wall -Wextra
  -DUNICODE -D_UNICODE -D_WIN32_WINNT=0x0600)
if(KY_WARNINGS_AS_ERRORS)
  list(APPEND KY_MSVC_FLAGS -Werror)
endif()

set(KY_MSVC_LIB_DIR ${CMAKE_BINARY_DIR}/msvc-abi)

# The names a caller built with GCC may import from fetchwell.dll, in the platform compiler's
# decoration of this build's architecture (host/fetchwell/imports/).
if(KY_MSVC_MACHINE STREQUAL x86)
  set(KY_FETCHWELL_IMPORTS_DEF ${CMAKE_SOURCE_DIR}/host/fetchwell/imports/fetchwell-x86.def)
else()
  set(KY_FETCHWELL_IMPORTS_DEF ${CMAKE_SOURCE_DIR}/host/fetchwell/imports/fetchwell-x64.def)
endif()

# Import libraries of the system DLLs, one per .def file. The files carry the 32-bit stdcall
# decorations ("HeapAlloc@12"); 64-bit Windows has one calling convention and no decoration.
function(ky_msvc_system_library name)
  set(def ${CMAKE_SOURCE_DIR}/host/msvc_abi/${name}.def)
  set(lib ${KY_MSVC_LIB_DIR}/${name}.lib)
  if(TARGET ky_msvc_sys_${name})
    return()
  endif()
  if(KY_MSVC_MACHINE STREQUAL x64)
    file(READ ${def} text)
    string(REGEX REPLACE "@[0-9]+" "" text "${text}")
    set(def_used ${KY_MSVC_LIB_DIR}/${name}.x64.def)
    file(WRITE ${def_used}.in "${text}")
    configure_file(${def_used}.in ${def_used} COPYONLY)
    set(kill)
  else()
    set(def_used ${def})
    # The import names lose the decoration: kernel32.dll exports "HeapAlloc".
    set(kill -k)
  endif()
  add_custom_command(OUTPUT ${lib}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KY_MSVC_LIB_DIR}
    COMMAND ${KY_LLVM_DLLTOOL} -m ${KY_DLLTOOL_MACHINE} ${kill} -d ${def_used} -l ${lib}
    DEPENDS ${def_used} ${def}
    VERBATIM)
  add_custom_target(ky_msvc_sys_${name} DEPENDS ${lib})
endfunction()

function(ky_msvc_abi_binary)
  cmake_parse_arguments(B "" "NAME;KIND;ENTRY;OUTPUT_NAME;SUBSYSTEM"
    "SOURCES;INCLUDES;DEFINES;RESOURCES;SYSTEM_LIBS;LINK_FILES;LINK_FLAGS;DEPENDS" ${ARGN})
  if(NOT B_SUBSYSTEM)
    set(B_SUBSYSTEM console)
  endif()
  set(objdir ${CMAKE_CURRENT_BINARY_DIR}/${B_NAME}.msvc)
  if(NOT B_OUTPUT_NAME)
    set(B_OUTPUT_NAME ${B_NAME})
  endif()
  set(flags ${KY_MSVC_FLAGS})
  foreach(dir ${B_INCLUDES})
    list(APPEND flags -I${dir})
  endforeach()
  foreach(def ${B_DEFINES})
    list(APPEND flags -D${def})
  endforeach()
  set(objects)
  foreach(source ${B_SOURCES})
    get_filename_component(source ${source} ABSOLUTE)
    get_filename_component(stem ${source} NAME_WE)
    set(object ${objdir}/${stem}.obj)
    add_custom_command(OUTPUT ${object}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${objdir}
      COMMAND ${KY_MSVC_CLANG} ${flags} -MD -MF ${object}.d -c ${source} -o ${object}
      DEPENDS ${source}
      DEPFILE ${object}.d
      COMMENT "Building ${stem}.obj of ${B_NAME} (MSVC interface)"
      VERBATIM)
    list(APPEND objects ${object})
  endforeach()
  foreach(script ${B_RESOURCES})
    get_filename_component(script ${script} ABSOLUTE)
    get_filename_component(stem ${script} NAME_WE)
    set(res ${objdir}/${stem}.res)
    add_custom_command(OUTPUT ${res}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${objdir}
      COMMAND ${CMAKE_RC_COMPILER} -O res ${script} -o ${res}
      DEPENDS ${script}
      COMMENT "Compiling ${stem}.res of ${B_NAME}"
      VERBATIM)
    list(APPEND objects ${res})
  endforeach()

  set(libs)
  set(lib_targets)
  foreach(name ${B_SYSTEM_LIBS})
    ky_msvc_system_library(${name})
    list(APPEND libs ${KY_MSVC_LIB_DIR}/${name}.lib)
    list(APPEND lib_targets ky_msvc_sys_${name})
  endforeach()

  if(B_KIND STREQUAL DLL)
    set(output ${CMAKE_BINARY_DIR}/bin/${B_OUTPUT_NAME}.dll)
    set(kind_flags /dll /implib:${objdir}/${B_OUTPUT_NAME}.lib)
  else()
    set(output ${CMAKE_BINARY_DIR}/bin/${B_OUTPUT_NAME}.exe)
    set(kind_flags /subsystem:${B_SUBSYSTEM})
  endif()
  add_custom_command(OUTPUT ${output}
    COMMAND ${KY_LLD_LINK} /nologo /nodefaultlib /machine:${KY_MSVC_MACHINE} ${kind_flags}
            /entry:${B_ENTRY} /dynamicbase /nxcompat /debug:symtab ${B_LINK_FLAGS} /out:${output} ${objects} ${B_LINK_FILES} ${libs}
    DEPENDS ${objects} ${B_LINK_FILES} ${libs}
    COMMENT "Linking ${B_NAME} (MSVC interface)"
    VERBATIM)
  add_custom_target(${B_NAME} ALL DEPENDS ${output})
  if(lib_targets OR B_DEPENDS)
    add_dependencies(${B_NAME} ${lib_targets} ${B_DEPENDS})
  endif()
  set_target_properties(${B_NAME} PROPERTIES KY_OUTPUT_FILE ${output})
endfunction()

function(ky_import_library)
  cmake_parse_arguments(I "" "NAME;DEF" "" ${ARGN})
  set(lib ${KY_MSVC_LIB_DIR}/lib${I_NAME}.a)
  get_filename_component(def ${I_DEF} ABSOLUTE)
  add_custom_command(OUTPUT ${lib}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KY_MSVC_LIB_DIR}
    COMMAND ${KY_LLVM_DLLTOOL} -m ${KY_DLLTOOL_MACHINE} -d ${def} -l ${lib}
    DEPENDS ${def}
    VERBATIM)
  add_custom_target(${I_NAME}_lib DEPENDS ${lib})
  add_library(${I_NAME} INTERFACE)
  add_dependencies(${I_NAME} ${I_NAME}_lib)
  target_link_libraries(${I_NAME} INTERFACE ${lib})
endfunction()
