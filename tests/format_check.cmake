# Fails if clang-format would change any C++ source of the project.
# Usage: cmake -DCLANG_FORMAT=... -DSOURCE_DIR=... -P format_check.cmake
set(dirs model impact programs apps cli ui tests bench)
set(files)
foreach(dir ${dirs})
  file(GLOB_RECURSE found "${SOURCE_DIR}/${dir}/*.h" "${SOURCE_DIR}/${dir}/*.cpp")
  list(APPEND files ${found})
endforeach()
execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror ${files}
  RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "clang-format would change these sources:\n${errors}")
endif()
