# The C test host of the plug-in (see plugin_host/plugin_host_test.c).
if(WIN32 AND NOT KY_HOST_TOOLS_ONLY)
  add_executable(plugin_host_test plugin_host/plugin_host_test.c)
  target_link_options(plugin_host_test PRIVATE -municode)
  target_link_libraries(plugin_host_test PRIVATE user32)
  ky_target_defaults(plugin_host_test)
  # Language libraries for the host's control files: two signed, one not.
  foreach(code en de fr)
    ky_add_resource_dll(plugin_host_lang_${code} plugin_host/lang_${code}.rc)
  endforeach()
  set_target_properties(plugin_host_lang_fr PROPERTIES OUTPUT_NAME plugin_host_lang_fr_unsigned)
  ky_sign(plugin_host_lang_en)
  ky_sign(plugin_host_lang_de)
  add_dependencies(plugin_host_test fetchwellGUI fetchwell_library plugin_host_lang_en plugin_host_lang_de plugin_host_lang_fr
    rcimage)
  file(GLOB plugin_host_data CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/plugin_host/data/*)
  foreach(f ${plugin_host_data})
    get_filename_component(name ${f} NAME)
    configure_file(${f} ${CMAKE_BINARY_DIR}/bin/plugin_host_data/${name} COPYONLY)
  endforeach()
  # In both Windows builds: in the 32-bit one it drives the shipped fetchwellGUI.dll through its
  # thiscall slots as the host does.
  if(KY_WINE_RUNS)
    add_test(NAME plugin_host_test COMMAND plugin_host_test)
    set_tests_properties(plugin_host_test PROPERTIES
      TIMEOUT 120 FIXTURES_REQUIRED wine LABELS wine RESOURCE_LOCK display
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
      ENVIRONMENT "KY_BUILD_DIR=${CMAKE_BINARY_DIR}")
  endif()
endif()

# Whole runs of the C host: the language and welcome wizard (language_host_test) and the progress
# wizard (progress_host_test), real wizards driven by a thread that presses their buttons, the
# statistics actions read from the recording server (host_stats.h: each program lives in a folder
# of its own below bin/, whose loadercontrol.xml names products of the process's own, by which the
# program finds its requests). In both Windows builds: in the 32-bit one on the shipped
# fetchwellGUI.dll through its thiscall slots.
if(WIN32 AND NOT KY_HOST_TOOLS_ONLY)
  set(ky_host_stats_record)
  if(KY_STATS_URL MATCHES "^http://127\\.0\\.0\\.1:([0-9]+)$")
    set(ky_host_stats_record ${CMAKE_BINARY_DIR}/stats-server-answer.jsonl)
    # The 64-bit build has the recording server among the statistics tests' fixtures; the 32-bit
    # build, which runs none of those, starts it for these runs.
    if(KY_WINE_RUNS AND NOT KY_RUN_WINDOWS_TESTS)
      ky_add_stats_server_fixture(NAME answer PORT ${CMAKE_MATCH_1} MODE answer)
    endif()
  endif()
  foreach(run language progress)
    set(t ${run}_host_test)
    add_executable(${t} plugin_host/${t}.c)
    set_target_properties(${t} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/${run}_host)
    target_link_options(${t} PRIVATE -municode)
    target_link_libraries(${t} PRIVATE user32)
    ky_target_defaults(${t})
    add_dependencies(${t} plugin_host_test fetchwellGUI fetchwell_library rcimage fetchwellgui_lang_en
      fetchwellgui_lang_de fetchwellgui_lang_ru fetchwellgui_lang_he)
    if(KY_WINE_RUNS)
      add_test(NAME ${t} COMMAND ${t})
      set(fixtures wine)
      # The progress runs hold the cancel event's name.
      set(locks display)
      if(run STREQUAL "progress")
        list(APPEND locks named_objects)
      endif()
      set(environment "KY_BUILD_DIR=${CMAKE_BINARY_DIR}")
      if(ky_host_stats_record)
        list(APPEND fixtures stats_server_answer)
        list(APPEND environment "KY_STATS_RECORD=${ky_host_stats_record}")
      endif()
      set_tests_properties(${t} PROPERTIES
        TIMEOUT 300 FIXTURES_REQUIRED "${fixtures}" LABELS wine RESOURCE_LOCK "${locks}"
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
        ENVIRONMENT "${environment}")
    endif()
  endforeach()
endif()

# The C++ test host, built as the platform's compiler builds a loader host (see
# cmake/KyMsvcAbi.cmake): the plug-in used through ordinary virtual calls, ended once with
# FreeOutputPlugin and once with "delete plugin".
if(WIN32 AND NOT KY_HOST_TOOLS_ONLY)
  ky_msvc_abi_binary(NAME cpp_host KIND EXE ENTRY HostMain
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/cpp_host/cpp_host.cpp
    SYSTEM_LIBS kernel32 msvcrt
    DEPENDS fetchwellGUI fetchwell_library plugin_host_lang_en plugin_host_lang_de plugin_host_lang_fr)
  add_dependencies(cpp_host plugin_host_test)
  ky_add_pe_check(NAME cpp_host.pe FILE ${CMAKE_BINARY_DIR}/bin/cpp_host.exe ARGS
    --imports "kernel32.dll,msvcrt.dll" --subsystem "Windows CUI" --aslr-dep)
  if(KY_WINE_RUNS)
    foreach(ending free delete)
      add_test(NAME cpp_host.${ending}
        COMMAND ${CMAKE_SOURCE_DIR}/testing/wine/wine-run.sh ${CMAKE_BINARY_DIR}/bin/cpp_host.exe ${ending})
      set_tests_properties(cpp_host.${ending} PROPERTIES
        TIMEOUT 120 FIXTURES_REQUIRED wine LABELS wine
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
        PASS_REGULAR_EXPRESSION " 0 failed"
        ENVIRONMENT "KY_BUILD_DIR=${CMAKE_BINARY_DIR}")
    endforeach()
  endif()
endif()

# Misuse and soak runs of the C host: every slot in every state, null and long texts, the object
# freed while its progress wizard shows (misuse_host_test); ten whole runs in one process with the
# process's handle, GDI and USER counts held to the first run's (soak_host_test). Both Windows
# builds; a watchdog inside the misuse host fails a call that hangs.
if(WIN32 AND NOT KY_HOST_TOOLS_ONLY)
  foreach(name misuse_host_test soak_host_test)
    add_executable(${name} plugin_host/${name}.c)
    target_link_options(${name} PRIVATE -municode)
    target_link_libraries(${name} PRIVATE user32 gdi32 psapi)
    ky_target_defaults(${name})
    add_dependencies(${name} plugin_host_test fetchwellGUI fetchwell_library rcimage
      fetchwellgui_lang_en)
    if(KY_WINE_RUNS)
      add_test(NAME ${name} COMMAND ${name})
      set_tests_properties(${name} PROPERTIES
        TIMEOUT 300 FIXTURES_REQUIRED wine LABELS wine RESOURCE_LOCK display
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
        ENVIRONMENT "KY_BUILD_DIR=${CMAKE_BINARY_DIR}")
    endif()
  endforeach()
endif()

# Benchmarks of the C host (notifications per second, StartProgress's time, what the process holds
# after many notifications): built with everything, run only by tools/gui-bench.sh, never by ctest.
if(WIN32 AND NOT KY_HOST_TOOLS_ONLY)
  add_executable(gui_bench plugin_host/gui_bench.c)
  target_link_options(gui_bench PRIVATE -municode)
  target_link_libraries(gui_bench PRIVATE user32 gdi32 psapi)
  ky_target_defaults(gui_bench)
  add_dependencies(gui_bench plugin_host_test fetchwellGUI fetchwell_library rcimage
    fetchwellgui_lang_en)
endif()
