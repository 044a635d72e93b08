# The window's English texts: translations/*.ts compiled with Qt's lrelease
# into build/translations, where the programs of the build tree look for them
# (bin/../translations); installed into share/tessaly/translations.
find_program(TESSALY_LRELEASE lrelease HINTS /usr/lib/qt6/bin ${QT6_INSTALL_PREFIX}/bin REQUIRED)
set(TESSALY_QM_FILES)
foreach(ts tessaly_en)
  set(qm ${CMAKE_BINARY_DIR}/translations/${ts}.qm)
  add_custom_command(OUTPUT ${qm}
    COMMAND ${TESSALY_LRELEASE} -silent ${CMAKE_CURRENT_LIST_DIR}/${ts}.ts -qm ${qm}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/${ts}.ts
    COMMENT "Compiling the translation ${ts}.qm")
  list(APPEND TESSALY_QM_FILES ${qm})
endforeach()
add_custom_target(tessaly-translations ALL DEPENDS ${TESSALY_QM_FILES})
