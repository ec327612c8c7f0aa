# Fails if clang-format would change any C++ source of the project: every
# file under a top-level folder that is built (one with a CMakeLists.txt of
# its own: the layers, the tests and the benchmarks, and any folder added
# later). Without clang-format it fails too: the check cannot be made. Also
# fails on a merge's conflict markers left in any source, script or document.
# Usage: cmake -DCLANG_FORMAT=... -DSOURCE_DIR=... -P format_check.cmake
cmake_minimum_required(VERSION 3.25)
if(NOT CLANG_FORMAT OR NOT EXISTS "${CLANG_FORMAT}")
  message(FATAL_ERROR "clang-format was not found when the build was configured "
    "(CLANG_FORMAT=${CLANG_FORMAT}), so the sources' format cannot be checked: "
    "install clang-format and configure again")
endif()

file(GLOB entries LIST_DIRECTORIES true RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*")
set(dirs "")
set(files "")
foreach(dir ${entries})
  # A build tree inside the source tree is no source folder.
  if(EXISTS "${SOURCE_DIR}/${dir}/CMakeLists.txt" AND NOT EXISTS "${SOURCE_DIR}/${dir}/CMakeCache.txt")
    list(APPEND dirs ${dir})
    file(GLOB_RECURSE found "${SOURCE_DIR}/${dir}/*.h" "${SOURCE_DIR}/${dir}/*.cpp")
    list(APPEND files ${found})
  endif()
endforeach()
foreach(expected model impact programs sweep ui cli python apps tests bench)
  if(NOT expected IN_LIST dirs)
    message(FATAL_ERROR "no ${expected}/ with a CMakeLists.txt under ${SOURCE_DIR}")
  endif()
endforeach()

execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror ${files}
  RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "clang-format would change these sources:\n${errors}")
endif()
list(LENGTH files count)
list(JOIN dirs " " names)
message(STATUS "format_check: ${count} sources in ${names}, all as clang-format writes them")

# Conflict markers: in the sources above and in every text a user reads or
# the build runs (the README and other documents, scripts, CMake and Python).
file(GLOB_RECURSE texts "${SOURCE_DIR}/*.md" "${SOURCE_DIR}/*.txt" "${SOURCE_DIR}/*.cmake"
  "${SOURCE_DIR}/*.py" "${SOURCE_DIR}/*.sh" "${SOURCE_DIR}/scripts/*")
list(FILTER texts EXCLUDE REGEX "/build[^/]*/")
set(marked "")
foreach(file ${files} ${texts})
  file(STRINGS "${file}" markers REGEX "^(<<<<<<<|>>>>>>>) ")
  if(markers)
    list(APPEND marked "${file}")
  endif()
endforeach()
if(marked)
  list(JOIN marked "\n  " names)
  message(FATAL_ERROR "a merge's conflict markers are left in:\n  ${names}")
endif()
