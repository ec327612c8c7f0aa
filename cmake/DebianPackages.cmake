# Debian packages made by CPack ("cpack -G DEB" in a build configured with
# -DCMAKE_INSTALL_PREFIX=/usr -DIMPACTSIM_DEBIAN_PACKAGES=ON), one per install
# component, split as Debian splits such software:
#   halvorn, kestane       the windows, with their menu entries and icons
#   impactsim              the headless runner, its manual page and the docs
#   impactsim-pictures     the runner's picture part (it alone needs Qt)
#   python3-impactsim      the Python module, for Debian's python3
# Each package's dependencies on shared libraries come from dpkg-shlibdeps;
# each gets the copyright file and changelog Debian wants in its doc folder.
option(IMPACTSIM_DEBIAN_PACKAGES "Install the files Debian packages need, and set up CPack for them" OFF)
if(NOT IMPACTSIM_DEBIAN_PACKAGES)
  return()
endif()

set(IMPACTSIM_PACKAGE_CONTACT "impactsim maintainers <maintainers@users.noreply.c-seed-64316907.example>"
  CACHE STRING "The Maintainer of the Debian packages")
set(components runner pictures halvorn kestane)
set(package_runner impactsim)
set(package_pictures impactsim-pictures)
set(package_halvorn halvorn)
set(package_kestane kestane)
if(TARGET impactsim_python)
  list(APPEND components python)
  set(package_python python3-impactsim)
endif()
if(NOT TARGET impactsim_picture_part)
  list(REMOVE_ITEM components pictures halvorn kestane)
endif()

# The date of the changelog: SOURCE_DATE_EPOCH where set, for a reproducible
# package.
string(TIMESTAMP DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
string(TIMESTAMP YEAR "%Y" UTC)
set(CONTACT ${IMPACTSIM_PACKAGE_CONTACT})
foreach(component ${components})
  set(PACKAGE ${package_${component}})
  set(dir ${CMAKE_BINARY_DIR}/debian/${PACKAGE})
  configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/copyright.in ${dir}/copyright @ONLY)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${dir}/changelog @ONLY)
  add_custom_command(OUTPUT ${dir}/changelog.gz
    COMMAND ${IMPACTSIM_GZIP} -9nkf ${dir}/changelog
    DEPENDS ${dir}/changelog VERBATIM)
  add_custom_target(impactsim_debian_${component} ALL DEPENDS ${dir}/changelog.gz)
  install(FILES ${dir}/copyright ${dir}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${PACKAGE} COMPONENT ${component})
  string(TOUPPER ${component} upper)
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${PACKAGE})
  set(CPACK_DEBIAN_${upper}_FILE_NAME DEB-DEFAULT)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_COMPONENTS_ALL ${components})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_PACKAGE_NAME impactsim)
set(CPACK_PACKAGE_VENDOR "the impactsim developers")
set(CPACK_PACKAGE_CONTACT ${IMPACTSIM_PACKAGE_CONTACT})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_COMPONENT_RUNNER_DESCRIPTION
  "social impact simulations without a window\nThe headless runner of the halvorn and kestane social-impact simulations:\nseeded, reproducible runs, sweeps of many runs and their verification.")
set(CPACK_DEBIAN_RUNNER_PACKAGE_RECOMMENDS impactsim-pictures)
set(CPACK_COMPONENT_PICTURES_DESCRIPTION
  "social impact simulations without a window - pictures\nThe part of the impactsim runner that draws a run's map and chart as PNG\nimages (--map-png, --chart-png), with the windows' drawing code.")
set(CPACK_DEBIAN_PICTURES_PACKAGE_DEPENDS "impactsim (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_HALVORN_DESCRIPTION
  "social impact simulation on a 40 x 40 grid\nA window running the 1990 model of social impact theory on a 40 x 40\ngrid with walls or wrap-round edges and ring-shaped neighbourhoods.")
set(CPACK_COMPONENT_KESTANE_DESCRIPTION
  "social impact simulation on a 20 x 20 torus\nA window running the 1994 model of social impact theory on a 20 x 20\ntorus on which everyone hears everyone.")
foreach(upper HALVORN KESTANE)
  set(CPACK_DEBIAN_${upper}_PACKAGE_RECOMMENDS "fonts-ipafont-gothic, fonts-liberation2")
  set(CPACK_DEBIAN_${upper}_PACKAGE_SECTION science)
endforeach()
set(CPACK_COMPONENT_PYTHON_DESCRIPTION
  "social impact simulations - Python module\nRuns, sweeps and their verification from Python, as pandas data frames,\nand figures with matplotlib.")
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
# The module is built for one minor version of python3 (its file name says
# which).
string(REPLACE "." ";" python_version "${IMPACTSIM_PYTHON_VERSION}")
list(GET python_version 0 python_major)
list(GET python_version 1 python_minor)
math(EXPR python_next "${python_minor} + 1")
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
  "python3 (>= ${python_major}.${python_minor}), python3 (<< ${python_major}.${python_next}), python3-numpy, python3-pandas")
set(CPACK_DEBIAN_PYTHON_PACKAGE_RECOMMENDS "python3-matplotlib")
include(CPack)
