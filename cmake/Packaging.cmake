# Install layout and the Debian package. Every destination is relative, so `cmake --install
# --prefix P` (and DESTDIR) places the whole tree under P:
#   P/libexec/xscreensaver/vadrel            the program, where XScreenSaver and MATE's screen
#                                            saver look for their display modes
#   P/bin/vadrel                             a link to it, for use from a shell and for TryExec
#   P/libexec/vadrel/vadrel-idle             the idle watcher that `vadrel --idle` becomes
#   P/lib/systemd/user/vadrel-idle.service   the user unit that runs `P/bin/vadrel --idle`
#   P/share/vadrel/                          the generated data (installed by tools/)
#   P/share/xscreensaver/config/vadrel.xml   XScreenSaver's settings dialog for it
#   P/share/man/man6/vadrel.6.gz
#   P/share/applications/screensavers/vadrel.desktop
#   P/share/doc/vadrel/copyright, changelog.gz
# The program finds its data relative to its own real path, so no path is fixed at build time.
#
# Debian package: cmake --build build && cd build && cpack -G DEB

set(VADREL_HACK_DIR "${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver")
set(VADREL_DATA_DESTINATION "${CMAKE_INSTALL_DATADIR}/vadrel")

set(VADREL_IDLE_DIR "${CMAKE_INSTALL_LIBEXECDIR}/vadrel")
install(TARGETS vadrel RUNTIME DESTINATION "${VADREL_HACK_DIR}")
# The program finds it as ../vadrel/vadrel-idle from its own real folder.
install(TARGETS vadrel-idle RUNTIME DESTINATION "${VADREL_IDLE_DIR}")
# What Debian's own stripping also drops: the compilers' version strings.
foreach(program "${VADREL_HACK_DIR}/vadrel" "${VADREL_IDLE_DIR}/vadrel-idle")
  install(CODE "if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${program}\" COMMAND_ERROR_IS_FATAL ANY)
  endif()")
endforeach()
# The systemd user unit names the program by its installed path, which only the install knows
# (a package installs under /usr whatever prefix the build was configured with). Its mode is
# 0644 whatever the umask the sources were checked out with.
install(CODE "set(VADREL_INSTALLED_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/vadrel\")
  configure_file(\"${CMAKE_SOURCE_DIR}/packaging/vadrel-idle.service.in\"
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/systemd/user/vadrel-idle.service\"
    @ONLY NO_SOURCE_PERMISSIONS)")

# A relative link, made in the build tree and installed as a link: it stays right under any prefix,
# and the program resolves it to its real folder before looking for its data.
file(RELATIVE_PATH VADREL_LINK_TARGET "/${CMAKE_INSTALL_BINDIR}" "/${VADREL_HACK_DIR}/vadrel")
file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/packaging")
file(CREATE_LINK "${VADREL_LINK_TARGET}" "${CMAKE_BINARY_DIR}/packaging/vadrel" SYMBOLIC)
install(FILES "${CMAKE_BINARY_DIR}/packaging/vadrel" DESTINATION "${CMAKE_INSTALL_BINDIR}")

install(FILES packaging/vadrel.xml DESTINATION "${CMAKE_INSTALL_DATADIR}/xscreensaver/config")
install(FILES packaging/vadrel.desktop
  DESTINATION "${CMAKE_INSTALL_DATADIR}/applications/screensavers")

set(VADREL_PACKAGE_MAINTAINER "Vadrel maintainers <maintainers@vadrel.example>" CACHE STRING
  "The Maintainer field of the Debian package, also named in its changelog")
# A folder configured before keeps the earlier default, an address on localhost, which Debian's
# package checker rejects.
if(VADREL_PACKAGE_MAINTAINER STREQUAL "Vadrel maintainers <vadrel@localhost>")
  set_property(CACHE VADREL_PACKAGE_MAINTAINER PROPERTY VALUE
    "Vadrel maintainers <maintainers@vadrel.example>")
endif()

# The manual and the changelog go compressed as Debian's policy wants them: gzip -9 without a name
# or a time stamp, so the same sources give the same bytes. Written at configure time; an edit of
# either source configures again.
function(vadrel_gzip source compressed)
  execute_process(COMMAND gzip -9n -c "${source}" OUTPUT_FILE "${compressed}"
    COMMAND_ERROR_IS_FATAL ANY)
endfunction()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  "${CMAKE_SOURCE_DIR}/packaging/vadrel.6")
vadrel_gzip("${CMAKE_SOURCE_DIR}/packaging/vadrel.6" "${CMAKE_BINARY_DIR}/packaging/vadrel.6.gz")
# A native package (the packaging lives with the program, the version has no Debian revision), so
# its changelog is changelog.gz in the Debian changelog format; its entries name the maintainer.
configure_file(packaging/changelog.in "${CMAKE_BINARY_DIR}/packaging/changelog" @ONLY)
vadrel_gzip("${CMAKE_BINARY_DIR}/packaging/changelog" "${CMAKE_BINARY_DIR}/packaging/changelog.gz")
install(FILES "${CMAKE_BINARY_DIR}/packaging/vadrel.6.gz"
  DESTINATION "${CMAKE_INSTALL_MANDIR}/man6")
set(VADREL_DOC_DIR "${CMAKE_INSTALL_DATADIR}/doc/vadrel")
install(FILES packaging/copyright "${CMAKE_BINARY_DIR}/packaging/changelog.gz"
  DESTINATION "${VADREL_DOC_DIR}")

set(CPACK_PACKAGE_NAME "vadrel")
set(CPACK_PACKAGE_VENDOR "Vadrel")
# The MIT licence; the package itself carries it in its copyright file (Debian's machine-readable
# format, where it is called Expat).
set(CPACK_RESOURCE_FILE_LICENSE "${CMAKE_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "underwater screen saver: a flock of fish above a sunlit sea floor")
set(CPACK_PACKAGE_DESCRIPTION
  "A flock of skeletally animated fish swims above a sandy sea floor under\n\
moving caustic light, in blue water. It runs full screen on its own, in a\n\
desktop window, or as a display mode of XScreenSaver (with its settings\n\
dialog) and of MATE's screen saver, and can render a picture of the scene\n\
without a display. Its idle watcher starts it when the session is idle on\n\
GNOME, KDE Plasma, wlroots compositors and any X11 session (a systemd user\n\
unit, vadrel-idle.service).")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)

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
