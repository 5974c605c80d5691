# Verification of the signature block: the entries, the built-in keys generated from the public
# key files, the table of crafted samples and the tests over it, the fuzz target and the
# benchmark. Included at the end of this folder's CMakeLists.txt.

# --- Built-in keys ------------------------------------------------------------------------------
set(KY_PUBLIC_KEY_FILES "" CACHE STRING
  "Public keys built into the library for a release build: PRIMARY.pem;LEGACY.pem[;LEGACY-SEED]. \
Empty: the development keys in keys/development")
set(ky_dev_keys ${CMAKE_SOURCE_DIR}/keys/development)
set(ky_primary_public ${ky_dev_keys}/primary-public.pem)
set(ky_legacy_public ${ky_dev_keys}/legacy-public.pem)
set(ky_legacy_seed ${ky_dev_keys}/legacy-length-seed.txt)
if(KY_PUBLIC_KEY_FILES)
  list(LENGTH KY_PUBLIC_KEY_FILES ky_key_count)
  if(ky_key_count LESS 2 OR ky_key_count GREATER 3)
    message(FATAL_ERROR "KY_PUBLIC_KEY_FILES names the primary and the legacy public key, and optionally the legacy length seed")
  endif()
  list(GET KY_PUBLIC_KEY_FILES 0 ky_primary_public)
  list(GET KY_PUBLIC_KEY_FILES 1 ky_legacy_public)
  if(ky_key_count EQUAL 3)
    list(GET KY_PUBLIC_KEY_FILES 2 ky_legacy_seed)
  endif()
endif()
set(KY_LEGACY_SEED_FILE ${ky_legacy_seed} CACHE INTERNAL "legacy length seed the built-in keys go with")
include(${CMAKE_CURRENT_LIST_DIR}/verify_keys.cmake)
set(ky_keys_dir ${CMAKE_BINARY_DIR}/generated/kysig)
ky_write_builtin_keys(${ky_keys_dir}/kysig_builtin_keys.h ${ky_primary_public} ${ky_legacy_public} ${ky_legacy_seed})
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${ky_primary_public} ${ky_legacy_public} ${ky_legacy_seed})

# --- The library --------------------------------------------------------------------------------
set(KYSIG_VERIFY_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/verify_io.cpp
    ${CMAKE_CURRENT_LIST_DIR}/verify_ranges.cpp
    ${CMAKE_CURRENT_LIST_DIR}/verify_block.cpp
    ${CMAKE_CURRENT_LIST_DIR}/verify_format.cpp
    ${CMAKE_CURRENT_LIST_DIR}/verify_policy.cpp)
target_sources(kysig PRIVATE ${KYSIG_VERIFY_SOURCES})
target_include_directories(kysig PRIVATE ${ky_keys_dir})

if(KY_HOST_TOOLS_ONLY)
  return()
endif()

# --- Samples ------------------------------------------------------------------------------------
# Made at build time by the signing tool (the native one, host-tools in the Windows builds) into
# bin/verify-samples, where the tests find them beside their own program, natively and under Wine.
set(KY_VERIFY_SAMPLES ${CMAKE_BINARY_DIR}/bin/verify-samples)
file(MAKE_DIRECTORY ${KY_VERIFY_SAMPLES})
set(ky_samples_src ${CMAKE_CURRENT_LIST_DIR}/tests/samples)
set(ky_s ${KY_VERIFY_SAMPLES})

# A non-executable payload longer than the quick check's 4096 bytes, and a short one.
string(REPEAT "The quick brown fox jumps over the lazy dog, 0123456789.\n" 200 ky_payload)
file(CONFIGURE OUTPUT ${ky_s}/payload.bin CONTENT "${ky_payload}")
file(CONFIGURE OUTPUT ${ky_s}/short.bin CONTENT "A short file, well under 4096 bytes: its quick digest covers all of its signed bytes.\n")
configure_file(${ky_samples_src}/script.vbs ${ky_s}/script.src.vbs COPYONLY)

# Tiny Windows programs of both image kinds, from the cross compilers the project installs.
find_program(KY_MINGW64_CC x86_64-w64-mingw32-gcc REQUIRED)
find_program(KY_MINGW32_CC i686-w64-mingw32-gcc REQUIRED)
find_program(KY_OSSLSIGNCODE osslsigncode REQUIRED)
foreach(kind 64 32)
  add_custom_command(OUTPUT ${ky_s}/pe${kind}.exe
    COMMAND ${KY_MINGW${kind}_CC} -O2 -s -o ${ky_s}/pe${kind}.exe ${ky_samples_src}/tiny.c
    DEPENDS ${ky_samples_src}/tiny.c
    COMMENT "Building the PE${kind} sample" VERBATIM)
endforeach()

set(ky_sample_outputs)
set(ky_primary_key ${KY_SIGNING_KEY})
set(ky_legacy_key ${KY_SIGNING_LEGACY_KEY})
# ky_sample(output input ARGS...): output = kysign sign ARGS input output
function(ky_sample output input)
  add_custom_command(OUTPUT ${ky_s}/${output}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${ky_s}/${output}
    COMMAND ${KY_SIGN_TOOL} sign ${ARGN} ${ky_s}/${input} ${ky_s}/${output}
    DEPENDS ${ky_s}/${input} ${KY_SIGN_TOOL_TARGET} ${KY_SIGN_TOOL} ${KY_SIGNING_KEY} ${KY_SIGNING_LEGACY_KEY}
    COMMENT "Making the verification sample ${output}" VERBATIM)
  set(ky_sample_outputs ${ky_sample_outputs} ${ky_s}/${output} PARENT_SCOPE)
endfunction()

set(P --selector P --key ${ky_primary_key})
set(D --selector D --key ${ky_legacy_key})
set(L --legacy --key ${ky_legacy_key} --seed-file ${KY_LEGACY_SEED_FILE})
ky_sample(payload.b payload.bin --form binary ${P})
ky_sample(payload.t payload.bin --form text ${P})
ky_sample(payload.d payload.bin --form binary ${D})
ky_sample(payload.td payload.bin --form text ${D})
ky_sample(payload.padded payload.bin --form binary ${P} --lead-in 4 --padding 6)
ky_sample(payload.two payload.b --form binary ${P} --allow-signed)
ky_sample(payload.legacy-b payload.bin --form binary ${L})
ky_sample(payload.legacy-t payload.bin --form text ${L})
ky_sample(short.b short.bin --form binary ${P})
ky_sample(script.vbs script.src.vbs --form text ${P})
ky_sample(pe64.b.exe pe64.exe --form binary ${P})
ky_sample(pe32.b.exe pe32.exe --form binary ${P})
ky_sample(pe64.d.exe pe64.exe --form binary ${D})
ky_sample(pe32.legacy-b.exe pe32.exe --form binary ${L})
ky_sample(pe64.legacy-b.exe pe64.exe --form binary ${L})

# Authenticode after the block: a self-signed certificate made here, never kept in the tree.
add_custom_command(OUTPUT ${ky_s}/pe64.authenticode.exe
  COMMAND ${KY_OPENSSL} req -x509 -newkey rsa:2048 -nodes -days 30 -subj /CN=Test-only-code-signing
          -keyout ${ky_s}/authenticode-key.pem -out ${ky_s}/authenticode-cert.pem
  COMMAND ${CMAKE_COMMAND} -E rm -f ${ky_s}/pe64.authenticode.exe
  COMMAND ${KY_OSSLSIGNCODE} sign -certs ${ky_s}/authenticode-cert.pem -key ${ky_s}/authenticode-key.pem
          -n "Verification sample" -in ${ky_s}/pe64.b.exe -out ${ky_s}/pe64.authenticode.exe
  DEPENDS ${ky_s}/pe64.b.exe
  COMMENT "Authenticode-signing the PE64 sample" VERBATIM)
list(APPEND ky_sample_outputs ${ky_s}/pe64.authenticode.exe)
add_custom_target(kysig_verify_samples DEPENDS ${ky_sample_outputs})

# --- Tests --------------------------------------------------------------------------------------
ky_add_test(NAME kysig_verify_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/verify_test.cpp
  LIBS kysig
  DEPENDS kysig_verify_samples)
target_include_directories(kysig_verify_test PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${ky_keys_dir})

if(WIN32)
  return()
endif()

# --- Fuzzing (native, clang) --------------------------------------------------------------------
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_executable(kysig_verify_fuzz ${CMAKE_CURRENT_LIST_DIR}/fuzz/verify_fuzz.cpp
                 ${KYSIG_ARITHMETIC_SOURCES} ${KYSIG_VERIFY_SOURCES})
  ky_target_defaults(kysig_verify_fuzz)
  target_include_directories(kysig_verify_fuzz PRIVATE ${CMAKE_CURRENT_LIST_DIR}/include
                             ${CMAKE_CURRENT_LIST_DIR} ${ky_keys_dir})
  set(ky_verify_fuzz_flags -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
      -fno-omit-frame-pointer -g)
  target_compile_options(kysig_verify_fuzz PRIVATE ${ky_verify_fuzz_flags} -O1)
  target_link_options(kysig_verify_fuzz PRIVATE ${ky_verify_fuzz_flags})
  add_dependencies(kysig_verify_fuzz kysig_verify_samples)

  # Seeded with a signed sample of every form; the corpus grows in the build folder.
  set(ky_vfuzz ${CMAKE_BINARY_DIR}/fuzz/kysig_verify)
  file(MAKE_DIRECTORY ${ky_vfuzz}/corpus ${ky_vfuzz}/artifacts)
  add_test(NAME kysig_verify_fuzz
    COMMAND kysig_verify_fuzz -max_total_time=30 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
            -artifact_prefix=${ky_vfuzz}/artifacts/ ${ky_vfuzz}/corpus ${KY_VERIFY_SAMPLES})
  set_tests_properties(kysig_verify_fuzz PROPERTIES
    TIMEOUT 90
    ENVIRONMENT "ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1;UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1")
endif()

# --- Benchmark (native) -------------------------------------------------------------------------
add_executable(kysig_verify_bench ${CMAKE_CURRENT_LIST_DIR}/bench/verify_bench.cpp)
ky_target_defaults(kysig_verify_bench)
target_link_libraries(kysig_verify_bench PRIVATE kysign_core)
target_compile_definitions(kysig_verify_bench PRIVATE
  KY_BENCH_KEY="${ky_primary_key}")
add_test(NAME kysig_verify_bench COMMAND kysig_verify_bench ${CMAKE_BINARY_DIR}/bench)
set_tests_properties(kysig_verify_bench PROPERTIES LABELS bench TIMEOUT 120)
