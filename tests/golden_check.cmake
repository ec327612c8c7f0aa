# Checks of the impactsim binary as a user runs it, in three modes.
#
#   cmake -DIMPACTSIM=<binary> -DWORK_DIR=<scratch dir> -DMODE=<mode>
#         [-DNAME=<case> -DGOLDEN_DIR=<dir>] [-DARGS="<run options>"] -P golden_check.cmake
#
# compare  runs "impactsim run ARGS" with a census file and a grid file and
#          compares stdout, census and grid byte for byte with
#          GOLDEN_DIR/NAME.{log,csv,grid}; stderr must be the seed line alone.
# update   the same run, writing its outputs as the new GOLDEN_DIR/NAME.*
#          files. Only for a change of results that is meant and understood.
# repeat   runs without --seed, reads the seed from stderr, runs again with
#          --seed and requires identical stdout, census and grid.
# restart  the compare run, also writing its start population (--start-out),
#          then the same run from that file with its strengths (--start FILE
#          --strengths file), whose outputs must match the same golden files.
# reject   requires exit status 2, empty stdout and one "impactsim: " line on
#          stderr, and that no file appears in the scratch directory.

cmake_minimum_required(VERSION 3.25)

foreach(var IMPACTSIM WORK_DIR MODE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "golden_check: ${var} is not set")
  endif()
endforeach()
separate_arguments(run_args UNIX_COMMAND "${ARGS}")
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

# Runs the binary with the given arguments; sets <prefix>_rc, _out, _err.
function(run_impactsim prefix)
  execute_process(COMMAND "${IMPACTSIM}" ${ARGN}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(${prefix}_rc "${rc}" PARENT_SCOPE)
  set(${prefix}_out "${out}" PARENT_SCOPE)
  set(${prefix}_err "${err}" PARENT_SCOPE)
endfunction()

# A run with both output files under WORK_DIR/<tag>.*; fails unless it succeeds
# with nothing but the seed line on stderr.
function(run_with_outputs tag)
  set(base "${WORK_DIR}/${tag}")
  run_impactsim(r run ${ARGN} --census-csv "${base}.csv" --grid-out "${base}.grid")
  if(NOT r_rc EQUAL 0)
    message(FATAL_ERROR "impactsim run ${ARGN}: exit status ${r_rc}\n${r_err}")
  endif()
  if(NOT r_err MATCHES "^seed: [0-9]+\n$")
    message(FATAL_ERROR "impactsim run ${ARGN}: unexpected stderr:\n${r_err}")
  endif()
  file(WRITE "${base}.log" "${r_out}")
  string(REGEX REPLACE "^seed: ([0-9]+)\n$" "\\1" seed "${r_err}")
  set(${tag}_seed "${seed}" PARENT_SCOPE)
endfunction()

function(require_same expected actual)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${expected}" "${actual}"
    RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "${actual} differs from ${expected}")
  endif()
endfunction()

if(MODE STREQUAL "compare" OR MODE STREQUAL "update")
  run_with_outputs(${NAME} ${run_args})
  foreach(ext log csv grid)
    if(MODE STREQUAL "update")
      file(COPY_FILE "${WORK_DIR}/${NAME}.${ext}" "${GOLDEN_DIR}/${NAME}.${ext}")
    else()
      require_same("${GOLDEN_DIR}/${NAME}.${ext}" "${WORK_DIR}/${NAME}.${ext}")
    endif()
  endforeach()
elseif(MODE STREQUAL "restart")
  run_with_outputs(${NAME} ${run_args} --start-out "${WORK_DIR}/start.txt")
  run_with_outputs(again ${run_args} --start "${WORK_DIR}/start.txt" --strengths file)
  foreach(ext log csv grid)
    require_same("${GOLDEN_DIR}/${NAME}.${ext}" "${WORK_DIR}/${NAME}.${ext}")
    require_same("${GOLDEN_DIR}/${NAME}.${ext}" "${WORK_DIR}/again.${ext}")
  endforeach()
elseif(MODE STREQUAL "repeat")
  run_with_outputs(first ${run_args})
  run_with_outputs(again ${run_args} --seed ${first_seed})
  if(NOT again_seed STREQUAL first_seed)
    message(FATAL_ERROR "--seed ${first_seed} reported seed ${again_seed}")
  endif()
  foreach(ext log csv grid)
    require_same("${WORK_DIR}/first.${ext}" "${WORK_DIR}/again.${ext}")
  endforeach()
elseif(MODE STREQUAL "reject")
  run_impactsim(r ${run_args})
  if(NOT r_rc EQUAL 2 OR NOT r_out STREQUAL "" OR NOT r_err MATCHES "^impactsim: [^\n]+\n$")
    message(FATAL_ERROR "impactsim ${ARGS}: expected exit status 2, no output and one error "
                        "line; got ${r_rc}, stdout '${r_out}', stderr '${r_err}'")
  endif()
  file(GLOB left "${WORK_DIR}/*")
  if(left)
    message(FATAL_ERROR "impactsim ${ARGS}: left files behind: ${left}")
  endif()
else()
  message(FATAL_ERROR "golden_check: unknown MODE '${MODE}'")
endif()
