# Test-only console programs that act inside the Wine session for the
# end-to-end tests and tools/perf.py. None of them ships.
if(WIN32)
  function(quillar_test_program target)
    cmake_parse_arguments(P "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${target} ${P_SOURCES})
    target_compile_definitions(${target} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
    target_compile_options(${target} PRIVATE ${QUILLAR_WARNINGS} -municode)
    target_link_options(${target} PRIVATE -municode -mconsole ${QUILLAR_STATIC_FLAGS})
    target_link_libraries(${target} PRIVATE ${P_LIBS})
  endfunction()

  # Windows, the registry, the clipboard and dialogs seen from inside Wine.
  quillar_test_program(quillar-testhelper
    SOURCES ${CMAKE_SOURCE_DIR}/tests/helper/testhelper_win.cpp
    LIBS user32 gdi32 advapi32)
  # Drives the HTTP client (tests/e2e/test_http.py).
  quillar_test_program(quillar-nettest
    SOURCES ${CMAKE_SOURCE_DIR}/tests/helper/nettest_win.cpp
            ${CMAKE_SOURCE_DIR}/net/http_win.cpp
            ${CMAKE_SOURCE_DIR}/base/win_util_win.cpp
    LIBS kovra_core winhttp)
  # Draws a fixed scene through the GPU renderer's drawing sink into an
  # offscreen bitmap (tests/e2e/test_gpu.py).
  quillar_test_program(quillar-gpuscene
    SOURCES ${CMAKE_SOURCE_DIR}/tests/helper/gpuscene_win.cpp
            ${CMAKE_SOURCE_DIR}/render/gpu_renderer_win.cpp
            ${CMAKE_SOURCE_DIR}/render/sprites_win.cpp
            ${CMAKE_SOURCE_DIR}/base/win_util_win.cpp
    LIBS kovra_core d3d11 dxgi d2d1 dwmapi windowscodecs ole32 uuid user32 gdi32)
  # Hands one fixed full-screen picture to a layered window at a steady rate:
  # the floor the overlay's cost is measured against (tools/perf.py).
  quillar_test_program(quillar-floor
    SOURCES ${CMAKE_SOURCE_DIR}/tests/helper/floor_win.cpp
    LIBS kovra_core user32 gdi32)
endif()
