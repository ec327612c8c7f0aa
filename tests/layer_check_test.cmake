# Feeds layer_check.cmake small source trees: one whose layers point one way,
# which it must pass, and for each rule that tree plus one file that breaks
# it, which it must fail, naming that file with the rule's message and none
# of the good files.
# Usage: cmake -DLAYER_CHECK=.../layer_check.cmake -DWORK_DIR=... -P layer_check_test.cmake
cmake_minimum_required(VERSION 3.25)

# The tree that passes: (file, content).
set(good_files "")
function(good file content)
  set(good_files ${good_files} ${file} PARENT_SCOPE)
  set(good_${file} "${content}" PARENT_SCOPE)
endfunction()
good(model/grid.h [=[
#pragma once
#include <queue>
#include <vector>
#include "model/random_source.h"]=])
good(model/random_source.h [=[#include <cstdint>]=])
good(impact/ring_impact.h [=[#  include "model/grid.h"]=])
good(sweep/sweep_plan.h [=[#include "impact/ring_impact.h"]=])
good(cli/run_command.cpp [=[
#include "cli/run_command.h"
#include <CLI/CLI.hpp>
#include <sys/stat.h>
#include "sweep/sweep_plan.h"]=])
good(ui/main_window.cpp [=[
#include "ui/main_window.h"
#include <QString>
#include <QtWidgets/QWidget>
#include "sweep/sweep_plan.h"
#include "main_window.moc"]=])
good(apps/halvorn/main.cpp [=[
#include <QApplication>
#include "cli/run_command.h"
#include "ui/main_window.h"]=])
good(tests/CMakeLists.txt [=[add_executable(grid_test grid_test.cpp)]=])
good(tests/grid_test.cpp [=[#include <QtCore/QString>]=])
good(store/table.h [=[#pragma once]=])

# Writes the good tree into ${dir}.
function(write_good_tree dir)
  file(REMOVE_RECURSE "${dir}")
  foreach(file ${good_files})
    file(WRITE "${dir}/${file}" "${good_${file}}\n")
  endforeach()
endfunction()

function(run_check dir)
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${dir} -P ${LAYER_CHECK}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  set(result "${result}" PARENT_SCOPE)
  set(output "${output}" PARENT_SCOPE)
endfunction()

set(failures "")
set(cases 0)
# One file that breaks a rule: (file, content, the message it must bring).
function(bad file content expected)
  math(EXPR case "${cases} + 1")
  set(cases ${case} PARENT_SCOPE)
  set(dir "${WORK_DIR}/${case}")
  write_good_tree("${dir}")
  file(WRITE "${dir}/${file}" "${content}\n")
  run_check("${dir}")
  if(result EQUAL 0)
    string(APPEND failures "${file} passed; expected: ${expected}\n")
  else()
    string(FIND "${output}" "  ${expected}\n" at)
    if(at EQUAL -1)
      string(APPEND failures "${file}: expected \"${expected}\", got:\n${output}\n")
    endif()
    foreach(good ${good_files})
      string(FIND "${output}" "  ${good}:" at)
      if(NOT at EQUAL -1)
        string(APPEND failures "${file}: the good ${good} was named as well:\n${output}\n")
      endif()
    endforeach()
  endif()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

bad(model/above.h [=[#include "impact/ring_impact.h"]=]
  [=[model/above.h: includes "impact/ring_impact.h" from a layer not below model/]=])
bad(cli/beside.cpp [=[#include "ui/main_window.h"]=]
  [=[cli/beside.cpp: includes "ui/main_window.h" from a layer not below cli/]=])
bad(impact/bare.cpp [=[#include "ring_impact.h"]=]
  [=[impact/bare.cpp: "ring_impact.h" does not name its folder]=])
bad(programs/vendor.cpp [=[#include "vendor/table.h"]=]
  [=[programs/vendor.cpp: "vendor/table.h" is not in a layer of the product]=])
bad(model/angled.h [=[#include <cli/run_command.h>]=]
  [=[model/angled.h: includes the project's <cli/run_command.h> in angle brackets, not in quotes]=])
bad(impact/own_angled.cpp [=[#include <impact/ring_impact.h>]=]
  [=[impact/own_angled.cpp: includes the project's <impact/ring_impact.h> in angle brackets, not in quotes]=])
bad(sweep/stored.cpp [=[#include <store/table.h>]=]
  [=[sweep/stored.cpp: includes the project's <store/table.h> in angle brackets, not in quotes]=])
bad(model/qt_path.h [=[#include <QtCore/qstring.h>]=]
  [=[model/qt_path.h: includes <QtCore/qstring.h>, but model/ is Qt-free]=])
bad(sweep/qt_class.cpp [=[#include <QString>]=]
  [=[sweep/qt_class.cpp: includes <QString>, but sweep/ is Qt-free]=])
bad(python/qt_module.cpp [=[  #  include <QtGui>]=]
  [=[python/qt_module.cpp: includes <QtGui>, but python/ is Qt-free]=])
bad(picture/qt_text.cpp [=[#include <QFont>]=]
  [=[picture/qt_text.cpp: includes <QFont>, but picture/ is Qt-free]=])
bad(store/CMakeLists.txt [=[add_library(impactsim_store table.cpp)]=]
  [=[store/ is built but has no row in the layer table of tests/layer_check.cmake]=])

set(dir "${WORK_DIR}/good")
write_good_tree("${dir}")
run_check("${dir}")
if(NOT result EQUAL 0)
  string(APPEND failures "the good tree failed:\n${output}\n")
endif()

if(failures)
  message(FATAL_ERROR "layer_check let through or misreported:\n${failures}")
endif()
message(STATUS "layer_check: ${cases} broken trees failed with their file named; the good tree passed")
