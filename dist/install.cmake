# Install rules (GNU layout under CMAKE_INSTALL_PREFIX), the desktop integration files, the manual
# pages, the check of an installed copy and the Debian package.
set(TIK_DIST ${CMAKE_SOURCE_DIR}/dist)
set(TIK_APPSTREAM_ID org.example.tik)

# Programs: the batch tool, the desktop program, and the demo generator (run by hand, not on PATH).
install(TARGETS tik-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS tik-demo RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/tik)

# Read-only data files the program looks up in <prefix>/share/tik (every file of resources/ that is
# not source code).
file(GLOB TIK_DATA_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*)
list(FILTER TIK_DATA_FILES EXCLUDE REGEX "\\.(cpp|h)$")
if(TIK_DATA_FILES)
  install(FILES ${TIK_DATA_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/tik)
endif()

# Manual pages, compressed as Debian wants them; the FILES sections name the installed folders.
set(TIK_MAN_PAGES)
set(DOCDIR ${CMAKE_INSTALL_FULL_DOCDIR})
set(DATADIR ${CMAKE_INSTALL_FULL_DATADIR}/tik)
set(LIBEXECDIR ${CMAKE_INSTALL_FULL_LIBEXECDIR}/tik)
foreach(page tik tik-cli)
  configure_file(${TIK_DIST}/man/${page}.1 ${CMAKE_BINARY_DIR}/man/${page}.1 @ONLY)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.1.gz
    COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${CMAKE_BINARY_DIR}/man/${page}.1 ${CMAKE_BINARY_DIR}/man/${page}.1.gz
    DEPENDS ${CMAKE_BINARY_DIR}/man/${page}.1
    VERBATIM)
  list(APPEND TIK_MAN_PAGES ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
endforeach()
add_custom_target(tik_man_pages ALL DEPENDS ${TIK_MAN_PAGES})
install(FILES ${CMAKE_BINARY_DIR}/man/tik-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Data files open in TIK from the file manager: the MIME type of *.pls.
install(FILES ${TIK_DIST}/tik-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME tik.xml)

# The desktop program with its menu entry, icons, software-centre metadata and manual.
if(TARGET tik)
  install(TARGETS tik RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_BINARY_DIR}/man/tik.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${TIK_DIST}/tik.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${TIK_DIST}/tik.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size 16 24 32 48 64 128 256)
    install(FILES ${TIK_DIST}/icons/tik-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME tik.png)
  endforeach()
  configure_file(${TIK_DIST}/tik.metainfo.xml ${CMAKE_BINARY_DIR}/${TIK_APPSTREAM_ID}.metainfo.xml @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/${TIK_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  if(TARGET tik_pdf)
    install(FILES ${CMAKE_BINARY_DIR}/tik.pdf DESTINATION ${CMAKE_INSTALL_DOCDIR})
  endif()
endif()

# The check of an installed copy (DESTDIR into a temporary folder); it needs the programs, the
# manual and the manual pages built, which the default build target does.
if(TARGET tik AND NOT TIK_SANITIZE)
  add_test(NAME tik_install_check
           COMMAND sh ${CMAKE_SOURCE_DIR}/scripts/check_install.sh ${CMAKE_BINARY_DIR} ${PROJECT_VERSION} ${CMAKE_SOURCE_DIR})
  set_tests_properties(tik_install_check PROPERTIES TIMEOUT 120)
endif()

# The Debian package: `cpack -G DEB` in the build folder (or `make package`) writes tik_VERSION_ARCH.deb.
# The library dependencies come from dpkg-shlibdeps; the desktop, icon and MIME caches are refreshed
# by the triggers of the packages that own them, so the package needs no maintainer scripts.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "count and measure detector pulses through a sound card")
set(CPACK_PACKAGE_DESCRIPTION "TIK counts and measures electrical pulses, for example the
preamplified signal of a radiation detector, through an ordinary sound card's line
input. It builds the counting rate against time, counting-rate, interval and
pulse-width histograms and a calibrated pulse-height spectrum with regions of
interest, in coincidence or anticoincidence of two channels. It replays WAV
recordings, keeps every pulse in its own data files and exports every table as
text. A built-in pulse generator lets you try every feature without a detector;
tik-cli runs the same analysis without a display.")
set(CPACK_PACKAGE_CONTACT "TIK maintainers <tik@example.org>" CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# PortAudio is loaded at run time, so dpkg-shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libportaudio2")
# Help Topics opens the manual through the desktop's default PDF viewer.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
include(CPack)
