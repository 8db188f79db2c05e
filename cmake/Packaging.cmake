# Installation and the Debian package (CPack's DEB generator): the programs in /usr/sbin and
# /usr/bin, the processors in /usr/lib/vtps/processors, the settings in /etc/vtps (conffiles),
# the systemd units (the server, ntr-server, the office and browser engines), and the maintainer scripts that make the user vtps and start the units.
# Linux builds only; scripts/package builds the release tree and the package.

include(GNUInstallDirs)

set(VTPS_PROCESSOR_INSTALL_DIR lib/vtps/processors)
set(VTPS_SYSTEMD_UNIT_DIR /lib/systemd/system CACHE PATH
    "Folder of the systemd units (Debian's: /lib/systemd/system)")

install(TARGETS VantricProcessServer ntr-server RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR})
install(TARGETS kqm-call RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS processors/annotate.sh processors/summary.sh
        DESTINATION ${VTPS_PROCESSOR_INSTALL_DIR})
if(TARGET vtps-pdf)
  get_property(VTPS_PDF_LINKS GLOBAL PROPERTY VTPS_PDF_LINKS)
  install(TARGETS vtps-pdf vtps-pdf-draw vtps-pdf-metadata vtps-pdf-office vtps-pdf-html
          vtps-html-engine RUNTIME DESTINATION ${VTPS_PROCESSOR_INSTALL_DIR})
  if(TARGET vtps-office-engine)
    install(TARGETS vtps-office-engine RUNTIME DESTINATION ${VTPS_PROCESSOR_INSTALL_DIR})
  endif()
  # The operations reach their program under their own names, as in the build folder.
  foreach(link ${VTPS_PDF_LINKS})
    string(REPLACE "=" ";" link ${link})
    list(GET link 0 program)
    list(GET link 1 name)
    install(CODE "file(CREATE_LINK ${program}
      \"\$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${VTPS_PROCESSOR_INSTALL_DIR}/${name}\" SYMBOLIC)")
  endforeach()
  # Makes a sample PDF to try the operations with.
  install(TARGETS make-sample-pdf make-sample-office RUNTIME DESTINATION lib/vtps)
endif()

install(FILES packaging/etc/ntr-configuration.xml packaging/etc/vtps.env etc/kqm-services
        DESTINATION /etc/vtps)
install(FILES packaging/systemd/vtps.service packaging/systemd/vtps-ntr.service
        packaging/systemd/vtps-office.service packaging/systemd/vtps-html.service DESTINATION ${VTPS_SYSTEMD_UNIT_DIR})
install(FILES README.md docs/deploy.md docs/processors.md docs/cluster.md docs/job-files.md
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/vtps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vtps)
set(CPACK_PACKAGE_VENDOR "VTPS developers")
set(CPACK_PACKAGE_CONTACT "VTPS developers <vtps@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "PDF process server: PDF operations run by processor programs")
set(CPACK_PACKAGE_DESCRIPTION "VantricProcessServer carries out PDF operations for its callers \
by running processor programs on XML job files. The package holds the server, the \
configuration service ntr-server, the client kqm-call, the PDF processors (libqpdf, poppler) \
and systemd units.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# LibreOffice for the office engine (it loads LibreOffice's libraries at run time, so
# dpkg-shlibdeps cannot see them), with the fonts office documents ask for most; the browser
# the browser engine runs.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, init-system-helpers, libtesseract5, tesseract-ocr-eng, \
libreoffice-writer, libreoffice-calc, libreoffice-impress, fonts-crosextra-carlito, \
fonts-crosextra-caladea, fonts-liberation2, fonts-dejavu-core, fonts-noto-core, \
chromium-headless-shell")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/packaging/debian/conffiles ${CMAKE_SOURCE_DIR}/packaging/debian/postinst
    ${CMAKE_SOURCE_DIR}/packaging/debian/prerm ${CMAKE_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
include(CPack)
