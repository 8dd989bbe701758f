# Install layout (GNUInstallDirs) and the Debian package (cpack -G DEB).
# The programs look for settings.db beside themselves first, then in the data folder below.

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(VG_DATA_DIR ${CMAKE_INSTALL_DATADIR}/vellumgranary)
set(VG_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/vellumgranary)
set(VG_RELEASE_DATE 2026-12-07)
set(VG_MAINTAINER "VellumGranary Developers <maintainers@vellumgranary.example.org>")
set(VG_HOMEPAGE https://vellumgranary.example.org)

install(TARGETS VellumGranary vgcli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS vggit LIBRARY DESTINATION ${VG_GIT_MODULE_DIR})
install(FILES ${VG_SETTINGS_DB} DESTINATION ${VG_DATA_DIR})

# Desktop entry and AppStream metainfo carry the id and the version from here.
set(VG_LINUX_OUT ${CMAKE_BINARY_DIR}/linux)
configure_file(resources/linux/vellumgranary.desktop.in ${VG_LINUX_OUT}/${VG_APP_ID}.desktop @ONLY)
configure_file(resources/linux/vellumgranary.metainfo.xml.in ${VG_LINUX_OUT}/${VG_APP_ID}.metainfo.xml @ONLY)
configure_file(resources/linux/changelog.in ${VG_LINUX_OUT}/changelog @ONLY)
install(FILES ${VG_LINUX_OUT}/${VG_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VG_LINUX_OUT}/${VG_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

install(FILES resources/icons/vellumgranary.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${VG_APP_ID}.svg)
foreach(size 48 128 256)
  install(FILES resources/icons/vellumgranary-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME ${VG_APP_ID}.png)
endforeach()

# Man pages and the changelog are installed compressed, without a time stamp inside.
find_program(VG_GZIP gzip REQUIRED)
set(VG_GZIPPED)
foreach(doc docs/man/vellumgranary.1 docs/man/vgcli.1 ${VG_LINUX_OUT}/changelog)
  get_filename_component(name ${doc} NAME)
  if(NOT IS_ABSOLUTE ${doc})
    set(doc ${CMAKE_SOURCE_DIR}/${doc})
  endif()
  set(out ${VG_LINUX_OUT}/${name}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND sh -c "${VG_GZIP} -9 -n -c \"$1\" > \"$2\"" sh ${doc} ${out}
    DEPENDS ${doc} VERBATIM)
  list(APPEND VG_GZIPPED ${out})
endforeach()
add_custom_target(linuxdocs ALL DEPENDS ${VG_GZIPPED})
install(FILES ${VG_LINUX_OUT}/vellumgranary.1.gz ${VG_LINUX_OUT}/vgcli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES resources/linux/copyright ${VG_LINUX_OUT}/changelog.gz DESTINATION ${VG_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vellumgranary)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "VellumGranary Developers")
set(CPACK_PACKAGE_CONTACT ${VG_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop database of programming code snippets")
# The synopsis is the summary above; this is the extended text only.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"VellumGranary keeps code snippets and tips in SQLite database files. Each
item has a title, code and description text, categories under a language,
an optional compressed file attachment and the time of its last change.
It browses by language and category, searches the full text, exports and
imports tab-separated files and backs the database up once a day.
.
The package holds the window program vellumgranary and vgcli, a tool for
the same databases on the command line.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VG_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VG_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its platform plugin at run time; dpkg-shlibdeps cannot see that.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
include(CPack)
