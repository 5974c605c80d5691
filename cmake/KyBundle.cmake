# The shipped bundle: exactly the files that ship, each signed, and nothing of the stand-ins or the
# tests. The 32-bit builds (win32 with the development keys, win32-release with the release's own)
# make it as part of their default build, target "bundle":
#   build/<preset>/bundle/fetchwell-client/   the files and MANIFEST.sha256
#   build/<preset>/fetchwell-client.zip        that folder as a zip archive
# The win32 build's tests check it (tools/tests/bundle_test.sh, and the objdump checks of each of
# its programs and libraries on the bundle's copy).
if(NOT WIN32 OR NOT CMAKE_SIZEOF_VOID_P EQUAL 4 OR KY_HOST_TOOLS_ONLY)
  return()
endif()

set(KY_BUNDLE_DIR ${CMAKE_BINARY_DIR}/bundle/fetchwell-client)
set(KY_BUNDLE_ARCHIVE ${CMAKE_BINARY_DIR}/fetchwell-client.zip)

# The plug-in: a release signs it where it is linked; a development build leaves bin/fetchwellGUI.dll
# unsigned (its tests sign copies of their own), so the bundle takes a copy signed here.
if(KY_RELEASE)
  set(ky_bundle_plugin $<TARGET_FILE:fetchwellGUI>)
else()
  set(ky_bundle_plugin ${CMAKE_BINARY_DIR}/bundle/signed/fetchwellGUI.dll)
  ky_sign_file(${ky_bundle_plugin} $<TARGET_FILE:fetchwellGUI>)
endif()

# The programs and libraries (objdump-checked), then the other files.
set(ky_bundle_pe_targets brisco-install briscoinstallrc rcimage fetchwellgui_lang_en fetchwellgui_lang_de
    fetchwellgui_lang_fr fetchwellgui_lang_ru fetchwellgui_lang_he)
set(ky_bundle_files ${ky_bundle_plugin})
foreach(target ${ky_bundle_pe_targets})
  list(APPEND ky_bundle_files $<TARGET_FILE:${target}>)
endforeach()
list(APPEND ky_bundle_files ${CMAKE_BINARY_DIR}/bin/brisco.ico ${CMAKE_BINARY_DIR}/bin/brisco_uninstall.ico
     ${CMAKE_BINARY_DIR}/bin/Uninstall.vbs)

set(ky_bundle_list ${CMAKE_BINARY_DIR}/bundle/files.txt)
file(GENERATE OUTPUT ${ky_bundle_list} CONTENT "$<JOIN:${ky_bundle_files},\n>\n")
add_custom_command(OUTPUT ${KY_BUNDLE_DIR}/MANIFEST.sha256 ${KY_BUNDLE_ARCHIVE}
  COMMAND ${CMAKE_COMMAND} -DLIST=${ky_bundle_list} -DFOLDER=${KY_BUNDLE_DIR} -DARCHIVE=${KY_BUNDLE_ARCHIVE}
          -P ${CMAKE_SOURCE_DIR}/tools/bundle/collect.cmake
  DEPENDS ${ky_bundle_files} ${ky_bundle_list} ${CMAKE_SOURCE_DIR}/tools/bundle/collect.cmake
          fetchwellGUI ${ky_bundle_pe_targets} ky_shortcut_icons ky_uninstall_script
  COMMENT "The shipped bundle: ${KY_BUNDLE_DIR} and ${KY_BUNDLE_ARCHIVE}"
  VERBATIM)
add_custom_target(bundle ALL DEPENDS ${KY_BUNDLE_DIR}/MANIFEST.sha256 ${KY_BUNDLE_ARCHIVE})

if(NOT KY_BUILD_TESTS)
  return()
endif()

# The bundle as built (the tests build nothing): its files, manifest, signatures and archive.
add_test(NAME bundle.contents
  COMMAND ${CMAKE_SOURCE_DIR}/tools/tests/bundle_test.sh ${KY_BUNDLE_DIR} ${KY_BUNDLE_ARCHIVE}
          ${KY_SIGN_TOOL})
set_tests_properties(bundle.contents PROPERTIES TIMEOUT 60)
# Each program and library of the bundle passes the objdump checks of the file it was copied from.
foreach(pair fetchwellGUI:fetchwellGUI.dll brisco-install:brisco-install.exe
        briscoinstallrc:briscoinstallrc.dll rcimage:rcimage.dll
        fetchwellgui_lang_en:fetchwellGUI_en.dll fetchwellgui_lang_de:fetchwellGUI_de.dll
        fetchwellgui_lang_fr:fetchwellGUI_fr.dll fetchwellgui_lang_ru:fetchwellGUI_ru.dll
        fetchwellgui_lang_he:fetchwellGUI_he.dll)
  string(REPLACE ":" ";" pair "${pair}")
  list(GET pair 0 target)
  list(GET pair 1 name)
  get_property(args GLOBAL PROPERTY KY_PE_CHECK_ARGS_${target})
  if(NOT args)
    message(FATAL_ERROR "The bundle's ${name} has no objdump check (ky_add_pe_check TARGET ${target})")
  endif()
  ky_add_pe_check(NAME bundle.pe.${name} FILE ${KY_BUNDLE_DIR}/${name} ARGS ${args})
endforeach()
