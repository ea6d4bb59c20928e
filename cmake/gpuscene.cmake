# Test-only console program that draws a fixed scene through the GPU
# renderer's drawing sink into an offscreen bitmap (tests/e2e/test_gpu.py).
if(WIN32)
  add_executable(quillar-gpuscene
    ${CMAKE_SOURCE_DIR}/tests/helper/gpuscene_win.cpp
    ${CMAKE_SOURCE_DIR}/render/gpu_renderer_win.cpp
    ${CMAKE_SOURCE_DIR}/render/sprites_win.cpp
    ${CMAKE_SOURCE_DIR}/base/win_util_win.cpp)
  target_compile_definitions(quillar-gpuscene PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
  target_compile_options(quillar-gpuscene PRIVATE ${QUILLAR_WARNINGS} -municode)
  target_link_options(quillar-gpuscene PRIVATE -municode -mconsole ${QUILLAR_STATIC_FLAGS})
  target_link_libraries(quillar-gpuscene PRIVATE kovra_core d3d11 dxgi d2d1 dwmapi windowscodecs ole32 uuid user32 gdi32)
endif()
