# Installation into the standard desktop places and the Debian package built by CPack.
include(GNUInstallDirs)

set(NORV_APP_ID app.norvane.Notes)
set(NORV_DESKTOP_DIR ${CMAKE_SOURCE_DIR}/resources/desktop)

install(TARGETS norvane-notes RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${NORV_DESKTOP_DIR}/${NORV_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${NORV_DESKTOP_DIR}/${NORV_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${NORV_DESKTOP_DIR}/${NORV_APP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The fixed sizes are drawn from the one scalable icon at build time.
find_program(NORV_RSVG_CONVERT rsvg-convert)
if(NORV_RSVG_CONVERT)
    set(icon_pngs)
    foreach(size 16 24 32 48 64 128 256 512)
        set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/${NORV_APP_ID}.png)
        add_custom_command(OUTPUT ${png}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
            COMMAND ${NORV_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${NORV_DESKTOP_DIR}/${NORV_APP_ID}.svg
            DEPENDS ${NORV_DESKTOP_DIR}/${NORV_APP_ID}.svg VERBATIM)
        list(APPEND icon_pngs ${png})
        install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    add_custom_target(desktop_icons ALL DEPENDS ${icon_pngs})
else()
    message(WARNING "rsvg-convert not found: only the scalable icon is installed (Debian package librsvg2-bin)")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME norvane-notes)
set(CPACK_PACKAGE_VENDOR Norvane)
set(CPACK_PACKAGE_CONTACT "Norvane <support@norvane.app>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Search-first, zero-friction note-taking")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION editors)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://norvane.app/)
# Library dependencies come from the linked binary; the SQLite driver is a plugin the linker never sees.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, qt6-qpa-plugins")
# Qt's own texts (standard buttons, file dialogs) in the user's language; the program runs without them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
include(CPack)
