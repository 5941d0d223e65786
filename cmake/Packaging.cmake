# Install layout (binary, desktop entry, AppStream metainfo, hicolor icons) and the Debian package.
include(GNUInstallDirs)

# The date of the release PROJECT_VERSION names; bump both together.
set(QUORVIN_RELEASE_DATE 2026-12-06)
set(packaging_dir ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS quorvin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${packaging_dir}/${QUORVIN_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${packaging_dir}/${QUORVIN_APP_ID}.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/packaging/${QUORVIN_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/packaging/${QUORVIN_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${packaging_dir}/${QUORVIN_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The PNG sizes are rendered from the SVG once and committed (packaging/render-icons.sh).
foreach(size 16 32 48 64 128 256)
  install(FILES ${packaging_dir}/icons/${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${QUORVIN_APP_ID}.png)
endforeach()

set(CPACK_PACKAGE_NAME quorvin)
set(CPACK_PACKAGE_VENDOR "Quorvin developers")
set(CPACK_PACKAGE_CONTACT "Quorvin maintainers <maintainers@users.noreply.c-seed-c94e4924.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "floating panel that keeps files, links, text and images within reach")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvin is one small frameless panel that floats above your windows on every workspace and\n"
    "is shown and hidden from anywhere with Control+Space. Files, folders, text, rich text, web\n"
    "links and images dropped or pasted on it become items of named working sets (tavlos), which\n"
    "can be dragged back out, opened, previewed, copied and labelled. Needs an X11 session or\n"
    "XWayland.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGE_INSTALL_DIRECTORY quorvin)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
# Libraries come from dpkg-shlibdeps; plugins are loaded at run time, so they are named here:
# the xcb platform plugin and JPEG reader ship in libqt6gui6 (pulled in by the libraries), TIFF
# and WebP readers for dropped images and thumbnails in qt6-image-formats-plugins, the SVG icon
# engine for the built-in application icon in libqt6svg6.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-image-formats-plugins, libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "adwaita-icon-theme")
# Only Wayland sessions use the portal (hot key); it pulls in PipeWire and FUSE.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xdg-desktop-portal")
include(CPack)
