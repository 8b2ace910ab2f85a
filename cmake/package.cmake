# The Debian package (`make package`): CPack installs the tree of
# cmake/install.cmake under /usr and packs it; dpkg-shlibdeps works out the
# library packages the programs need.
set(SHOOTER_MAINTAINER "Shooter developers <shooter@shooter.invalid>" CACHE STRING
  "Maintainer named in the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME shooter)
set(CPACK_PACKAGE_VENDOR "The shooter developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time arcade shooter in neon colours")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${SHOOTER_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(SHOOTER_HOMEPAGE)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${SHOOTER_HOMEPAGE})
endif()
# The long description; CPack puts the summary above it and indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Steer a ship with the mouse inside a square play field and fire fans of
three shots at enemies that grow out of spawn markers and home in on the
ship. Destroyed enemies burst into particles and leave energy behind; the
ship's energy drains while it moves and drops when an enemy rams it.

Two programs: shooter (a window that switches to full screen, F toggles)
and shooter-alt (full screen only, F toggles the ram flash).")
include(CPack)
