# Install rules and the Debian package of resq.
#
#   cmake --install build [--prefix DIR]   bin/resq (stripped), share/man/man1/resq.1[.gz],
#                                          share/bash-completion/completions/resq,
#                                          share/zsh/vendor-completions/_resq
#   cd build && cpack -G DEB               resq_VERSION_ARCH.deb from the same rules
include(GNUInstallDirs)

option(RESQ_INSTALL_STRIP "Strip the installed program (as cmake --install --strip does)" ON)
if(RESQ_INSTALL_STRIP)
  # The install script reads CMAKE_INSTALL_DO_STRIP when it installs the program; setting it just
  # before makes every install, the package's included, install the stripped binary.
  install(CODE "set(CMAKE_INSTALL_DO_STRIP TRUE)")
endif()
install(TARGETS resq RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Debian ships manual pages compressed; the page is installed as it is where gzip is missing.
set(resq_man_source ${PROJECT_SOURCE_DIR}/man/resq.1)
find_program(RESQ_GZIP gzip)
if(RESQ_GZIP)
  set(resq_man_page ${PROJECT_BINARY_DIR}/man/resq.1.gz)
  add_custom_command(
    OUTPUT ${resq_man_page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND ${RESQ_GZIP} -9nc ${resq_man_source} > ${resq_man_page}
    DEPENDS ${resq_man_source}
    COMMENT "Compressing the manual page"
    VERBATIM)
  add_custom_target(resq_man ALL DEPENDS ${resq_man_page})
  # Building resq alone (as the package build does) must leave everything install needs.
  add_dependencies(resq resq_man)
else()
  set(resq_man_page ${resq_man_source})
endif()
install(FILES ${resq_man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES ${PROJECT_SOURCE_DIR}/completions/resq.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME resq)
install(FILES ${PROJECT_SOURCE_DIR}/completions/_resq
  DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)

# The Debian package: cpack -G DEB in the build directory.
set(CPACK_PACKAGE_NAME resq)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "DNS lookup reporter")
if(NOT CPACK_DEBIAN_PACKAGE_MAINTAINER)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "resq maintainers <maintainers@users.noreply.c-seed-e61f105d.example>")
endif()
# The first line of the package's description is the summary above; this is its body.
set(CPACK_PACKAGE_DESCRIPTION "resq asks a DNS server one question at a time over UDP or TCP
and reports every record of the reply, with the status of each attempt, the
packet id, the server and the UTC date and time, as a padded table, as
separated values, as XML or as JSON Lines. It looks up one name or every
name of a list read from standard input.")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The program is linked statically: dpkg-shlibdeps finds no shared library to depend on.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
# OpenSSL and nghttp2 are linked in; the system's trust store is read at run time.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "ca-certificates")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
include(CPack)
