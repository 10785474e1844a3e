# Install layout and the Debian package. Every destination is relative, so `cmake --install
# --prefix P` (and DESTDIR) places the whole tree under P:
#   P/libexec/xscreensaver/vadrel            the program, where XScreenSaver looks for its modes
#   P/bin/vadrel                             a link to it, for use from a shell and for TryExec
#   P/share/vadrel/                          the generated data (installed by tools/)
#   P/share/xscreensaver/config/vadrel.xml   XScreenSaver's settings dialog for it
#   P/share/man/man6/vadrel.6
#   P/share/applications/screensavers/vadrel.desktop
# The program finds its data relative to its own real path, so no path is fixed at build time.
#
# Debian package: cmake --build build && cd build && cpack -G DEB

set(VADREL_HACK_DIR "${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver")
set(VADREL_DATA_DESTINATION "${CMAKE_INSTALL_DATADIR}/vadrel")

install(TARGETS vadrel RUNTIME DESTINATION "${VADREL_HACK_DIR}")

# A relative link, made in the build tree and installed as a link: it stays right under any prefix,
# and the program resolves it to its real folder before looking for its data.
file(RELATIVE_PATH VADREL_LINK_TARGET "/${CMAKE_INSTALL_BINDIR}" "/${VADREL_HACK_DIR}/vadrel")
file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/packaging")
file(CREATE_LINK "${VADREL_LINK_TARGET}" "${CMAKE_BINARY_DIR}/packaging/vadrel" SYMBOLIC)
install(FILES "${CMAKE_BINARY_DIR}/packaging/vadrel" DESTINATION "${CMAKE_INSTALL_BINDIR}")

install(FILES packaging/vadrel.xml DESTINATION "${CMAKE_INSTALL_DATADIR}/xscreensaver/config")
install(FILES packaging/vadrel.6 DESTINATION "${CMAKE_INSTALL_MANDIR}/man6")
install(FILES packaging/vadrel.desktop
  DESTINATION "${CMAKE_INSTALL_DATADIR}/applications/screensavers")

set(CPACK_PACKAGE_NAME "vadrel")
set(CPACK_PACKAGE_VENDOR "Vadrel")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "underwater screen saver: a flock of fish above a sunlit sea floor")
set(CPACK_PACKAGE_DESCRIPTION
  "A flock of skeletally animated fish swims above a sandy sea floor under\n\
moving caustic light, in blue water. It runs full screen on its own, in a\n\
desktop window, or as an XScreenSaver display mode (installed with its\n\
settings dialog), and can render a picture of the scene without a display.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)

set(VADREL_PACKAGE_MAINTAINER "Vadrel maintainers <vadrel@localhost>" CACHE STRING
  "The Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VADREL_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "x11")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# Architecture comes from dpkg; Depends from dpkg-shlibdeps, which names the Debian packages that
# hold the libraries the program links (on Debian 12: libsdl2-2.0-0, libgl1, libglu1-mesa,
# libjpeg62-turbo, libpng16-16, libx11-6 and the C and C++ run-times), with their versions.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the program loads at run time rather than links, so that dpkg-shlibdeps cannot see it: EGL,
# which SDL opens for the modes without a display, and Mesa's drivers behind EGL and GLX.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libegl1, libegl-mesa0, libgl1-mesa-dri")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xscreensaver")
include(CPack)
