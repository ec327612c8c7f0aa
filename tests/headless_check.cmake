# The runner is headless: it links no Qt, X, EGL or GL library, runs where
# its picture part is absent, and asked for a picture there, fails before the
# run with one line naming the missing file and leaves no file behind.
# Usage: cmake -DIMPACTSIM=<binary> -DWORK_DIR=<scratch dir> -P headless_check.cmake
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ldd "${IMPACTSIM}" RESULT_VARIABLE rc OUTPUT_VARIABLE libraries)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "ldd ${IMPACTSIM} failed:\n${libraries}")
endif()
string(REGEX MATCHALL "[^\n]*(Qt|libX|xcb|EGL|GL|fontconfig|freetype|harfbuzz|png)[^\n]*"
  gui "${libraries}")
if(gui)
  message(FATAL_ERROR "impactsim links GUI libraries:\n${gui}")
endif()

# A copy of the runner on its own, without the part beside it.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/alone")
file(COPY "${IMPACTSIM}" DESTINATION "${WORK_DIR}/alone")
get_filename_component(name "${IMPACTSIM}" NAME)
set(alone "${WORK_DIR}/alone/${name}")

execute_process(COMMAND "${alone}" run --seed 1 --rounds 1 --grid-out "${WORK_DIR}/g.txt"
  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT EXISTS "${WORK_DIR}/g.txt")
  message(FATAL_ERROR "a run without pictures needs no picture part; got ${rc}: ${err}")
endif()

execute_process(COMMAND "${alone}" run --seed 1 --rounds 1 --map-png "${WORK_DIR}/m.png"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(part "${WORK_DIR}/alone/impactsim-pictures.so")
if(NOT rc EQUAL 1 OR NOT out STREQUAL "" OR NOT err MATCHES "^impactsim: --map-png: [^\n]*\n$")
  message(FATAL_ERROR "without its part, --map-png must fail with status 1 and one line; "
                      "got ${rc}, stdout '${out}', stderr '${err}'")
endif()
string(FIND "${err}" "'${part}'" named)
if(named EQUAL -1)
  message(FATAL_ERROR "the error does not name the missing file ${part}: ${err}")
endif()
file(GLOB left "${WORK_DIR}/m.png*")
if(left)
  message(FATAL_ERROR "a failed picture run left files behind: ${left}")
endif()
