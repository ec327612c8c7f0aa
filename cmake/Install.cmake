# Where an installed tree keeps each part: the programs in bin/, the runner's
# picture part in the library directory (lib/<multiarch>/impactsim below
# /usr on Debian), found from the runner's own place so that the tree can be
# moved; the manual pages, compressed, in share/man/man1; the documentation
# in share/doc/impactsim (the Python package: python/CMakeLists.txt).
include(GNUInstallDirs)
set(IMPACTSIM_INSTALL_PART_DIR ${CMAKE_INSTALL_LIBDIR}/impactsim)
file(RELATIVE_PATH IMPACTSIM_PART_FROM_BIN ${CMAKE_INSTALL_FULL_BINDIR}
  ${CMAKE_INSTALL_FULL_LIBDIR}/impactsim)
set(IMPACTSIM_MAN_DIR ${CMAKE_BINARY_DIR}/man)
find_program(IMPACTSIM_GZIP gzip REQUIRED)
# The tools the build runs (the manual page's, the icons') are checked by
# the tests' runs of the same code; in a sanitizer build their exit is not
# held up by the leak check.
set(IMPACTSIM_BUILD_TOOL_ENV ASAN_OPTIONS=detect_leaks=0)

# impactsim_install_man_page(PAGE COMPONENT): installs ${IMPACTSIM_MAN_DIR}/PAGE
# (e.g. "halvorn.1", written by the build or at configure time) compressed
# as Debian keeps manual pages, without a time stamp in the compressed file.
function(impactsim_install_man_page page component)
  set(source ${IMPACTSIM_MAN_DIR}/${page})
  add_custom_command(OUTPUT ${source}.gz
    COMMAND ${IMPACTSIM_GZIP} -9nkf ${source}
    DEPENDS ${source} VERBATIM)
  add_custom_target(impactsim_man_${page} ALL DEPENDS ${source}.gz)
  install(FILES ${source}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endfunction()
