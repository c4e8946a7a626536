# What `cmake --install` puts under the prefix, and the packages `cpack`
# makes from the same tree (a .deb and a .tar.gz).
#
#   bin/tallyfair              the launcher (runs the program from the
#                              user's own folder, see packaging/tallyfair.sh)
#   bin/tallyfair-brand        the brand tool
#   lib/tallyfair/tallyfair    the program itself
#   share/tallyfair/server/    the reference site script
#   share/doc/tallyfair/       README, security notes, example brand
#   share/applications, share/metainfo, share/icons/hicolor

set(TF_APP_ID example.tallyfair.Tallyfair)
set(TF_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tallyfair)
set(TF_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)

install(TARGETS tallyfair RUNTIME DESTINATION ${TF_INSTALL_PROGRAM_DIR})
install(TARGETS tallyfair-brand RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

configure_file(${TF_PACKAGING}/tallyfair.sh ${CMAKE_BINARY_DIR}/packaging/tallyfair @ONLY)
install(PROGRAMS ${CMAKE_BINARY_DIR}/packaging/tallyfair DESTINATION ${CMAKE_INSTALL_BINDIR})

install(DIRECTORY server/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tallyfair/server)

# Debian wants the changelog compressed as hard as gzip can, without a
# time stamp, so that the package is the same on every build.
set(tf_changelog_gz ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${tf_changelog_gz}
  COMMAND sh -c "gzip -9 -n -c '${TF_PACKAGING}/changelog' > '${tf_changelog_gz}'"
  DEPENDS ${TF_PACKAGING}/changelog VERBATIM)
add_custom_target(tf_changelog ALL DEPENDS ${tf_changelog_gz})

foreach(page tallyfair tallyfair-brand)
  set(gz ${CMAKE_BINARY_DIR}/packaging/${page}.1.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND sh -c "gzip -9 -n -c '${TF_PACKAGING}/man/${page}.1' > '${gz}'"
    DEPENDS ${TF_PACKAGING}/man/${page}.1 VERBATIM)
  list(APPEND tf_man_pages ${gz})
endforeach()
add_custom_target(tf_man_pages ALL DEPENDS ${tf_man_pages})
install(FILES ${tf_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES README.md SECURITY.md PERFORMANCE.md ${TF_PACKAGING}/copyright ${tf_changelog_gz}
  DESTINATION ${TF_DOC_DIR})
install(DIRECTORY docs/ DESTINATION ${TF_DOC_DIR}/docs)
install(DIRECTORY examples/brand/ DESTINATION ${TF_DOC_DIR}/examples/brand)

install(FILES ${TF_PACKAGING}/${TF_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${TF_PACKAGING}/${TF_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${TF_PACKAGING}/icons/tallyfair.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${TF_APP_ID}.svg)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${TF_PACKAGING}/icons/tallyfair-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME ${TF_APP_ID}.png)
endforeach()

# Packages. Debian's dependencies come from dpkg-shlibdeps; only the Qt
# platform plugin, which the program loads at run time rather than links,
# is named by hand.
set(CPACK_PACKAGE_NAME tallyfair)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tallyfair developers")
set(CPACK_PACKAGE_CONTACT "Tallyfair developers <dev@tallyfair.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control panel for giveaway event web sites")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Tallyfair lists the affiliates of a giveaway event with their visitors,\n"
  "unique hits, subscribers and sales, shows the sales each of them referred,\n"
  "and adds, edits and deletes them. It talks HTTP to a tracking script on the\n"
  "operator's own site (a reference script is included) and writes that\n"
  "script's database settings.\n"
  ".\n"
  "The package also holds tallyfair-brand, with which branders make brand\n"
  "files and brand kits.")
set(CPACK_STRIP_FILES TRUE)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
set(CPACK_GENERATOR "DEB;TGZ")
set(CPACK_PACKAGE_FILE_NAME "tallyfair-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Named by hand: what the program starts or loads at run time, which
# dpkg-shlibdeps cannot see (the platform plugin; sensible-browser, the
# fallback when the desktop names no default browser).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, sensible-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
