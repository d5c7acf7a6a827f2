# The message catalogue "brimlow": po/<lang>.po compiled with msgfmt into
# <build>/locale/<lang>/LC_MESSAGES/brimlow.mo, where the programs of the build tree find it
# (beside the running program), and installed under share/locale.
find_program(MSGFMT_EXECUTABLE msgfmt REQUIRED)
set(BRIMLOW_LANGUAGES ja)
set(catalogues)
foreach(lang IN LISTS BRIMLOW_LANGUAGES)
    set(mo ${CMAKE_BINARY_DIR}/locale/${lang}/LC_MESSAGES/brimlow.mo)
    add_custom_command(OUTPUT ${mo}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/locale/${lang}/LC_MESSAGES
        COMMAND ${MSGFMT_EXECUTABLE} --check -o ${mo} ${CMAKE_SOURCE_DIR}/po/${lang}.po
        DEPENDS ${CMAKE_SOURCE_DIR}/po/${lang}.po
        COMMENT "Compiling the ${lang} message catalogue")
    install(FILES ${mo} DESTINATION ${CMAKE_INSTALL_LOCALEDIR}/${lang}/LC_MESSAGES)
    list(APPEND catalogues ${mo})
endforeach()
add_custom_target(brimlow_catalogues ALL DEPENDS ${catalogues})

# Regenerates po/brimlow.pot from the sources and merges it into each po/<lang>.po.
add_custom_target(update-po
    COMMAND ${CMAKE_SOURCE_DIR}/po/update-po
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    VERBATIM)
