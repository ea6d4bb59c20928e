# Test-only console program that drives the HTTP client inside Wine for the
# end-to-end tests (tests/e2e/test_http.py). Include it in the WIN32 branch.
if(WIN32)
  add_executable(quillar-nettest
    ${CMAKE_SOURCE_DIR}/tests/helper/nettest_win.cpp
    ${CMAKE_SOURCE_DIR}/net/http_win.cpp
    ${CMAKE_SOURCE_DIR}/base/win_util_win.cpp)
  target_compile_definitions(quillar-nettest PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
  target_compile_options(quillar-nettest PRIVATE ${QUILLAR_WARNINGS} -municode)
  target_link_options(quillar-nettest PRIVATE -municode -mconsole ${QUILLAR_STATIC_FLAGS})
  target_link_libraries(quillar-nettest PRIVATE kovra_core winhttp)
endif()
