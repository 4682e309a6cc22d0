# The Debian package of the Linux desktop edition (`cpack -G DEB` in the
# desktop build): the program under /opt/Lumora as the deploy form installs
# it, its menu and autostart entries as the deploy form writes them, and the
# icons in the hicolor theme.

find_package(Python3 REQUIRED COMPONENTS Interpreter)

# The entries come from the program's own shortcut writer.
add_executable(lum_desktop_entries ${PROJECT_SOURCE_DIR}/packaging/desktop_entries.cpp)
target_link_libraries(lum_desktop_entries PRIVATE lum_core)
set(lum_entries ${CMAKE_BINARY_DIR}/packaging/entries)
set(lum_icons ${CMAKE_BINARY_DIR}/packaging/icons)
add_custom_command(
  OUTPUT ${lum_entries}/lumcenter.desktop ${lum_entries}/lumcenter-agent.desktop
  COMMAND ${CMAKE_COMMAND} -E make_directory ${lum_entries}
  COMMAND lum_desktop_entries ${lum_entries}
  DEPENDS lum_desktop_entries
  COMMENT "Desktop entries of the package"
  VERBATIM)
add_custom_command(
  OUTPUT ${lum_icons}/stamp ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${lum_icons}
  COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/resources/ico_to_png.py
          ${PROJECT_SOURCE_DIR}/resources/appicon.ico ${lum_icons} lumcenter
  COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/resources/ico_to_png.py
          ${PROJECT_SOURCE_DIR}/resources/rssicon.ico ${lum_icons} lumcenter-news
  COMMAND Python3::Interpreter -c "import gzip,sys; d=open(sys.argv[1],'rb').read(); f=open(sys.argv[2],'wb'); f.write(gzip.compress(d, 9, mtime=0)); f.close()"
          ${PROJECT_SOURCE_DIR}/packaging/changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E touch ${lum_icons}/stamp
  DEPENDS ${PROJECT_SOURCE_DIR}/resources/ico_to_png.py ${PROJECT_SOURCE_DIR}/resources/appicon.ico
          ${PROJECT_SOURCE_DIR}/resources/rssicon.ico ${PROJECT_SOURCE_DIR}/packaging/changelog
  COMMENT "Icons and changelog of the package"
  VERBATIM)
add_custom_target(lum_package_files ALL
  DEPENDS ${lum_entries}/lumcenter.desktop ${lum_icons}/stamp)

# The deploy form installs the program under its own name, LumCenter.exe.
install(PROGRAMS $<TARGET_FILE:LumCenter> DESTINATION /opt/Lumora RENAME LumCenter.exe)
# A program installed under another name is not stripped by CPack.
install(CODE "execute_process(COMMAND ${CMAKE_STRIP} --strip-unneeded --remove-section=.comment \"\$ENV{DESTDIR}/opt/Lumora/LumCenter.exe\")")
install(FILES ${lum_entries}/lumcenter.desktop DESTINATION /usr/share/applications/Lumora)
install(FILES ${lum_entries}/lumcenter-agent.desktop DESTINATION /etc/xdg/autostart)
install(DIRECTORY ${lum_icons}/ DESTINATION /usr/share/icons/hicolor PATTERN stamp EXCLUDE)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
        DESTINATION /usr/share/doc/lumcenter)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION /usr/share/lintian/overrides RENAME lumcenter)

file(WRITE ${CMAKE_BINARY_DIR}/packaging/conffiles "/etc/xdg/autostart/lumcenter-agent.desktop\n")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumcenter)
set(CPACK_PACKAGE_VERSION 1.0.0)
set(CPACK_PACKAGE_VENDOR Lumora)
set(CPACK_PACKAGE_CONTACT "Lumora <support@lumora.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Lumora subscriber centre")
set(CPACK_PACKAGE_DESCRIPTION "The centre of the Lumora broadband service: the tariff and the traffic
of the month, the billing site, the router's settings, and the service's
news in the notification area.")
set(CPACK_PACKAGING_INSTALL_PREFIX /)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The faces with the window font's widths: Wine's Tahoma, else Liberation Sans.
# The program opens the browser engine (when the centre makes its page),
# libcurl (for each exchange), libcanberra (with the first sound) and the
# StatusNotifier library (when a host shows up) at run time, so the
# dependency scan cannot see them: they are named here, at the first versions
# with every function the program calls.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-wine | fonts-liberation, libwebkit2gtk-4.1-0 (>= 2.40.0), libcurl4 (>= 7.55.0), libcanberra0 (>= 0.2), \
libayatana-appindicator3-1 (>= 0.5.0)")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
