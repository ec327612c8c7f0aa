# The web edition's build (Emscripten) takes the header-only libraries it
# needs, Highway and CLI11, from the host's include folder: each through a
# link of its own in the build tree, so that no header of the host's C
# library comes along. Defines impactsim_host_headers, an interface library
# to link PRIVATE.
set(host_headers ${CMAKE_BINARY_DIR}/host-headers)
foreach(header hwy/highway.h CLI/CLI.hpp)
  string(REGEX REPLACE "/.*" "" folder "${header}")
  find_path(IMPACTSIM_HOST_${folder} ${header} PATHS /usr/include /usr/local/include
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT IMPACTSIM_HOST_${folder})
    message(FATAL_ERROR "The web build needs the host's ${header} (Debian: "
      "libhwy-dev, libcli11-dev)")
  endif()
  file(MAKE_DIRECTORY ${host_headers})
  file(CREATE_LINK ${IMPACTSIM_HOST_${folder}}/${folder} ${host_headers}/${folder} SYMBOLIC)
endforeach()
add_library(impactsim_host_headers INTERFACE)
target_include_directories(impactsim_host_headers SYSTEM INTERFACE ${host_headers})
