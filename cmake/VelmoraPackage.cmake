# What makes Velmora a desktop program once installed, and the Debian package that carries it.
set(linux_data ${PROJECT_SOURCE_DIR}/data/linux)
install(FILES ${linux_data}/velmora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${linux_data}/org.velmora.Velmora.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${linux_data}/velmora.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# systemd looks for user units below the prefix's lib, not the architecture's library folder.
install(FILES ${linux_data}/velmora.service DESTINATION lib/systemd/user)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Velmora developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "webcam picture uploader with a tray icon")
set(CPACK_PACKAGE_DESCRIPTION "Velmora shows the live picture of a webcam and, on a timer of each account \
or on demand, takes a still picture, stamps the date and time below it and uploads it as a JPEG file \
by FTP, FTPS or SFTP. It also saves local copies, single pictures and AVI movies, and runs without \
windows as a user service.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Velmora developers")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time rather than linked: the window system plugin, the camera, movie and sound
# elements, and a font for the stamp.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-pulseaudio | gstreamer1.0-alsa, xdg-utils")
include(CPack)
