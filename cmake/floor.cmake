# Test-only program that hands one fixed full-screen picture to a layered
# window at a steady rate: the floor the overlay's cost is measured against
# (tools/perf.py).
if(WIN32)
  add_executable(quillar-floor ${CMAKE_SOURCE_DIR}/tests/helper/floor_win.cpp)
  target_compile_definitions(quillar-floor PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
  target_compile_options(quillar-floor PRIVATE ${QUILLAR_WARNINGS} -municode)
  target_link_options(quillar-floor PRIVATE -municode -mconsole ${QUILLAR_STATIC_FLAGS})
  target_link_libraries(quillar-floor PRIVATE kovra_core user32 gdi32)
endif()
