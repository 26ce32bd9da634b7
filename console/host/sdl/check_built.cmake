# A test of the game's build: fails, naming the reason, when the window
# program could not be built.  -DPROGRAM=path -DMISSING=note
if(EXISTS "${MISSING}")
  file(READ "${MISSING}" cause)
  string(STRIP "${cause}" cause)
  message(FATAL_ERROR "the window program was not built: ${cause}")
endif()
if(NOT EXISTS "${PROGRAM}")
  message(FATAL_ERROR "the window program ${PROGRAM} is missing: the build did not make it")
endif()
message(STATUS "the window program is there: ${PROGRAM}")
