# What turns the installed folder into something a person starts: the two programs in
# <prefix>/lib/travasa with links in <prefix>/bin, the desktop entry and its icon, the
# manual page; and the Debian package built from the same install rules by CPack
# (cpack -G DEB in the build folder).

foreach(programma travasa travasa-cli)
  install(TARGETS ${programma} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()

# Links in <prefix>/bin to the programs a person runs. Each program finds its own folder
# through the link, so what lies beside it is found as in the build tree.
set(VQ_PROGRAMMI_COLLEGATI travasa travasa-cli mirtesa-installa-demo)
file(RELATIVE_PATH VQ_DA_BIN_A_PROGRAMMI ${CMAKE_INSTALL_PREFIX}/bin ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR})
foreach(programma ${VQ_PROGRAMMI_COLLEGATI})
  install(CODE "
    set(cartella \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
    file(MAKE_DIRECTORY \"\${cartella}\")
    file(REMOVE \"\${cartella}/${programma}\")
    file(CREATE_LINK \"${VQ_DA_BIN_A_PROGRAMMI}/${programma}\" \"\${cartella}/${programma}\" SYMBOLIC)
    message(STATUS \"Link: \${cartella}/${programma} -> ${VQ_DA_BIN_A_PROGRAMMI}/${programma}\")")
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/assets/travasa.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/assets/immagini/travasa.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/export/cli/travasa-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The Debian package. Its dependencies come from the shared libraries its programs use
# (dpkg-shlibdeps); what is loaded by name at run time is named here: Qt's platform
# plugins (the window's display) and its SVG support (the window's pictures).
set(CPACK_PACKAGE_NAME travasa)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Travasa")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Esportazione in XML dei movimenti di Mirtesa")
set(CPACK_PACKAGE_DESCRIPTION
    "Modulo aggiuntivo di Mirtesa: esporta in un file XML i movimenti della contabilita' di casa,\n\
scelti per conto, codice cassa e periodo, con il foglio di stile che li mostra come pagina.\n\
Comprende il programma con finestra (travasa), quello da riga di comando (travasa-cli),\n\
il componente di accesso ai dati e un'installazione dimostrativa dell'applicazione ospite\n\
(mirtesa-installa-demo).")
set(CPACK_PACKAGE_INSTALL_DIRECTORY travasa)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Travasa <travasa@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR})
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, qt6-translations-l10n")
include(CPack)
