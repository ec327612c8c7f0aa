# Fails unless the source folders form layers that point one way:
#   model <- impact <- programs <- sweep <- picture <- ui, cli, python, web <- apps
# A file includes the project's headers in quotes and by folder
# ("model/grid.h"), from its own folder or a layer below it, never from
# beside or above; and no layer but the windows' includes a Qt header.
# Usage: cmake -DSOURCE_DIR=... -P layer_check.cmake
cmake_minimum_required(VERSION 3.25)

# The layers, one row each: the folder, its rank (a file may include from a
# lower rank), and QT where the folder may include Qt. A new layer is one
# more row; without QT it is Qt-free.
set(layers "")
macro(layer folder rank)
  list(APPEND layers ${folder})
  set(rank_${folder} ${rank})
  set(qt_${folder} "${ARGN}")
endmacro()
layer(model 0)
layer(impact 1)
layer(programs 2)
layer(sweep 3)
layer(picture 4)
layer(ui 5 QT)
layer(cli 5)
layer(python 5)
layer(web 5)
layer(apps 6 QT)

# Folders with a CMakeLists.txt of their own that are not layers: they stand
# outside and may include from any layer.
set(outside_layers tests bench)

set(problems "")

# The project's folders: every top-level folder of the tree. An include in
# angle brackets that starts with one of them is a project header.
file(GLOB entries LIST_DIRECTORIES true RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*")
set(project_folders ${layers})
foreach(entry ${entries})
  if(IS_DIRECTORY "${SOURCE_DIR}/${entry}" AND entry MATCHES "^[a-z_]+$")
    list(APPEND project_folders ${entry})
    # A folder built as part of the product has a place in the table.
    if(EXISTS "${SOURCE_DIR}/${entry}/CMakeLists.txt" AND NOT entry IN_LIST layers
       AND NOT entry IN_LIST outside_layers)
      string(APPEND problems "  ${entry}/ is built but has no row in the layer table of "
        "tests/layer_check.cmake\n")
    endif()
  endif()
endforeach()
list(REMOVE_DUPLICATES project_folders)

# Checks that ${name}, in ${layer}/, may include the project header ${header}.
function(check_project_include header)
  if(NOT header MATCHES "^([a-z_]+)/")
    string(APPEND problems "  ${name}: \"${header}\" does not name its folder\n")
  else()
    set(folder "${CMAKE_MATCH_1}")
    if(NOT DEFINED rank_${folder})
      string(APPEND problems "  ${name}: \"${header}\" is not in a layer of the product\n")
    elseif(NOT folder STREQUAL layer AND NOT rank_${folder} LESS rank_${layer})
      string(APPEND problems "  ${name}: includes \"${header}\" from a layer not below ${layer}/\n")
    endif()
  endif()
  set(problems "${problems}" PARENT_SCOPE)
endfunction()

foreach(layer ${layers})
  file(GLOB_RECURSE files "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp")
  foreach(file ${files})
    file(RELATIVE_PATH name "${SOURCE_DIR}" "${file}")
    file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
    foreach(line ${includes})
      if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
        set(header "${CMAKE_MATCH_1}")
        if(NOT header MATCHES "\\.moc$")
          check_project_include("${header}")
        endif()
      elseif(line MATCHES "#[ \t]*include[ \t]*<([^>]+)>")
        set(header "${CMAKE_MATCH_1}")
        if(header MATCHES "^([^/]+)/" AND CMAKE_MATCH_1 IN_LIST project_folders)
          string(APPEND problems
            "  ${name}: includes the project's <${header}> in angle brackets, not in quotes\n")
          check_project_include("${header}")
        elseif(header MATCHES "^Q" AND NOT qt_${layer})
          # <QString>, <QtCore>, <QtCore/qstring.h>, <QtWidgets/QWidget>, ...
          string(APPEND problems "  ${name}: includes <${header}>, but ${layer}/ is Qt-free\n")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()
if(problems)
  message(FATAL_ERROR "Layer violations:\n${problems}")
endif()
