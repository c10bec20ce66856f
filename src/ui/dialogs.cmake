# The dialogs' resources: the application icon (embedded and installed), the desktop entry and the
# help file, which the program looks for beside its executable.
include(GNUInstallDirs)

set(KORVI_RESOURCES_DIR ${CMAKE_CURRENT_LIST_DIR}/../resources)
set(KORVI_ICONS_DIR ${KORVI_RESOURCES_DIR}/icons)
set(KORVI_HELP_FILE ${KORVI_RESOURCES_DIR}/help/Ripvane.html)

target_sources(korvi_ui PRIVATE ${KORVI_ICONS_DIR}/korvi_icons.qrc)

# Beside the executable in the build tree (src/app), so the program run from there finds its help.
set(KORVI_BUILT_HELP_FILE ${CMAKE_BINARY_DIR}/src/app/Ripvane.html)
add_custom_command(OUTPUT ${KORVI_BUILT_HELP_FILE}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${KORVI_HELP_FILE} ${KORVI_BUILT_HELP_FILE}
  DEPENDS ${KORVI_HELP_FILE}
  COMMENT "Copying the help file beside korvi-cd-ripper"
  VERBATIM)
add_custom_target(korvi-help ALL DEPENDS ${KORVI_BUILT_HELP_FILE})
# Whatever links the widgets (the tests too) finds the help file in place.
add_dependencies(korvi_ui korvi-help)

install(FILES ${KORVI_HELP_FILE} DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${KORVI_RESOURCES_DIR}/org.korvi.KorviCdRipper.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${KORVI_ICONS_DIR}/korvi-cd-ripper.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 32 48 64 128 256)
  install(FILES ${KORVI_ICONS_DIR}/korvi-cd-ripper-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME korvi-cd-ripper.png)
endforeach()
