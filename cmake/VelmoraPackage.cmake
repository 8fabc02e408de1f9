# What makes Velmora a desktop program once installed, and the Debian package that carries it.
set(linux_data ${PROJECT_SOURCE_DIR}/data/linux)
install(FILES ${linux_data}/velmora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${linux_data}/org.velmora.Velmora.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The manual page and the changelog are installed compressed, as Debian's tools expect them; -n keeps
# the compressed files the same from build to build.
set(package_docs ${CMAKE_BINARY_DIR}/package-docs)
add_custom_command(
  OUTPUT ${package_docs}/velmora.1.gz ${package_docs}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${package_docs}
  COMMAND sh -c "gzip -9n -c '${linux_data}/velmora.1' > '${package_docs}/velmora.1.gz'"
  COMMAND sh -c "gzip -9n -c '${linux_data}/changelog' > '${package_docs}/changelog.gz'"
  DEPENDS ${linux_data}/velmora.1 ${linux_data}/changelog
  VERBATIM)
add_custom_target(velmora_package_docs ALL DEPENDS ${package_docs}/velmora.1.gz ${package_docs}/changelog.gz)
install(FILES ${package_docs}/velmora.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${package_docs}/changelog.gz ${linux_data}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora)
# systemd looks for user units below the prefix's lib, not the architecture's library folder.
install(FILES ${linux_data}/velmora.service DESTINATION lib/systemd/user)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Velmora developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "webcam picture uploader with a tray icon")
# The package's description below the summary, in lines short enough for the package tools.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Velmora shows the live picture of a webcam and, on a timer of each account
or on demand, takes a still picture, stamps the date and time below it and
uploads it as a JPEG file by FTP, FTPS or SFTP. It also saves local copies,
single pictures and AVI movies, and runs without windows as a user service.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(VELMORA_PACKAGE_CONTACT "Velmora developers <maintainers@velmora.example>"
    CACHE STRING "Maintainer of the Debian package, as Name <address>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELMORA_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time rather than linked: the window system plugin, the camera, movie and sound
# elements, and a font for the stamp.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-pulseaudio | gstreamer1.0-alsa, xdg-utils")
include(CPack)
