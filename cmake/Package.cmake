# The Debian package (`make package`): both programs, their manual pages, the desktop
# entry, icon, .tvf type and help pages. Library dependencies come from dpkg-shlibdeps.

set(ZR_MAN_DIR ${CMAKE_BINARY_DIR}/man)
add_custom_command(
  OUTPUT ${ZR_MAN_DIR}/zerarive.1.gz ${ZR_MAN_DIR}/zerarive-cli.1.gz
  COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
          bash ${PROJECT_SOURCE_DIR}/scripts/make-man.sh $<TARGET_FILE_DIR:zerarive> ${ZR_MAN_DIR}
          ${PROJECT_VERSION}
  DEPENDS zerarive zerarive-cli ${PROJECT_SOURCE_DIR}/scripts/make-man.sh
  COMMENT "Manual pages from the programs' --help")
configure_file(${PROJECT_SOURCE_DIR}/res/debian/changelog.in ${CMAKE_BINARY_DIR}/doc/changelog @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/doc/changelog.gz
  COMMAND gzip -9nkf ${CMAKE_BINARY_DIR}/doc/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/doc/changelog)
add_custom_target(zr_package_files ALL
  DEPENDS ${ZR_MAN_DIR}/zerarive.1.gz ${ZR_MAN_DIR}/zerarive-cli.1.gz ${CMAKE_BINARY_DIR}/doc/changelog.gz)

install(TARGETS zerarive-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${ZR_MAN_DIR}/zerarive.1.gz ${ZR_MAN_DIR}/zerarive-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/doc/changelog.gz res/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zerarive)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zerarive)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Wombrel")
set(CPACK_PACKAGE_CONTACT "Zerarive developers <zerarive@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "animation maker: still images to AVI and MPEG-1 video")
# CPack puts the summary in front of this as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Collect still images into a project, order them, say for how many frames
each is shown, stamp a logo into every picture, attach a sound and make an
AVI video. Also: AVI from a folder of numbered images, extracting images
and sound from an AVI, merging sound, morphing, a preview player and an
AVI to MPEG-1 converter. zerarive-cli offers the same for scripts.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# MIDI sound is rendered with this sound font; no library names it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "timgm6mb-soundfont")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
