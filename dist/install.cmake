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
