# SPDX-License-Identifier: MIT
# Installation layout and packages; both take the version from project().
#   Linux:   cmake --install puts bin/uitrans, share/man/man1/uitrans.1.gz and
#            share/doc/uitrans/{README.md,changelog.gz,copyright} in place;
#            cpack makes uitrans_VERSION_ARCH.deb, which lintian accepts.
#   Windows: cmake --install puts uitrans.exe, README.md, LICENSE and
#            CHANGELOG.md side by side; cpack makes uitrans-VERSION-win64.zip
#            (or -win32).
include(GNUInstallDirs)

set(UITRANS_PACKAGE_CONTACT "uitrans maintainers <maintainers@uitrans.invalid>"
    CACHE STRING "Maintainer named in the packages and the Debian changelog")

if(WIN32)
  # A flat folder: the program, its README, licence and changelog.
  set(CMAKE_INSTALL_BINDIR .)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
                ${PROJECT_SOURCE_DIR}/CHANGELOG.md
          DESTINATION .)
else()
  include(${CMAKE_CURRENT_LIST_DIR}/debian_docs.cmake)
endif()

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  # Resolve every symbol at start and keep the relocations read-only after
  # it, as Debian links its programs. _FORTIFY_SOURCE is not set: the
  # fault-injection build of the tests intercepts read() and open() at link
  # time, and checked variants of them would slip past it.
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()

set(CPACK_PACKAGE_NAME uitrans)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "uitrans")
set(CPACK_PACKAGE_CONTACT "${UITRANS_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Replace menu and dialog texts in Windows executables")
# Lines of the long description as the package shows them (at most 80
# columns); an empty line separates paragraphs.
set(CPACK_PACKAGE_DESCRIPTION
    "Translates the user interface of finished Windows programs without
rebuilding them: every menu and dialog resource of PE32 and PE32+
executables is rewritten with the texts of a UTF-16 find/replace list,
and the resource section is repacked and grown where the new texts need
more room.

The original of each translated program is kept as a .old backup, and
the new image is written to a temporary file first, so an interrupted
run never leaves a half-written program.")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Control files 0644 and directories 0755 whatever the umask of the build;
  # cpack writes every entry owned by root.
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/package_permissions.cmake)
  find_program(UITRANS_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(UITRANS_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
  endif()
endif()

include(CPack)
