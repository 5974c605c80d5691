# The C test host of the plug-in (see plugin_host/plugin_host_test.c).
if(WIN32 AND NOT KY_HOST_TOOLS_ONLY)
  add_executable(plugin_host_test plugin_host/plugin_host_test.c)
  target_link_options(plugin_host_test PRIVATE -municode)
  target_link_libraries(plugin_host_test PRIVATE user32)
  ky_target_defaults(plugin_host_test)
  add_dependencies(plugin_host_test fetchwellGUI)
  file(GLOB plugin_host_data ${CMAKE_CURRENT_SOURCE_DIR}/plugin_host/data/*)
  file(COPY ${plugin_host_data} DESTINATION ${CMAKE_BINARY_DIR}/bin/plugin_host_data)
  if(KY_RUN_WINDOWS_TESTS)
    add_test(NAME plugin_host_test COMMAND plugin_host_test)
    set_tests_properties(plugin_host_test PROPERTIES
      TIMEOUT 120 FIXTURES_REQUIRED wine LABELS wine
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
      ENVIRONMENT "KY_BUILD_DIR=${CMAKE_BINARY_DIR}")
  endif()
endif()
