# Where `cmake --install` puts the game: programs in games/ (or bin/), the
# data in share/games/shooter where the programs look for it from their own
# folder, desktop entries, icons, AppStream data, the manual page and the
# licences. The Debian package (cmake/package.cmake) installs the same tree.
include(GNUInstallDirs)

set(SHOOTER_BINDIR games CACHE STRING
  "Folder under the prefix for the programs: games or bin")
set_property(CACHE SHOOTER_BINDIR PROPERTY STRINGS games bin)
if(SHOOTER_BINDIR MATCHES "/")
  # The programs find their data at <program folder>/../share/games/shooter.
  message(FATAL_ERROR "SHOOTER_BINDIR must be one folder under the prefix, not ${SHOOTER_BINDIR}")
endif()
# The project has no public address yet: the AppStream identity and the
# screenshot's address are placeholders under the reserved .invalid domain
# until a distributor sets them; the home page is left out while empty.
set(SHOOTER_APP_ID "invalid.shooter.Shooter" CACHE STRING "AppStream component id (reverse DNS)")
set(SHOOTER_HOMEPAGE "" CACHE STRING "The project's home page for the AppStream data")
set(SHOOTER_SCREENSHOT_URL "https://shooter.invalid/screenshot.png" CACHE STRING
  "Where software centres fetch the AppStream screenshot (dist/screenshot.png)")
if(SHOOTER_HOMEPAGE)
  set(SHOOTER_HOMEPAGE_LINE "  <url type=\"homepage\">${SHOOTER_HOMEPAGE}</url>\n")
else()
  set(SHOOTER_HOMEPAGE_LINE "")
endif()
set(shooter_data share/games/shooter)

install(TARGETS shooter shooter-alt RUNTIME DESTINATION ${SHOOTER_BINDIR})
install(DIRECTORY assets/GFX assets/Sound assets/demo DESTINATION ${shooter_data})

set(dist ${PROJECT_SOURCE_DIR}/dist)
set(gen ${PROJECT_BINARY_DIR}/dist)
# The menu starts the programs by name where the prefix's folder is on the
# usual PATH, else by full path; worked out when installing, so that a
# prefix given to `cmake --install --prefix` counts.
install(CODE "
  if(CMAKE_INSTALL_PREFIX MATCHES \"^/usr(/local)?/?$\")
    set(SHOOTER_EXEC_DIR \"\")
  else()
    set(SHOOTER_EXEC_DIR \"\${CMAKE_INSTALL_PREFIX}/${SHOOTER_BINDIR}/\")
  endif()
  foreach(program shooter shooter-alt)
    configure_file(${dist}/\${program}.desktop.in ${gen}/\${program}.desktop @ONLY)
  endforeach()")
foreach(program shooter shooter-alt)
  install(FILES ${gen}/${program}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endforeach()
configure_file(${dist}/shooter.metainfo.xml.in ${gen}/${SHOOTER_APP_ID}.metainfo.xml @ONLY)
install(FILES ${gen}/${SHOOTER_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 32 48 64 128 256)
  install(FILES assets/icons/${size}x${size}/shooter.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES assets/icons/scalable/shooter.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The manual page covers both programs; shooter-alt's is a link to it.
# Compressed as Debian wants (man reads it either way), and so is the
# change log; both when installing, so that building the programs alone
# needs neither.
configure_file(${dist}/shooter.6 ${gen}/shooter.6 @ONLY)
set(man_dir ${CMAKE_INSTALL_MANDIR}/man6)
install(CODE "
  execute_process(COMMAND gzip -9n -c ${gen}/shooter.6 OUTPUT_FILE ${gen}/shooter.6.gz
                  COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND gzip -9n -c ${dist}/changelog OUTPUT_FILE ${gen}/changelog.gz
                  COMMAND_ERROR_IS_FATAL ANY)")
install(FILES ${gen}/shooter.6.gz DESTINATION ${man_dir})
install(CODE "
  set(dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${man_dir}\")
  file(CREATE_LINK shooter.6.gz \"\${dir}/shooter-alt.6.gz\" SYMBOLIC)
  message(STATUS \"Installing: \${dir}/shooter-alt.6.gz -> shooter.6.gz\")")

install(FILES README.md LICENSE LICENSE.DejaVu dist/copyright ${gen}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
