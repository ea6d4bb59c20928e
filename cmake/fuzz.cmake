# Fuzzing of the JSON reader, the URL parser and the package reader.
#
# The corpus regression test (tests/unit/fuzz_corpus_test.cpp) is part of
# unit_tests and runs in every native build. The libFuzzer targets need clang:
#   cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DQUILLAR_FUZZ=ON
#   cmake --build build/fuzz --target fuzz_json fuzz_url fuzz_package
# and tests/fuzz/README.md says how to run them.

if(TARGET unit_tests)
  target_compile_definitions(unit_tests PRIVATE
    QUILLAR_FUZZ_CORPUS="${CMAKE_SOURCE_DIR}/tests/fuzz/corpus"
    QUILLAR_TEST_FIXTURES="${CMAKE_SOURCE_DIR}/tests/fixtures")
endif()

option(QUILLAR_FUZZ "Build the libFuzzer targets fuzz_json, fuzz_url and fuzz_package (clang only)" OFF)
if(QUILLAR_FUZZ AND NOT WIN32)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "QUILLAR_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  set(_fuzz_flags -g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
  # The parsers are compiled into each target directly so that they carry the
  # fuzzer's coverage instrumentation.
  set(_fuzz_sources ${CMAKE_SOURCE_DIR}/base/utf8.cpp ${CMAKE_SOURCE_DIR}/net/json.cpp ${CMAKE_SOURCE_DIR}/net/url.cpp ${CMAKE_SOURCE_DIR}/net/form.cpp
    ${CMAKE_SOURCE_DIR}/setup/package.cpp)
  foreach(_name json url package)
    add_executable(fuzz_${_name} ${CMAKE_SOURCE_DIR}/tests/fuzz/${_name}_fuzz.cpp ${_fuzz_sources})
    target_include_directories(fuzz_${_name} PRIVATE ${CMAKE_SOURCE_DIR})
    target_compile_options(fuzz_${_name} PRIVATE ${_fuzz_flags} ${QUILLAR_WARNINGS})
    target_link_options(fuzz_${_name} PRIVATE ${_fuzz_flags})
  endforeach()
endif()
