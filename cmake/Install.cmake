# Where make install (and the Debian package) puts the programs and their files:
#   bin/brimlow, bin/brimlow-migrate        the programs
#   libexec/brimlow/brimlow-vet             the file checker the programs start
#   share/brimlow/{odbc,schema}             the driver list and the target tables' DDL
#   share/applications, share/icons         the menu entry and its icon
#   share/man/man1, share/man/ja/man1       the manual pages, English and Japanese
#   share/locale/ja/LC_MESSAGES             the message catalogue (cmake/Translations.cmake)
#   share/doc/brimlow                       the README
install(TARGETS brimlow-migrate RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(BRIMLOW_GUI)
    install(TARGETS brimlow RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES desktop/brimlow.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    foreach(size 16 32 48 64 128 256)
        install(FILES desktop/icons/brimlow-${size}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                RENAME brimlow.png)
    endforeach()
    install(FILES man/brimlow.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES man/ja/brimlow.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1)
endif()
install(TARGETS brimlow-vet RUNTIME DESTINATION ${BRIMLOW_LIBEXEC_SUBDIR})
install(FILES odbc/odbcinst.ini DESTINATION ${BRIMLOW_DATA_SUBDIR}/odbc)
install(FILES schema/sqlite.sql schema/postgresql.sql schema/sqlserver.sql
        DESTINATION ${BRIMLOW_DATA_SUBDIR}/schema)
install(FILES man/brimlow-migrate.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES man/ja/brimlow-migrate.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/brimlow)
