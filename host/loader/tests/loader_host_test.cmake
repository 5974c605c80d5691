# loader_host_test with its two download servers; used by host/loader/tests and by the 32-bit
# GoogleTest build (testing/gtest32), which runs it on the win32 build's files.
function(ky_add_loader_host_test)
  math(EXPR fast_port "${KY_TEST_PORT_BASE} + 10")
  math(EXPR slow_port "${KY_TEST_PORT_BASE} + 11")
  ky_add_download_server_fixture(NAME loader_fast PORT ${fast_port} SIZE 0.25 RATE 4096)
  ky_add_download_server_fixture(NAME loader_slow PORT ${slow_port} SIZE 0.5 RATE 64)
  ky_add_test(NAME loader_host_test
    SOURCES ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/loader_host_test.cpp
    LIBS shell32
    NAMED_OBJECTS GUI TIMEOUT 600)
  target_compile_definitions(loader_host_test PRIVATE
    KY_DOWNLOAD_PORT=${fast_port} KY_DOWNLOAD_SLOW_PORT=${slow_port})
  set_property(TEST loader_host_test APPEND PROPERTY FIXTURES_REQUIRED
    download_server_loader_fast download_server_loader_slow)
endfunction()
