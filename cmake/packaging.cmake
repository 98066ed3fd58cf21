# Installation layout and packages.
#   Linux:   cmake --install puts bin/uitrans and share/man/man1/uitrans.1 in
#            place; cpack makes a .deb.
#   Windows: cmake --install puts uitrans.exe and README.md side by side;
#            cpack makes a .zip.
include(GNUInstallDirs)

if(WIN32)
  # A flat folder: the program and its README, nothing else.
  set(CMAKE_INSTALL_BINDIR .)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
else()
  install(FILES ${PROJECT_SOURCE_DIR}/docs/uitrans.1
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(UITRANS_PACKAGE_CONTACT "uitrans maintainers <maintainers@uitrans.invalid>"
    CACHE STRING "Maintainer named in the packages")

set(CPACK_PACKAGE_NAME uitrans)
set(CPACK_PACKAGE_VENDOR "uitrans")
set(CPACK_PACKAGE_CONTACT "${UITRANS_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Replace menu and dialog texts in Windows executables")
set(CPACK_PACKAGE_DESCRIPTION
    "uitrans rewrites the menu and dialog resources of PE32 and PE32+ \
executables with the texts of a UTF-16 find/replace list, keeping the \
original as a .old backup.")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
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
  find_program(UITRANS_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(UITRANS_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
  endif()
endif()

include(CPack)
