# SPDX-License-Identifier: MIT
# The documentation a Debian package carries: the manual page and the
# changelog compressed with gzip -9n, and a machine-readable copyright file
# (share/doc/uitrans/copyright) holding the licence. All of it is generated
# in the build tree from docs/uitrans.1, CHANGELOG.md and LICENSE.
find_program(UITRANS_GZIP gzip REQUIRED)
set(UITRANS_DOCS_DIR ${PROJECT_BINARY_DIR}/packaging)

# The manual page names the version of the build.
configure_file(${PROJECT_SOURCE_DIR}/docs/uitrans.1
               ${UITRANS_DOCS_DIR}/uitrans.1 @ONLY)

# Debian's changelog format, made from the released sections of CHANGELOG.md.
add_custom_command(
  OUTPUT ${UITRANS_DOCS_DIR}/changelog
  COMMAND ${CMAKE_COMMAND} -DINPUT=${PROJECT_SOURCE_DIR}/CHANGELOG.md
          -DOUTPUT=${UITRANS_DOCS_DIR}/changelog -DPACKAGE=${PROJECT_NAME}
          "-DMAINTAINER=${UITRANS_PACKAGE_CONTACT}"
          -P ${CMAKE_CURRENT_LIST_DIR}/debian_changelog.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md
          ${CMAKE_CURRENT_LIST_DIR}/debian_changelog.cmake
  VERBATIM)

foreach(name uitrans.1 changelog)
  add_custom_command(
    OUTPUT ${UITRANS_DOCS_DIR}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -DGZIP=${UITRANS_GZIP}
            -DINPUT=${UITRANS_DOCS_DIR}/${name}
            -DOUTPUT=${UITRANS_DOCS_DIR}/${name}.gz
            -P ${CMAKE_CURRENT_LIST_DIR}/gzip_file.cmake
    DEPENDS ${UITRANS_DOCS_DIR}/${name} ${CMAKE_CURRENT_LIST_DIR}/gzip_file.cmake
    VERBATIM)
endforeach()
add_custom_target(uitrans_package_docs ALL
                  DEPENDS ${UITRANS_DOCS_DIR}/uitrans.1.gz
                          ${UITRANS_DOCS_DIR}/changelog.gz)

# The copyright file states the licence text of LICENSE in the copyright
# format's layout: each line indented by one space, empty lines as " .".
file(READ ${PROJECT_SOURCE_DIR}/LICENSE UITRANS_LICENSE)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/LICENSE)
string(REGEX REPLACE "^.*Copyright \\(c\\) ([^\n]*)\n+" ""
       UITRANS_LICENSE_TEXT "${UITRANS_LICENSE}")
string(STRIP "${UITRANS_LICENSE_TEXT}" UITRANS_LICENSE_TEXT)
string(REPLACE "\n\n" "\n.\n" UITRANS_LICENSE_TEXT "${UITRANS_LICENSE_TEXT}")
string(REPLACE "\n" "\n " UITRANS_LICENSE_TEXT " ${UITRANS_LICENSE_TEXT}")
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" _ "${UITRANS_LICENSE}")
set(UITRANS_COPYRIGHT_HOLDERS "${CMAKE_MATCH_1}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in
               ${UITRANS_DOCS_DIR}/copyright @ONLY)

install(FILES ${UITRANS_DOCS_DIR}/uitrans.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${UITRANS_DOCS_DIR}/changelog.gz
              ${UITRANS_DOCS_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# Tags the package earns on purpose, each with the reason beside it.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME ${PROJECT_NAME})
