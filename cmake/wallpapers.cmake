# Makes the installed wallpapers folder (themes.json, thumbs\, times\) beside
# quillar.exe with the artwork tool, when the tree has it. Run by the
# "wallpapers" target: cmake -DSOURCE=<tree> -DOUT=<folder> -P wallpapers.cmake
set(_tool ${SOURCE}/tools/themes.py)
if(NOT EXISTS ${_tool})
  return()
endif()
# The tool is the one input known here: a folder made after its last change is kept.
if(EXISTS ${OUT}/themes.json AND NOT ${_tool} IS_NEWER_THAN ${OUT}/themes.json)
  return()
endif()
find_program(_python python3 REQUIRED)
execute_process(COMMAND ${_python} ${_tool} installed ${OUT} WORKING_DIRECTORY ${SOURCE} RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "tools/themes.py installed ${OUT} failed (${_rc})")
endif()
