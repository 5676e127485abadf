# Installing copies the program folder as the build lays it out into one private folder, and
# puts a launcher and a menu entry where the desktop finds them.
include(GNUInstallDirs)

set(PARCHWIPE_INSTALL_FOLDER ${CMAKE_INSTALL_LIBDIR}/parchwipe)

install(DIRECTORY ${PARCHWIPE_BIN_DIR}/ DESTINATION ${PARCHWIPE_INSTALL_FOLDER}
        USE_SOURCE_PERMISSIONS)

configure_file(${CMAKE_SOURCE_DIR}/cmake/parchwipe-launcher.in
               ${CMAKE_BINARY_DIR}/install/parchwipe @ONLY)
install(PROGRAMS ${CMAKE_BINARY_DIR}/install/parchwipe DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${CMAKE_SOURCE_DIR}/cmake/parchwipe.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/resources/parchwipe.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
